// Playback of a recording from the main window and the spectrum display, on the
// test runner's private sound server: what is played is captured back from the
// monitor of the default output, the spectrum of the tone input is read from the
// paint box's picture.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "common/TestSupport.h"

#include "app/SpectrumBox.h"
#include "audio/Encoders.h"
#include "library/DurationProber.h"
#include "recording/Spectrum_vis.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>

#include <sys/wait.h>
#include <unistd.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

const QColor Lime(0, 255, 0);
const QColor Green(0, 128, 0);
const QColor Yellow(255, 255, 0);
constexpr audio::PcmFormat CdFormat{44100, 2};

QColor textColour(QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

// Records the default output's monitor while it lives.
class MonitorCapture
{
public:
    MonitorCapture()
    {
        m_process.start("parec", {"--device=sonalto_out.monitor", "--format=s16le", "--rate=44100",
                                  "--channels=2", "--latency-msec=20"});
        m_process.waitForStarted();
    }
    ~MonitorCapture()
    {
        m_process.terminate();
        m_process.waitForFinished();
    }
    // An idle sink's monitor takes a while to deliver its first data.
    bool waitUntilRunning()
    {
        return QTest::qWaitFor([this] { return !collect().isEmpty(); }, 10000);
    }
    // True once something louder than a faint noise has come from the output.
    bool heardSound()
    {
        const std::vector<int16_t> samples = left();
        return std::any_of(samples.begin(), samples.end(),
                           [](int16_t s) { return std::abs(int(s)) > 300; });
    }
    const QByteArray &collect()
    {
        m_data += m_process.readAllStandardOutput();
        return m_data;
    }
    // Left channel of what was captured so far.
    std::vector<int16_t> left()
    {
        collect();
        std::vector<int16_t> samples(size_t(m_data.size()) / 4);
        for (size_t f = 0; f < samples.size(); ++f)
            std::memcpy(&samples[f], m_data.constData() + 4 * f, 2);
        return samples;
    }

private:
    QProcess m_process;
    QByteArray m_data;
};

struct Heard
{
    double loudSeconds = 0; // time above a small threshold
    double frequency = 0;   // of the loud part
    int peak = 0;
};

Heard analyse(const std::vector<int16_t> &left)
{
    Heard heard;
    size_t loud = 0, first = left.size(), last = 0;
    for (size_t i = 0; i < left.size(); ++i) {
        heard.peak = std::max(heard.peak, std::abs(int(left[i])));
        if (std::abs(left[i]) > 300) {
            ++loud;
            first = std::min(first, i);
            last = i;
        }
    }
    heard.loudSeconds = double(loud) / 44100;
    if (last > first + 4410)
        heard.frequency =
            test::dominantFrequency(std::vector<int16_t>(left.begin() + ptrdiff_t(first),
                                                         left.begin() + ptrdiff_t(last) + 1),
                                    1, 44100);
    return heard;
}

class PlaybackWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        SONALTO_REQUIRE_PULSE();
        m_folders = std::make_unique<TempFolders>();
    }

    // The volume slider sets the shared output's own volume: the tests after
    // these find it where the server started it.
    void TearDown() override
    {
        if (privatePulseAvailable())
            pactl({"set-sink-volume", "@DEFAULT_SINK@", "100%"});
    }

    void makeTone(const QString &name, double seconds)
    {
        std::string error;
        ASSERT_TRUE(writeRecording(m_folders->audioDir() + name,
                                   toneSamples(1000, seconds, CdFormat), CdFormat, &error))
            << error;
    }

    std::unique_ptr<TForm1> openForm()
    {
        auto form = makeForm(audio::AudioEngine::createSystemBackend());
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join('|').toStdString();
        form->SpeedButton1->click(); // the list section open
        return form;
    }

    static QTreeWidgetItem *row(TForm1 &form, const QString &name)
    {
        const auto found = form.ListView1->findItems(name, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.front();
    }

    static void clickRow(TForm1 &form, const QString &name)
    {
        QTreeWidgetItem *item = row(form, name);
        ASSERT_NE(item, nullptr);
        QTest::mouseClick(form.ListView1->viewport(), Qt::LeftButton, {},
                          form.ListView1->visualItemRect(item).center());
        ASSERT_EQ(form.selectedRow(), item);
    }

    static void doubleClickRow(TForm1 &form, const QString &name)
    {
        clickRow(form, name);
        QTest::mouseDClick(form.ListView1->viewport(), Qt::LeftButton, {},
                           form.ListView1->visualItemRect(row(form, name)).center());
    }

    // Files open in the background: true once the one asked for plays (or failed).
    static bool settled(TForm1 &form)
    {
        return QTest::qWaitFor(
            [&] { return form.Playback->state() != recording::PlaybackSession::State::Opening; },
            5000);
    }
    static bool playing(TForm1 &form)
    {
        return settled(form) &&
               form.Playback->state() == recording::PlaybackSession::State::Playing;
    }

    // Plays the row (from `from`, or from the start) and returns the seconds from
    // the moment its sound is first heard on the output to the row's "Stop". The
    // clock starts at the sound, not at the command: on a busy machine the output
    // can start a good while after the file is opened, which says nothing about
    // where playback ends. The output's monitor is read meanwhile: an output
    // nobody listens to renders in blocks of seconds and reports its progress as
    // late.
    double secondsToStop(TForm1 &form, const QString &name, double from = 0)
    {
        MonitorCapture monitor;
        if (!monitor.waitUntilRunning())
            return -1;
        doubleClickRow(form, name);
        if (!playing(form))
            return -1;
        if (from > 0)
            form.Playback->seek(from);
        if (!QTest::qWaitFor([&] { return monitor.heardSound(); }, 10000))
            return -1;
        QElapsedTimer clock;
        clock.start();
        if (!QTest::qWaitFor([&] { return row(form, name)->text(4) == "Stop"; }, 120000))
            return -1;
        return clock.elapsed() / 1000.0;
    }

    bool listed(TForm1 &form)
    {
        return QTest::qWaitFor([&] { return form.DurationProbe->pending() == 0; }, 10000);
    }

    std::unique_ptr<TempFolders> m_folders;
};

