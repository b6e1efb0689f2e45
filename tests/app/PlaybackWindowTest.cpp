// Playback of a recording from the main window and the spectrum display, on the
// test runner's private sound server: what is played is captured back from the
// monitor of the default output, the spectrum of the tone input is read from the
// paint box's picture.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "common/TestSupport.h"

#include "app/SpectrumBox.h"
#include "recording/Spectrum_vis.h"

#include <QComboBox>
#include <QProcess>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <cstring>

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

    std::unique_ptr<TempFolders> m_folders;
};

// The sine source describes itself by its name or as a sine.
bool selectToneInput(TForm1 &form)
{
    for (int device = 0; device < form.ComboBox2->count(); ++device) {
        form.ComboBox2->setCurrentIndex(device);
        form.ComboBox2Change();
        for (int input = 0; input < form.ComboBox1->count(); ++input) {
            const QString name = form.ComboBox1->itemText(input);
            if (name.contains("sonalto_tone", Qt::CaseInsensitive) ||
                name.contains("sine", Qt::CaseInsensitive)) {
                form.ComboBox1->setCurrentIndex(input);
                form.ComboBox1Change();
                return true;
            }
        }
    }
    return false;
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
    ASSERT_NE(form->PlayStream, nullptr);
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
    EXPECT_EQ(form->RecordChannel, nullptr);

    ASSERT_TRUE(QTest::qWaitFor([&] { return row(*form, "tone.wav")->text(4) == "Stop"; }, 8000));
    QTest::qWait(300);
    const Heard heard = analyse(monitor.left());
    // The clock stops playback on the tick at which the rounded position reaches the
    // rounded length, which may be up to a second before the end.
    EXPECT_GE(heard.loudSeconds, 1.0);
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
    ASSERT_NE(form->PlayStream, nullptr);
    EXPECT_EQ(form->TrackBar2->maximum(), 4);

    ASSERT_TRUE(QTest::qWaitFor([&] { return form->TrackBar2->value() >= 1; }, 4000));
    EXPECT_EQ(form->Label8->text(), "00:00:01");

    // Releasing the slider's thumb seeks to its position.
    form->TrackBar2->setValue(3);
    QTest::mouseRelease(form->TrackBar2, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::qWait(100);
    ASSERT_NE(form->PlayStream, nullptr);
    EXPECT_GE(form->PlayStream->positionBytes(), form->PlayStream->secondsToBytes(3.0));

    ASSERT_TRUE(QTest::qWaitFor([&] { return row(*form, "tone.wav")->text(4) == "Stop"; }, 5000));
    EXPECT_EQ(form->Label8->text(), "00:00:04");
    EXPECT_EQ(form->TrackBar2->value(), 0);
    EXPECT_EQ(form->PlayStream, nullptr);
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
    ASSERT_NE(form->PlayStream, nullptr);
    EXPECT_EQ(row(*form, "b.wav")->text(4), "Play");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->PlayStream->positionBytes() > 0; }, 3000));

    QTest::keyClick(form->ListView1, Qt::Key_Space);
    EXPECT_EQ(form->PlayStream->state(), audio::ActiveState::Paused);
    EXPECT_EQ(row(*form, "b.wav")->text(4), "Pause");
    EXPECT_TRUE(form->SpeedButton12->isChecked());
    EXPECT_FALSE(form->SpeedButton21->isChecked());
    const uint64_t pausedAt = form->PlayStream->positionBytes();
    QTest::qWait(300);
    EXPECT_EQ(form->PlayStream->positionBytes(), pausedAt);

    // Resumes where it was instead of starting over.
    QTest::keyClick(form->ListView1, Qt::Key_Space);
    EXPECT_EQ(form->PlayStream->state(), audio::ActiveState::Playing);
    EXPECT_EQ(row(*form, "b.wav")->text(4), "Play");
    EXPECT_GE(form->PlayStream->positionBytes(), pausedAt);

    const int b = form->ListView1->indexOfTopLevelItem(row(*form, "b.wav"));
    form->SpeedButton16->click(); // next
    QTreeWidgetItem *next = form->ListView1->topLevelItem(std::min(b + 1, 2));
    EXPECT_EQ(form->selectedRow(), next);
    EXPECT_EQ(next->text(4), "Play");
    if (b < 2) {
        EXPECT_EQ(row(*form, "b.wav")->text(4), "");
    }
    form->SpeedButton17->click(); // last
    form->SpeedButton16->click(); // next on the last row plays it again
    EXPECT_EQ(form->selectedRow(), form->ListView1->topLevelItem(2));
    EXPECT_EQ(form->ListView1->topLevelItem(2)->text(4), "Play");
    form->SpeedButton14->click(); // first
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(4), "Play");
    EXPECT_EQ(form->ListView1->topLevelItem(2)->text(4), "");

    form->SpeedButton13->click(); // stop
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(4), "Stop");
    EXPECT_EQ(form->PlayStream, nullptr);
}

TEST_F(PlaybackWindow, AFileThatIsNotAudioLeavesTheStatusesAlone)
{
    makeTone("tone.wav", 3.0);
    ASSERT_TRUE(writeJunk(m_folders->audioDir() + "notes.mp3", 5000));
    auto form = openForm();
    doubleClickRow(*form, "tone.wav");
    ASSERT_EQ(row(*form, "tone.wav")->text(4), "Play");

    doubleClickRow(*form, "notes.mp3");
    EXPECT_EQ(form->ShownMessages, QStringList{"Can't play the file."});
    EXPECT_EQ(form->PlayStream, nullptr);
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
    EXPECT_FLOAT_EQ(form->Engine->outputVolume(), 0.f);
    form->SpeedButton18->click();
    EXPECT_FALSE(form->SpeedButton18->isChecked());
    EXPECT_EQ(form->TrackBar3->value(), 60);
    EXPECT_FLOAT_EQ(form->Engine->outputVolume(), 0.6f);
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
    ASSERT_NE(form->RecordChannel, nullptr);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return barStandsAt(form->PaintFrame->picture(), 18, 40); }, 10000));
    const QImage live = form->PaintFrame->picture();
    EXPECT_EQ(live.pixelColor(5 + 18 * 4 + 3, 70), QColor(Qt::black)); // gap between bars
    EXPECT_FALSE(barStandsAt(live, 40, 10));                           // 2.6 kHz: nothing

    // While a file plays, the picture is the file's.
    doubleClickRow(*form, "tone.wav");
    ASSERT_EQ(form->RecordChannel, nullptr);
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
    form->ToolButton1->click();
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