// The sine source describes itself by its name or as a sine.
bool selectToneInput(TForm1 &form)
{
    return selectInputWith(form, {"sonalto_tone", "sine"});
}

// Watches the window's event loop: the longest stretch of its own processor time
// between two 10 ms ticks, that is, the longest any event kept it busy. (Wall
// time would also count the moments a loaded machine gives it no processor.)
class EventLoopWatch
{
public:
    EventLoopWatch()
    {
        m_last = threadSeconds();
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = threadSeconds();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_timer.start();
    }
    double longestMs() const { return m_longest * 1000; }

private:
    static double threadSeconds()
    {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + ts.tv_nsec / 1e9;
    }
    QTimer m_timer;
    double m_last = 0, m_longest = 0;
};

// Encodes a WAV with lame; extra arguments before the file names.
bool lameEncode(const QString &wav, const QString &mp3, const QStringList &extra = {})
{
    int code = -1;
    runProgram("lame", QStringList{"--quiet"} + extra + QStringList{wav, mp3}, &code);
    return code == 0 && QFile::exists(mp3);
}

// Level in dB (full scale) of the part of the capture above a small threshold.
double loudLevelDb(const std::vector<int16_t> &left)
{
    double sum = 0;
    size_t n = 0;
    for (int16_t s : left) {
        if (std::abs(s) > 300) {
            sum += double(s) * s;
            ++n;
        }
    }
    return n ? 10 * std::log10(sum / n / (32768.0 * 32768.0)) : -200;
}

bool barStandsAt(const QImage &picture, int column, int height)
{
    const int x = 5 + column * 4;
    for (int dx = 0; dx < 3; ++dx)
        if (picture.pixelColor(x + dx, 76 - height) != Lime)
            return false;
    return true;
}

} // namespace

TEST_F(PlaybackWindow, DoubleClickPlaysTheRowThroughTheDefaultOutput)
{
    makeTone("tone.wav", 2.0);
    auto form = openForm();
    form->TrackBar3->setValue(100);
    MonitorCapture monitor;
    ASSERT_TRUE(monitor.waitUntilRunning());

    doubleClickRow(*form, "tone.wav");
    ASSERT_TRUE(playing(*form));
    EXPECT_EQ(row(*form, "tone.wav")->text(4), "Play");
    EXPECT_EQ(textColour(form->Label7), Lime);
    EXPECT_EQ(textColour(form->Label8), Lime);
    EXPECT_EQ(textColour(form->Label2), Green);
    EXPECT_EQ(textColour(form->Label3), Green);
    EXPECT_EQ(form->Image1->y(), form->Label7->y() + 3);
    EXPECT_TRUE(form->Image1->isVisible());
    EXPECT_EQ(form->TrackBar2->maximum(), 2);
    EXPECT_TRUE(form->SpeedButton21->isChecked());
    EXPECT_FALSE(form->SpeedButton12->isChecked());
    EXPECT_TRUE(form->Timer3->isActive());
    EXPECT_EQ(form->Label15->text(), "Playing tone.wav");
    // Playback takes the place of the input monitor.
    EXPECT_EQ(form->Input->monitor(), nullptr);

    ASSERT_TRUE(QTest::qWaitFor([&] { return row(*form, "tone.wav")->text(4) == "Stop"; }, 8000));
    QTest::qWait(300);
    const Heard heard = analyse(monitor.left());
    // Played to its end, no more (the monitor may miss the first few ms).
    EXPECT_GE(heard.loudSeconds, 1.9);
    EXPECT_LE(heard.loudSeconds, 2.0);
    EXPECT_NEAR(heard.frequency, 1000, 10);
    // At full volume the half-scale tone arrives unscaled.
    EXPECT_NEAR(heard.peak, 16384, 800);
}

TEST_F(PlaybackWindow, ClockFollowsSeeksAndStopsAtTheRoundedEnd)
{
    makeTone("tone.wav", 4.4);
    auto form = openForm();
    doubleClickRow(*form, "tone.wav");
    ASSERT_TRUE(playing(*form));
    EXPECT_EQ(form->TrackBar2->maximum(), 4);

    ASSERT_TRUE(QTest::qWaitFor([&] { return form->TrackBar2->value() >= 1; }, 4000));
    EXPECT_EQ(form->Label8->text(), "00:00:01");

    // Releasing the slider's thumb seeks to its position.
    form->TrackBar2->setValue(3);
    QTest::mouseRelease(form->TrackBar2, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::qWait(100);
    ASSERT_NE(form->Playback->stream(), nullptr);
    EXPECT_GE(form->Playback->positionSeconds(), 3.0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return row(*form, "tone.wav")->text(4) == "Stop"; }, 5000));
    EXPECT_EQ(form->Label8->text(), "00:00:04");
    EXPECT_EQ(form->TrackBar2->value(), 0);
    EXPECT_EQ(form->Playback->stream(), nullptr);
    EXPECT_FALSE(form->Timer3->isActive());
    EXPECT_FALSE(form->SpeedButton21->isChecked());
    // The clock and the mode labels keep what they showed.
    EXPECT_EQ(textColour(form->Label7), Lime);
}

TEST_F(PlaybackWindow, SpacePausesAndResumesAndTheTransportButtonsMoveTheSelection)
{
    makeTone("a.wav", 3.0);
    makeTone("b.wav", 3.0);
    makeTone("c.wav", 3.0);
    auto form = openForm();
    clickRow(*form, "b.wav");
    form->ListView1->setFocus();

    QTest::keyClick(form->ListView1, Qt::Key_Space);
    ASSERT_TRUE(playing(*form));
    EXPECT_EQ(row(*form, "b.wav")->text(4), "Play");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Playback->positionSeconds() > 0; }, 3000));

    QTest::keyClick(form->ListView1, Qt::Key_Space);
    EXPECT_EQ(form->Playback->state(), recording::PlaybackSession::State::Paused);
    EXPECT_EQ(form->Playback->stream()->state(), audio::ActiveState::Paused);
    EXPECT_EQ(row(*form, "b.wav")->text(4), "Pause");
    EXPECT_TRUE(form->SpeedButton12->isChecked());
    EXPECT_FALSE(form->SpeedButton21->isChecked());
    // The pause takes effect when it reaches the server, and the position then
    // settles where the server stopped: on a busy machine a few milliseconds
    // past the estimate read at the key. From there it stays.
    const double atKey = form->Playback->positionSeconds();
    double pausedAt = atKey;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const double before = form->Playback->positionSeconds();
            QTest::qWait(300);
            pausedAt = form->Playback->positionSeconds();
            return pausedAt == before;
        },
        3000))
        << "still moving at " << pausedAt << " s";
    EXPECT_GE(pausedAt, atKey);
    EXPECT_LT(pausedAt - atKey, 0.25);

    // Resumes where it was instead of starting over.
    QTest::keyClick(form->ListView1, Qt::Key_Space);
    EXPECT_EQ(form->Playback->stream()->state(), audio::ActiveState::Playing);
    EXPECT_EQ(row(*form, "b.wav")->text(4), "Play");
    EXPECT_GE(form->Playback->positionSeconds(), pausedAt);

    const int b = form->ListView1->indexOfTopLevelItem(row(*form, "b.wav"));
    form->SpeedButton16->click(); // next
    ASSERT_TRUE(playing(*form));
    QTreeWidgetItem *next = form->ListView1->topLevelItem(std::min(b + 1, 2));
    EXPECT_EQ(form->selectedRow(), next);
    EXPECT_EQ(next->text(4), "Play");
    if (b < 2) {
        EXPECT_EQ(row(*form, "b.wav")->text(4), "");
    }
    form->SpeedButton17->click(); // last
    form->SpeedButton16->click(); // next on the last row plays it again
    ASSERT_TRUE(playing(*form));
    EXPECT_EQ(form->selectedRow(), form->ListView1->topLevelItem(2));
    EXPECT_EQ(form->ListView1->topLevelItem(2)->text(4), "Play");
    form->SpeedButton14->click(); // first
    ASSERT_TRUE(playing(*form));
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(4), "Play");
    EXPECT_EQ(form->ListView1->topLevelItem(2)->text(4), "");

    form->SpeedButton13->click(); // stop
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(4), "Stop");
    EXPECT_EQ(form->Playback->stream(), nullptr);
    EXPECT_FALSE(form->isPlaying());
}

TEST_F(PlaybackWindow, AFileThatIsNotAudioLeavesTheStatusesAlone)
{
    makeTone("tone.wav", 3.0);
    ASSERT_TRUE(writeJunk(m_folders->audioDir() + "notes.mp3", 5000));
    auto form = openForm();
    doubleClickRow(*form, "tone.wav");
    ASSERT_TRUE(playing(*form));
    ASSERT_EQ(row(*form, "tone.wav")->text(4), "Play");

    doubleClickRow(*form, "notes.mp3");
    ASSERT_TRUE(settled(*form));
    ASSERT_EQ(form->ShownMessages.size(), 1);
    // The description's words, then why, in the user's language.
    EXPECT_TRUE(form->ShownMessages.front().startsWith("Can't play the file.\n\n"));
    EXPECT_TRUE(form->ShownMessages.front().contains("notes.mp3"))
        << form->ShownMessages.front().toStdString();
    EXPECT_EQ(form->Playback->stream(), nullptr);
    // Nothing plays, and the buttons do not claim otherwise.
    EXPECT_FALSE(form->SpeedButton21->isChecked());
    EXPECT_FALSE(form->Timer3->isActive());
    EXPECT_EQ(row(*form, "tone.wav")->text(4), "Play");
    EXPECT_EQ(row(*form, "notes.mp3")->text(4), "");
    EXPECT_EQ(form->Label15->text(), "Playing tone.wav");
    EXPECT_EQ(form->TrackBar2->maximum(), 3);
}

TEST_F(PlaybackWindow, MuteRemembersTheVolume)
{
    makeTone("tone.wav", 1.0);
    auto form = openForm();
    clickRow(*form, "tone.wav");
    form->TrackBar3->setValue(60);
    form->SpeedButton18->click();
    EXPECT_TRUE(form->SpeedButton18->isChecked());
    EXPECT_EQ(form->TrackBar3->value(), 0);
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_FLOAT_EQ(form->Input->engine()->outputVolume(), 0.f);
    form->SpeedButton18->click();
    EXPECT_FALSE(form->SpeedButton18->isChecked());
    EXPECT_EQ(form->TrackBar3->value(), 60);
    ASSERT_TRUE(waitForInput(*form));
    EXPECT_FLOAT_EQ(form->Input->engine()->outputVolume(), 0.6f);
    // Dragging the volume to zero mutes too, and back up releases the button.
    form->TrackBar3->setValue(0);
    EXPECT_TRUE(form->SpeedButton18->isChecked());
    form->TrackBar3->setValue(10);
    EXPECT_FALSE(form->SpeedButton18->isChecked());
}

TEST_F(PlaybackWindow, SpectrumOfTheToneInputAndOfAPlayingFile)
{
    makeTone("tone.wav", 3.0);
    auto form = openForm();
    // The monitor captures the 1 kHz tone input: element 23, column 18.
    ASSERT_TRUE(selectToneInput(*form));
    ASSERT_NE(form->Input->monitor(), nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return barStandsAt(form->PaintFrame->picture(), 18, 40); }, 10000));
    const QImage live = form->PaintFrame->picture();
    EXPECT_EQ(live.pixelColor(5 + 18 * 4 + 3, 70), QColor(Qt::black)); // gap between bars
    EXPECT_FALSE(barStandsAt(live, 40, 10));                           // 2.6 kHz: nothing

    // While a file plays, the picture is the file's.
    doubleClickRow(*form, "tone.wav");
    ASSERT_TRUE(playing(*form));
    ASSERT_EQ(form->Input->monitor(), nullptr);
    QTest::qWait(200);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return barStandsAt(form->PaintFrame->picture(), 18, 40); }, 3000));
    // After the stop nothing is open: a repaint shows the idle picture.
    form->SpeedButton13->click();
    QTest::qWait(200);
    EXPECT_EQ(form->PaintFrame->picture(), recording::TSpectrum::idleFrame(217, 81));
}

TEST_F(PlaybackWindow, PausingARecordingFreezesTheSpectrum)
{
    auto form = openForm();
    ASSERT_TRUE(selectToneInput(*form));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return barStandsAt(form->PaintFrame->picture(), 18, 40); }, 10000));
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording) << form->ShownMessages.join('|').toStdString();
    QTest::qWait(300);
    form->ToolButton2->click();
    ASSERT_TRUE(form->IsPaused);
    const QImage frozen = form->PaintFrame->picture();
    EXPECT_TRUE(barStandsAt(frozen, 18, 40));
    QTest::qWait(400);
    form->PaintFrame->repaint();
    EXPECT_EQ(form->PaintFrame->picture(), frozen);
    form->ToolButton3->click();
    EXPECT_FALSE(form->IsRecording);
}

TEST(SpectrumPicture, IdlePictureIsADashedYellowLine)
{
    TempFolders folders;
    auto form = makeForm(nullptr); // nothing can be open
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    form->PaintFrame->repaint();
    const QImage &picture = form->PaintFrame->picture();
    ASSERT_EQ(picture.size(), QSize(217, 81));
    for (int x = 0; x < 217; ++x) {
        const bool dash = x > 5 && x < 212 && (x - 5) % 5 != 0;
        EXPECT_EQ(picture.pixelColor(x, 76), dash ? Yellow : QColor(Qt::black)) << x;
    }
    EXPECT_EQ(picture.pixelColor(100, 40), QColor(Qt::black));
    EXPECT_EQ(picture.pixelColor(100, 77), QColor(Qt::black));
}

TEST_F(PlaybackWindow, AWavWithAHugeZeroTailIsListedAndPlayedWithoutHoldingUpTheWindow)
{
    makeTone("tail.wav", 3.0);
    {
        QFile f(m_folders->audioDir() + "tail.wav");
        ASSERT_TRUE(f.open(QIODevice::Append));
        const QByteArray zeros(1 << 20, '\0');
        for (int i = 0; i < 64; ++i)
            ASSERT_EQ(f.write(zeros), zeros.size());
    }
    EventLoopWatch watch;
    auto form = openForm();
    ASSERT_TRUE(listed(*form));
    EXPECT_EQ(row(*form, "tail.wav")->text(2), "00:00:03");
    const double took = secondsToStop(*form, "tail.wav");
    EXPECT_NEAR(took, 3.0, 0.5);
    EXPECT_LT(watch.longestMs(), 100.0);
}

TEST_F(PlaybackWindow, AWmaCutShortByAKillListsWhatDecodesAndPlaysToTheEnd)
{
    const QString path = m_folders->audioDir() + "killed.wma";
    const std::vector<int16_t> tone = toneSamples(1000, 6.0, CdFormat);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A recording killed before it could finish its file.
        alarm(20);
        std::string error;
        auto writer =
            audio::WmaWriter::open(CdFormat, 128000, QFile::encodeName(path).toStdString(), &error);
        if (!writer)
            _exit(1);
        for (size_t at = 0; at < tone.size(); at += 4410 * 2)
            writer->write(tone.data() + at, std::min<size_t>(4410 * 2, tone.size() - at) * 2);
        usleep(1500 * 1000); // let its thread hand everything to the file
        kill(getpid(), SIGKILL);
        _exit(2);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

    auto form = openForm();
    ASSERT_TRUE(listed(*form));
    EXPECT_EQ(row(*form, "killed.wma")->text(2), "00:00:06");
    form->TrackBar3->setValue(100);
    MonitorCapture monitor;
    ASSERT_TRUE(monitor.waitUntilRunning());
    const double took = secondsToStop(*form, "killed.wma");
    EXPECT_NEAR(took, 6.0, 0.5);
    QTest::qWait(300);
    EXPECT_GE(analyse(monitor.left()).loudSeconds, 5.8);
}

TEST_F(PlaybackWindow, FilesOfOddLengthsReachStopAtTheirEnd)
{
    std::vector<std::pair<QString, double>> files;
    for (const double seconds : {2.5, 3.48, 7.1, 11.3, 59.9}) {
        const QString name = QString("len%1").arg(seconds);
        const QString wav = m_folders->root() + "/" + name + ".wav";
        std::string error;
        ASSERT_TRUE(writeRecording(wav, toneSamples(1000, seconds, CdFormat), CdFormat, &error));
        ASSERT_TRUE(lameEncode(wav, m_folders->audioDir() + name + ".mp3"));
        files.emplace_back(name + ".mp3", seconds);
    }
    makeTone("odd.wma", 4.3);
    files.emplace_back("odd.wma", 4.3);
    auto form = openForm();
    ASSERT_TRUE(listed(*form));
    for (const auto &[name, seconds] : files) {
        SCOPED_TRACE(name.toStdString());
        // The long ones from 2 s before their end.
        const double from = seconds > 8 ? seconds - 2 : 0;
        const double took = secondsToStop(*form, name, from);
        EXPECT_NEAR(took, seconds - from, 0.5);
        EXPECT_FALSE(form->SpeedButton21->isChecked());
        EXPECT_FALSE(form->Timer3->isActive());
        EXPECT_FALSE(form->isPlaying());
    }
}

TEST_F(PlaybackWindow, AVariableBitRateMp3WithoutAHeaderShowsItsLengthAndIsHeardToTheEnd)
{
    const QString wav = m_folders->root() + "/vbr.wav";
    std::string error;
    ASSERT_TRUE(writeRecording(wav, toneSamples(1000, 10.0, CdFormat), CdFormat, &error));
    // -t: no Xing/Info frame, so the length must be counted.
    ASSERT_TRUE(lameEncode(wav, m_folders->audioDir() + "vbr.mp3", {"-V2", "-t"}));
    auto form = openForm();
    ASSERT_TRUE(listed(*form));
    EXPECT_EQ(row(*form, "vbr.mp3")->text(2), "00:00:10");
    form->TrackBar3->setValue(100);
    MonitorCapture monitor;
    ASSERT_TRUE(monitor.waitUntilRunning());
    doubleClickRow(*form, "vbr.mp3");
    ASSERT_TRUE(playing(*form));
    EXPECT_EQ(form->TrackBar2->maximum(), 10);
    ASSERT_TRUE(QTest::qWaitFor([&] { return row(*form, "vbr.mp3")->text(4) == "Stop"; }, 15000));
    EXPECT_EQ(form->Label8->text(), "00:00:10");
    QTest::qWait(300);
    EXPECT_GE(analyse(monitor.left()).loudSeconds, 9.8);
}

TEST_F(PlaybackWindow, LevelAtTheVolumeSliderIsPaplaysAtThatOutputVolume)
{
    makeTone("level.wav", 1.5);
    auto form = openForm();
    for (const int volume : {100, 50}) {
        SCOPED_TRACE(volume);
        form->TrackBar3->setValue(volume);
        double ours = 0, theirs = 0;
        {
            MonitorCapture monitor;
            ASSERT_TRUE(monitor.waitUntilRunning());
            ASSERT_GT(secondsToStop(*form, "level.wav"), 0);
            QTest::qWait(300);
            ours = loudLevelDb(monitor.left());
        }
        {
            MonitorCapture monitor;
            ASSERT_TRUE(monitor.waitUntilRunning());
            int code = -1;
            runProgram("paplay", {m_folders->audioDir() + "level.wav"}, &code);
            ASSERT_EQ(code, 0);
            QTest::qWait(300);
            theirs = loudLevelDb(monitor.left());
        }
        EXPECT_NEAR(ours, theirs, 1.0);
    }
}

TEST_F(PlaybackWindow, AClickOnThePositionBarSeeksWhereItWasClicked)
{
    makeTone("ten.wav", 10.0);
    auto form = openForm();
    doubleClickRow(*form, "ten.wav");
    ASSERT_TRUE(playing(*form));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->Playback->positionSeconds() >= 1.0; }, 3000));
    QSlider *bar = form->TrackBar2;
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = bar->orientation();
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    const QRect groove =
        bar->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, bar);
    const QPoint at(groove.left() + int(groove.width() * 0.8), bar->height() / 2);
    QTest::mouseClick(bar, Qt::LeftButton, {}, at);
    QTest::qWait(100);
    EXPECT_NEAR(form->Playback->positionSeconds(), 8.0, 0.5);
    EXPECT_TRUE(form->isPlaying());
}

// Stops that come from elsewhere, on the virtual backend.
TEST(PlaybackStops, InputChangeDetectorAndAScheduledStartLeaveTheWindowIdle)
{
    TempFolders folders;
    std::string error;
    ASSERT_TRUE(writeRecording(folders.audioDir() + "tone.wav", toneSamples(1000, 30.0, CdFormat),
                               CdFormat, &error))
        << error;
    auto form = makeForm(makeTestBackend());
    QTreeWidgetItem *item = form->ListView1->findItems("tone.wav", Qt::MatchExactly, 0).front();
    auto play = [&] {
        form->ListView1->setCurrentItem(item);
        form->ListView1DblClick();
        return QTest::qWaitFor([&] { return form->Playback->stream() != nullptr; }, 5000) &&
               item->text(4) == "Play";
    };
    auto expectIdle = [&] {
        EXPECT_EQ(form->Playback->state(), recording::PlaybackSession::State::Stopped);
        EXPECT_FALSE(form->isPlaying());
        EXPECT_FALSE(form->playbackActive());
        EXPECT_EQ(item->text(4), "Stop");
        EXPECT_FALSE(form->SpeedButton21->isChecked());
        EXPECT_FALSE(form->SpeedButton12->isChecked());
        EXPECT_FALSE(form->Timer3->isActive());
        EXPECT_EQ(textColour(form->Label7), Green);
        EXPECT_FALSE(form->Image1->isVisible() && form->Image1->y() == form->Label7->y() + 3);
    };

    {
        SCOPED_TRACE("input change");
        ASSERT_TRUE(play());
        form->ComboBox1->setCurrentIndex((form->ComboBox1->currentIndex() + 1) %
                                         form->ComboBox1->count());
        form->ComboBox1Change();
        expectIdle();
        // Pause afterwards finds nothing to pause.
        form->SpeedButton12->click();
        EXPECT_EQ(item->text(4), "Stop");
        EXPECT_FALSE(form->SpeedButton12->isChecked());
    }
    {
        SCOPED_TRACE("detector");
        ASSERT_TRUE(play());
        form->Label2Click();
        expectIdle();
        EXPECT_TRUE(form->detectorOn());
    }
    {
        SCOPED_TRACE("scheduled start");
        ASSERT_TRUE(play());
        form->Timer2->start(); // the schedule's check starts recordings without asking
        pressRecord(*form);
        EXPECT_TRUE(form->IsRecording) << form->ShownMessages.join('|').toStdString();
        EXPECT_FALSE(form->ShownMessages.contains(
            "A file is Playing. \n\nDo you want to stop it and Recording now?"));
        expectIdle();
        form->Timer2->stop();
        form->ToolButton3Click();
    }
    // Nothing plays, so the exit does not ask about a playing file.
    form->ShownMessages.clear();
    form->ExitRequested = true;
    form->close();
    EXPECT_FALSE(
        form->ShownMessages.contains("A file is Playing.\n\nDo you want to stop it and Exit now?"));
}
