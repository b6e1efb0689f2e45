// Recording end to end on the private sound server: the window records the 1 kHz
// tone source to every format, the files are decoded back and measured.
#include "AppTestSupport.h"
#include "RecordingFiles.h"
#include "common/TestSupport.h"
#include "settings/IniFile.h"

#include "audio/AudioFileDecoder.h"
#include "common/Projectdir.h"

#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include <sys/resource.h>
#include <unistd.h>

using namespace sonalto;
using namespace sonalto::test;

namespace {

constexpr int DecodedRate = audio::AudioFileDecoder::OutputRate;

std::optional<test::DecodedFile> decodeFile(const QString &path)
{
    return test::decodeForTest(QFile::encodeName(path).toStdString());
}

// module-sine-source describes itself as a sine source; the remap source carries
// the description the session gave it.
const QStringList ToneWords{QStringLiteral("sonalto_tone"), QStringLiteral("sine")};
const QStringList LineInWords{QStringLiteral("LineIn")};

void selectFormat(TForm1 &form, int format)
{
    form.ComboBox3->setCurrentIndex(format);
    form.ComboBox3Change();
    // 44.1 kHz stereo where the format offers a choice, so the captured frame
    // count and the decoded length are in the same units.
    const int rate = form.ComboBox4->findText(QStringLiteral("44.1"), Qt::MatchContains);
    if (rate >= 0) {
        form.ComboBox4->setCurrentIndex(rate);
        form.ComboBox4Change();
    }
}

std::unique_ptr<TForm1> makePulseForm()
{
    auto form = makeForm(audio::AudioEngine::createSystemBackend());
    if (form->Input->engine() && !selectInputWith(*form, ToneWords))
        ADD_FAILURE() << "no tone input among the inputs";
    return form;
}

// Seconds of audio the recording's stream delivered so far.
double capturedSeconds(const TForm1 &form)
{
    const audio::CaptureChannel *channel = form.Recording->channel();
    if (!channel)
        return 0;
    return double(channel->capturedFrames()) / channel->format().rate;
}

// Stops the channel's capture, so that nothing more reaches the file, and returns
// the seconds of audio it delivered; the program's own Stop follows.
//
// The tone source answers with a 2 s latency and hands its audio over in bursts:
// a burst landing between reading the count and the program's Stop would make the
// file longer than the count read, so the count is read when capture has ended.
double stopCaptureAndCount(TForm1 &form)
{
    audio::CaptureChannel *channel = form.Recording->channel();
    if (!channel)
        return 0;
    channel->stop();
    return capturedSeconds(form);
}

// Records for about `ms` of wall time and stops. Returns the seconds of audio the
// stream delivered, which is what the file must hold.
double recordFor(TForm1 &form, int ms)
{
    pressRecord(form);
    EXPECT_TRUE(form.IsRecording);
    if (!form.IsRecording)
        return 0;
    QTest::qWait(ms);
    const double seconds = stopCaptureAndCount(form);
    form.ToolButton3->click();
    EXPECT_TRUE(waitUntilIdle(form));
    return seconds;
}

pid_t childNamed(pid_t parent, const std::string &name)
{
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool numeric = false;
        const int pid = entry.toInt(&numeric);
        if (!numeric)
            continue;
        std::ifstream stat("/proc/" + entry.toStdString() + "/stat");
        std::string line;
        if (!std::getline(stat, line))
            continue;
        // pid (comm) state ppid ...
        const size_t open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        const std::string comm = line.substr(open + 1, close - open - 1);
        std::istringstream rest(line.substr(close + 2));
        char state = 0;
        int ppid = 0;
        rest >> state >> ppid;
        if (ppid == parent && comm == name)
            return pid;
    }
    return 0;
}

// What the recording clock ("hh:mm:ss", whole seconds) may show when the time it
// counts lies between two measured durations.
struct ClockRange
{
    qint64 fromMs;
    qint64 toMs;

    bool contains(const QString &text) const
    {
        const QTime t = QTime::fromString(text, QStringLiteral("hh:mm:ss"));
        if (!t.isValid())
            return false;
        const qint64 seconds = QTime(0, 0).secsTo(t);
        return seconds >= fromMs / 1000 && seconds <= toMs / 1000;
    }
    // The first of the texts that is a time in range followed by the suffix.
    QString findIn(const QSet<QString> &texts, const QString &suffix) const
    {
        for (const QString &text : texts)
            if (text.endsWith(suffix) && contains(text.chopped(suffix.size())))
                return text.chopped(suffix.size());
        return {};
    }
    std::string describe() const
    {
        return std::to_string(fromMs) + ".." + std::to_string(toMs) + " ms";
    }
};

const char *const FormatNames[] = {"MP3", "WMA", "OGG", "WAV"};

} // namespace

TEST(RecordingWindow, EveryFormatHoldsTheRecordedTone)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    const QString extensions[] = {"mp3", "wma", "ogg", "wav"};
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(FormatNames[format]);
        selectFormat(*form, format);
        const double captured = recordFor(*form, 3000);
        EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join("|").toStdString();
        EXPECT_GT(captured, 1.0);

        QTreeWidgetItem *row = form->ListView1->topLevelItem(0);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->text(0), "01." + extensions[format]) << "numbers are counted per extension";
        EXPECT_EQ(row->text(4), "Saved");
        EXPECT_TRUE(row->text(3).endsWith(" MB")) << row->text(3).toStdString();
        EXPECT_NE(row->text(2), "--:--:--");
        EXPECT_EQ(form->Label3->text(), "己完成");
        EXPECT_EQ(form->windowTitle(), "Sonalto - 停止");
        EXPECT_TRUE(form->ToolButton1->isEnabled());
        EXPECT_FALSE(form->ToolButton3->isEnabled());

        const auto decoded = decodeFile(form->rowPath(row));
        ASSERT_TRUE(decoded);
        EXPECT_NEAR(decoded->seconds(), captured, 0.3);
        EXPECT_NEAR(dominantFrequency(decoded->samples, 2, DecodedRate), 1000.0, 6.0);
    }
}

TEST(RecordingWindow, PausedAudioIsLeftOutOfFileAndClock)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    // WAV goes through the encoder pause, WMA through its own capture callback.
    for (int format : {3, 1}) {
        SCOPED_TRACE(FormatNames[format]);
        selectFormat(*form, format);
        // The clock counts from the program's own instants of Record, Pause and
        // Resume; each lies between the test's readings before and after the click.
        QElapsedTimer clock;
        clock.start();
        pressRecord(*form);
        const qint64 recordTo = clock.elapsed();
        ASSERT_TRUE(form->IsRecording);
        QTest::qWait(1300);
        const double beforePause = capturedSeconds(*form);
        const qint64 pauseFrom = clock.elapsed();
        form->ToolButton2->click();
        const qint64 pauseTo = clock.elapsed();
        EXPECT_EQ(form->ToolButton2->text(), "Resume");
        EXPECT_EQ(form->Label3->text(), "Paused");
        // The clock blinks between "hh:mm:ss Paused" and "hh:mm:ss" while paused.
        QSet<QString> titles;
        for (int i = 0; i < 25; ++i) {
            QTest::qWait(100);
            titles.insert(form->windowTitle());
        }
        const ClockRange atPause{pauseFrom - recordTo, pauseTo};
        const QString shown = atPause.findIn(titles, " Paused");
        EXPECT_FALSE(shown.isEmpty())
            << atPause.describe() << " in " << QStringList(titles.values()).join("|").toStdString();
        EXPECT_TRUE(titles.contains(shown)) << "blinks to the bare time";
        const double atResume = capturedSeconds(*form);
        const qint64 resumeFrom = clock.elapsed();
        form->ToolButton2->click();
        const qint64 resumeTo = clock.elapsed();
        EXPECT_EQ(form->ToolButton2->text(), "Pause");
        QTest::qWait(1300);
        // Paused time is not counted. The clock is read right after a tick of
        // its own timer, so it shows the time of that instant.
        const qint64 tickFrom = clock.elapsed();
        form->Timer1Timer();
        const qint64 tickTo = clock.elapsed();
        const ClockRange atTick{tickFrom - recordTo - (resumeTo - pauseFrom),
                                tickTo - (resumeFrom - pauseTo)};
        EXPECT_TRUE(atTick.contains(form->Label8->text()))
            << form->Label8->text().toStdString() << " not in " << atTick.describe();
        const double atStop = stopCaptureAndCount(*form);
        form->ToolButton3->click();
        ASSERT_TRUE(waitUntilIdle(*form));

        const auto decoded = decodeFile(form->Recording->path());
        ASSERT_TRUE(decoded);
        EXPECT_NEAR(decoded->seconds(), beforePause + (atStop - atResume), 0.3)
            << "captured " << atStop << " s, of which " << atResume - beforePause << " s paused";
        EXPECT_NEAR(dominantFrequency(decoded->samples, 2, DecodedRate), 1000.0, 6.0);
    }
}

TEST(RecordingWindow, NumberingSkipsExistingFilesAndFollowsTheBaseName)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    for (const char *name : {"01.mp3", "03.mp3", "02.wav"})
        QFile(folders.audioDir() + name).open(QIODevice::WriteOnly);
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    selectFormat(*form, 0);
    recordFor(*form, 300);
    EXPECT_EQ(QFileInfo(form->Recording->path()).fileName(), "02.mp3") << "02.wav does not count";
    recordFor(*form, 300);
    EXPECT_EQ(QFileInfo(form->Recording->path()).fileName(), "04.mp3");
    form->OutputBaseName.clear();
    form->Recording->setFileCounter(1);
    recordFor(*form, 300);
    EXPECT_EQ(QFileInfo(form->Recording->path()).fileName(), "1.mp3");
    EXPECT_TRUE(decodeFile(form->Recording->path()));
}

TEST(RecordingWindow, ClosingWhileRecordingFinishesTheFile)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    selectFormat(*form, 0);
    form->show();
    form->MinitoTray = false;
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording);
    QTest::qWait(2500);
    const double captured = stopCaptureAndCount(*form);
    const QString path = form->Recording->path();
    EXPECT_TRUE(form->close());
    EXPECT_FALSE(form->IsRecording);
    ASSERT_TRUE(waitUntilIdle(*form));
    EXPECT_TRUE(form->ShownMessages.contains(
        "一个文件正在进行录制\n\n你是否想立即停止并退出程序？        "));
    EXPECT_EQ(form->ListView1->topLevelItem(0)->text(4), "Saved");
    const auto decoded = decodeFile(path);
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(decoded->seconds(), captured, 0.3);
    EXPECT_TRUE(QFile::exists(folders.appDir() + "Config.ini"));
}

TEST(RecordingWindow, EncoderThatDiesStopsTheRecordingAndKeepsTheFile)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    for (int format : {0, 2}) {
        SCOPED_TRACE(FormatNames[format]);
        selectFormat(*form, format);
        form->ShownMessages.clear();
        pressRecord(*form);
        ASSERT_TRUE(form->IsRecording);
        const pid_t encoder = childNamed(getpid(), format == 0 ? "lame" : "oggenc");
        ASSERT_NE(encoder, 0) << "encoder process not found";
        QTest::qWait(2500);
        ASSERT_EQ(::kill(encoder, SIGKILL), 0);
        // Timer1 notices within a tick; the generous limit only guards a hang.
        EXPECT_TRUE(QTest::qWaitFor([&] { return !form->IsRecording; }, 5000));
        ASSERT_TRUE(waitUntilIdle(*form));
        ASSERT_EQ(form->ShownMessages.size(), 1);
        EXPECT_TRUE(form->ShownMessages.front().startsWith("录制意外停止"))
            << form->ShownMessages.front().toStdString();
        EXPECT_TRUE(
            form->ShownMessages.front().contains(QFileInfo(form->Recording->path()).fileName()));
        EXPECT_TRUE(form->ToolButton1->isEnabled());
        EXPECT_EQ(form->Label3->text(), "己完成");
        EXPECT_EQ(form->ListView1->topLevelItem(0)->text(4), "Saved");
        // Whatever the encoder wrote before it died is still a readable file.
        const auto decoded = decodeFile(form->Recording->path());
        ASSERT_TRUE(decoded);
        EXPECT_GT(decoded->seconds(), 0.5);
        EXPECT_NEAR(dominantFrequency(decoded->samples, 2, DecodedRate), 1000.0, 6.0);
    }
}

namespace {

// Runs the program as a user would, records from the line-in by its menu and
// kills it. The take cannot be longer than the wall time from the record command
// to the kill, nor shorter than what the program had written by then.
struct KilledTake
{
    QString path;
    double secondsOnDisk = 0;          // WAV: audio written before the kill
    double wallSecondsFromCommand = 0; // at least the take's length
    QString title;                     // the window's title on the display, while recording
};

KilledTake recordInSeparateProgramAndKill(int format, const QString &root)
{
    KilledTake take;
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        ADD_FAILURE() << "needs the session's X display";
        return take;
    }
    const QString dataHome = root + "/data";
    const QString appDir = dataHome + "/Sonalto/";
    const QString audioDir = root + "/child-audio/";
    QDir().mkpath(appDir);
    QDir().mkpath(audioDir);
    {
        // The settings the program starts with: the line-in, the format, the folder.
        ProjectDirs::instance().SetAppDir(appDir);
        ProjectDirs::instance().SetAudioDir(audioDir);
        auto form = makeForm(audio::AudioEngine::createSystemBackend());
        if (!selectInputWith(*form, LineInWords)) {
            ADD_FAILURE() << "no line-in input";
            return take;
        }
        selectFormat(*form, format);
        form->MinitoTray = false;
        form->saveSettings();
    }
    settings::IniFile(appDir + "Config.ini").writeString("Other", "AudioDir", audioDir);

    QProcess feed;
    feed.start("paplay", {"--device=sonalto_linein_feed", root + "/tone.wav"});
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_DATA_HOME", dataHome);
    program.setProcessEnvironment(env);
    program.start(SONALTO_BINARY, {});
    if (!program.waitForStarted()) {
        ADD_FAILURE() << "cannot start " << SONALTO_BINARY;
        return take;
    }
    const QString pid = QString::number(program.processId());
    QString window;
    (void)QTest::qWaitFor(
        [&] {
            window = runProgram("xdotool", {"search", "--onlyvisible", "--pid", pid}).trimmed();
            return !window.isEmpty();
        },
        10000);
    window = window.split('\n').last();
    EXPECT_FALSE(window.isEmpty()) << "the program's window did not appear";
    QTest::qWait(500);
    // The first menu ("文件") sits at the window's top left; its first entry records.
    runProgram("xdotool", {"mousemove", "--window", window, "12", "10", "click", "1"});
    QTest::qWait(300);
    QElapsedTimer sinceCommand;
    sinceCommand.start();
    runProgram("xdotool", {"key", "Down", "Return"});

    const QString extension = format == 0 ? "*.mp3" : "*.wav";
    (void)QTest::qWaitFor(
        [&] {
            const QStringList files = QDir(audioDir).entryList({extension}, QDir::Files);
            if (files.isEmpty())
                return false;
            take.path = audioDir + files.front();
            return true;
        },
        10000);
    if (take.path.isEmpty()) {
        ADD_FAILURE() << "the program did not start recording";
        program.kill();
        program.waitForFinished();
        return take;
    }
    QTest::qWait(4000);
    take.title = runProgram("xdotool", {"getwindowname", window}).trimmed();
    const pid_t encoder = childNamed(pid_t(program.processId()), "lame");
    if (format == 3) {
        // What the program had written (its WAV header is kept up to date) must
        // survive the kill; a program starved by a loaded machine may have
        // received less than the wall time, which is not a fault of the file.
        QFile wav(take.path);
        if (wav.open(QIODevice::ReadOnly)) {
            const QByteArray header = wav.read(44);
            const qint64 size = wav.size();
            if (header.size() == 44) {
                const auto le = [&](int at, int bytes) {
                    quint32 v = 0;
                    for (int i = bytes - 1; i >= 0; --i)
                        v = (v << 8) | quint8(header[at + i]);
                    return v;
                };
                const quint32 rate = le(24, 4), blockAlign = le(32, 2);
                if (rate > 0 && blockAlign > 0)
                    take.secondsOnDisk = double(size - 44) / blockAlign / rate;
            }
        }
    }
    ::kill(pid_t(program.processId()), SIGKILL);
    take.wallSecondsFromCommand = sinceCommand.elapsed() / 1000.0;
    program.waitForFinished();
    // The encoder outlives the program: it reads to the end of its input and
    // finishes the file.
    if (encoder != 0) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return ::kill(encoder, 0) != 0; }, 10000))
            << "the encoder did not finish";
    }
    feed.kill();
    feed.waitForFinished();
    return take;
}

} // namespace

TEST(RecordingWindow, KilledProgramLeavesReadableFiles)
{
    SONALTO_REQUIRE_PULSE();
    TempFolders folders;
    std::string error;
    // A 1 kHz sine, fed into the clocked line-in.
    ASSERT_TRUE(writeRecording(folders.root() + "/tone.wav",
                               toneSamples(1000, 30, audio::PcmFormat{44100, 2}), {44100, 2},
                               &error))
        << error;
    for (int format : {3, 0}) {
        SCOPED_TRACE(FormatNames[format]);
        const QString root = folders.root() + "/" + FormatNames[format];
        QDir().mkpath(root);
        QFile::copy(folders.root() + "/tone.wav", root + "/tone.wav");
        const KilledTake take = recordInSeparateProgramAndKill(format, root);
        if (take.path.isEmpty())
            continue;
        // The title the window sets, without the program's name appended by Qt.
        EXPECT_TRUE(
            QRegularExpression("^\\d\\d:\\d\\d:\\d\\d Recording$").match(take.title).hasMatch())
            << take.title.toStdString();
        const auto decoded = decodeFile(take.path);
        ASSERT_TRUE(decoded);
        // Everything the program had written survives (for MP3 the orphaned
        // encoder finishes the file); nothing more than the take's wall time.
        EXPECT_GT(decoded->seconds(), format == 3 ? take.secondsOnDisk - 0.05 : 0.5);
        EXPECT_LT(decoded->seconds(), take.wallSecondsFromCommand + 0.2);
        EXPECT_NEAR(dominantFrequency(decoded->samples, 2, DecodedRate), 1000.0, 6.0);
    }
}

TEST(RecordingWindow, StartsThatCannotRecordLeaveNothingBehind)
{
    {
        SCOPED_TRACE("WAV without a writer");
        TempFolders folders;
        auto form = makeForm(makeTestBackend());
        selectFormat(*form, 3);
        // A folder below a regular file can never be created.
        QFile(folders.root() + "/plain").open(QIODevice::WriteOnly);
        ProjectDirs::instance().SetAudioDir(folders.root() + "/plain/audio/");
        form->ShownMessages.clear();
        pressRecord(*form);
        EXPECT_FALSE(form->IsRecording);
        EXPECT_EQ(form->Input->monitor(), nullptr);
        EXPECT_EQ(form->Recording->channel(), nullptr)
            << "no capture left running without a writer";
        ASSERT_EQ(form->ShownMessages.size(), 1);
        // The format's message, then why.
        EXPECT_TRUE(form->ShownMessages.front().startsWith("无法开始录制 WAV 音频\n\n无法创建"))
            << form->ShownMessages.front().toStdString();
        EXPECT_TRUE(form->ToolButton1->isEnabled());
        EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
    }
    {
        SCOPED_TRACE("WMA whose capture fails");
        TempFolders folders;
        auto backend = makeTestBackend();
        audio::VirtualBackend *virtualBackend = backend.get();
        auto form = makeForm(std::move(backend));
        selectFormat(*form, 1);
        form->ShownMessages.clear();
        // The input goes away before the window hears of it.
        ASSERT_TRUE(virtualBackend->removeSource("card0.in"));
        pressRecord(*form);
        EXPECT_FALSE(form->IsRecording);
        ASSERT_EQ(form->ShownMessages.size(), 1);
        EXPECT_TRUE(form->ShownMessages.front().startsWith("Cannot start recording for WMA\n\n"))
            << form->ShownMessages.front().toStdString();
        EXPECT_TRUE(QDir(folders.audioDir()).entryList(QDir::Files).isEmpty())
            << "the empty WMA file is removed";
    }
    {
        SCOPED_TRACE("format position outside the list");
        TempFolders folders;
        auto form = makeForm(makeTestBackend());
        form->ComboBox3->setCurrentIndex(-1);
        pressRecord(*form);
        ASSERT_TRUE(form->IsRecording);
        QTest::qWait(300);
        form->ToolButton3->click();
        ASSERT_TRUE(waitUntilIdle(*form));
        EXPECT_TRUE(form->Recording->path().endsWith(".mp3"))
            << form->Recording->path().toStdString();
        EXPECT_TRUE(decodeFile(form->Recording->path()));
    }
}

namespace {

// Every file below the folder, by path relative to it.
QStringList filesBelow(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

// The encoder program this process started last, by name.
pid_t newestChild(const std::string &name)
{
    pid_t found = 0;
    for (int i = 0; i < 50 && found == 0; ++i) {
        found = childNamed(getpid(), name);
        if (found == 0)
            QTest::qWait(20);
    }
    return found;
}

// A folder nobody may create files in, also when the tests run as root (which
// permissions do not stop): an immutable folder then.
class UnwritableFolder
{
public:
    explicit UnwritableFolder(const QString &path) : m_path(path)
    {
        QDir().mkpath(path);
        if (geteuid() == 0)
            m_ok = runProgramOk("chattr", {"+i", path});
        else
            m_ok = QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
    ~UnwritableFolder()
    {
        if (geteuid() == 0)
            runProgramOk("chattr", {"-i", m_path});
        else
            QFile::setPermissions(m_path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    bool ok() const { return m_ok; }

private:
    static bool runProgramOk(const QString &program, const QStringList &args)
    {
        int code = -1;
        runProgram(program, args, &code);
        return code == 0;
    }
    QString m_path;
    bool m_ok = false;
};

} // namespace

// Folder and base names that are ordinary on Linux: quotes, blanks, a shell's
// $(...), a leading dash, CJK and emoji, and names that try to leave the folder.
TEST(RecordingWindow, AnyFolderAndBaseNameRecordsIntoTheOutputFolder)
{
    SONALTO_REQUIRE_PULSE();
    SONALTO_REQUIRE_PROGRAM("lame");
    SONALTO_REQUIRE_PROGRAM("oggenc");
    TempFolders folders;
    const QString audioDir = folders.root() + "/My \"Best\" $(touch x) Takes; 音频 🎙/";
    ProjectDirs::instance().SetAudioDir(audioDir);
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    // Everything outside the output folder, but the settings file.
    const QString inside = QDir(folders.root()).relativeFilePath(audioDir);
    auto elsewhere = [&] {
        QStringList files = filesBelow(folders.root());
        files.removeIf([&](const QString &f) {
            return f.startsWith(inside) || f == QStringLiteral("app/Config.ini");
        });
        return files;
    };
    const QStringList elsewhereBefore = elsewhere();
    const bool xBefore = QFileInfo::exists(QDir::currentPath() + "/x");

    struct Take
    {
        QString base;
        int format;
    };
    const Take takes[] = {{"a\"b", 0},  {"a\"b", 2}, {"-V0", 0}, {"../../esc", 0},
                          {"sub/x", 2}, {"  ", 0},   {"a\"b", 0}};
    QStringList paths;
    for (const Take &take : takes) {
        SCOPED_TRACE(take.base.toStdString() + " " + FormatNames[take.format]);
        form->OutputBaseName = take.base;
        selectFormat(*form, take.format);
        form->ShownMessages.clear();
        const double captured = recordFor(*form, 2500);
        EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join("|").toStdString();
        EXPECT_GT(captured, 0.5);
        const QString path = form->Recording->path();
        EXPECT_EQ(QFileInfo(path).dir().canonicalPath(), QDir(audioDir).canonicalPath());
        EXPECT_FALSE(paths.contains(path)) << "a new file for every take";
        paths << path;
        QTreeWidgetItem *row = form->ListView1->topLevelItem(0);
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->text(0), QFileInfo(path).fileName());
        EXPECT_EQ(row->text(4), "Saved");
    }
    EXPECT_EQ(form->OutputBaseName, "a\"b") << "the stored text stays as it was";
    EXPECT_EQ(QFileInfo(paths[0]).fileName(), "ab1.mp3");
    EXPECT_EQ(QFileInfo(paths[3]).fileName(), "esc1.mp3");
    EXPECT_EQ(QFileInfo(paths[4]).fileName(), "subx1.ogg");
    // Nothing was overwritten: every take is still there, whole.
    for (const QString &path : paths) {
        SCOPED_TRACE(path.toStdString());
        const auto decoded = decodeFile(path);
        ASSERT_TRUE(decoded);
        EXPECT_GT(decoded->seconds(), 0.5);
        EXPECT_NEAR(dominantFrequency(decoded->samples, 2, DecodedRate), 1000.0, 6.0);
    }
    // Nothing anywhere else: not beside the folder, not where the program runs.
    EXPECT_EQ(elsewhere(), elsewhereBefore);
    EXPECT_EQ(QFileInfo::exists(QDir::currentPath() + "/x"), xBefore) << "nothing ran $(...)";
    EXPECT_EQ(filesBelow(audioDir).size(), paths.size());
}

TEST(RecordingWindow, EncoderInAnApplicationFolderWithABlankIsUsed)
{
    SONALTO_REQUIRE_PULSE();
    SONALTO_REQUIRE_PROGRAM("lame");
    TempFolders folders;
    const QString appDir = folders.root() + "/John Smith/Sonalto/";
    QDir().mkpath(appDir);
    ASSERT_TRUE(QFile::copy(QStandardPaths::findExecutable("lame"), appDir + "lame"));
    QFile::setPermissions(appDir + "lame", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ProjectDirs::instance().SetAppDir(appDir);
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    selectFormat(*form, 0);
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording) << form->ShownMessages.join("|").toStdString();
    const pid_t lame = newestChild("lame");
    ASSERT_NE(lame, 0);
    EXPECT_EQ(QFile::symLinkTarget(QString("/proc/%1/exe").arg(lame)), appDir + "lame");
    QTest::qWait(2500);
    form->ToolButton3->click();
    ASSERT_TRUE(waitUntilIdle(*form));
    EXPECT_TRUE(form->ShownMessages.isEmpty()) << form->ShownMessages.join("|").toStdString();
    const auto decoded = decodeFile(form->Recording->path());
    ASSERT_TRUE(decoded);
    EXPECT_NEAR(dominantFrequency(decoded->samples, 2, DecodedRate), 1000.0, 6.0);
}

TEST(RecordingWindow, UnwritableFolderIsAFailedStartWithTheEncodersReason)
{
    SONALTO_REQUIRE_PULSE();
    SONALTO_REQUIRE_PROGRAM("lame");
    TempFolders folders;
    auto form = makePulseForm();
    ASSERT_NE(form->Input->engine(), nullptr);
    selectFormat(*form, 0);
    const QString blocked = folders.root() + "/blocked/";
    UnwritableFolder unwritable(blocked);
    ASSERT_TRUE(unwritable.ok());
    ProjectDirs::instance().SetAudioDir(blocked);
    form->ShownMessages.clear();
    pressRecord(*form);
    EXPECT_FALSE(form->IsRecording);
    ASSERT_EQ(form->ShownMessages.size(), 1);
    const QString message = form->ShownMessages.front();
    EXPECT_TRUE(message.startsWith("Couldn't start Encoding for MP3\n\n")) << message.toStdString();
    // lame's own words about the file.
    EXPECT_TRUE(message.contains("outfile")) << message.toStdString();
    EXPECT_EQ(form->ListView1->topLevelItemCount(), 0);
    EXPECT_TRUE(filesBelow(blocked).isEmpty());
    EXPECT_TRUE(form->ToolButton1->isEnabled());
}

// The encoder stalls (SIGSTOP): Stop returns at once, the window says it is
// finishing and keeps handling events, and the timeout is reported with its reason.
TEST(RecordingWindow, StopWithAStalledEncoderKeepsTheWindowResponsive)
{
    SONALTO_REQUIRE_PROGRAM("lame");
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    form->EncoderFinishWaitMs = 1500;
    form->show();
    selectFormat(*form, 0);
    pressRecord(*form);
    ASSERT_TRUE(form->IsRecording) << form->ShownMessages.join("|").toStdString();
    const pid_t lame = newestChild("lame");
    ASSERT_NE(lame, 0);
    QTest::qWait(800);
    ASSERT_EQ(::kill(lame, SIGSTOP), 0);
    QTest::qWait(1000);

    QElapsedTimer clock;
    clock.start();
    form->ToolButton3->click();
    const qint64 stopTook = clock.elapsed();
    EXPECT_EQ(form->Label3->text(), "正在完成…");
    EXPECT_TRUE(form->Label15->text().startsWith("正在完成 "))
        << form->Label15->text().toStdString();
    EXPECT_FALSE(form->ToolButton1->isEnabled());
    EXPECT_FALSE(form->ToolButton3->isEnabled());

    // Events keep being handled: a timer of the window's thread never waits long.
    test::EventGapWatch gaps;
    const bool idle = waitUntilIdle(*form);
    gaps.stop();
    const qint64 finishTook = clock.elapsed();
    ::kill(lame, SIGCONT);
    ASSERT_TRUE(idle);
    EXPECT_LT(stopTook * 5, finishTook);
    EXPECT_LT(gaps.longestGapMs() * 5, finishTook) << gaps.longestGapMs() << " ms without events";
    EXPECT_TRUE(form->ToolButton1->isEnabled());
    ASSERT_EQ(form->ShownMessages.size(), 1);
    EXPECT_TRUE(form->ShownMessages.front().startsWith("录制意外停止: "));
    EXPECT_TRUE(form->ShownMessages.front().contains("没有接收音频"))
        << form->ShownMessages.front().toStdString();
}

TEST(RecordingWindow, DeletedOutputFolderIsAFailureAndNoRowSaysSaved)
{
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    for (int format = 0; format < 4; ++format) {
        SCOPED_TRACE(FormatNames[format]);
        SONALTO_REQUIRE_ENCODER_OF(format);
        QDir().mkpath(folders.audioDir());
        selectFormat(*form, format);
        form->ShownMessages.clear();
        pressRecord(*form);
        ASSERT_TRUE(form->IsRecording) << form->ShownMessages.join("|").toStdString();
        QTest::qWait(700);
        ASSERT_TRUE(QDir(folders.audioDir()).removeRecursively());
        // Timer1 notices within a tick.
        ASSERT_TRUE(QTest::qWaitFor([&] { return !form->IsRecording; }, 3000));
        ASSERT_TRUE(waitUntilIdle(*form));
        ASSERT_EQ(form->ShownMessages.size(), 1);
        EXPECT_TRUE(form->ShownMessages.front().startsWith("录制意外停止: "));
        EXPECT_TRUE(form->ShownMessages.front().contains("没有录到可以保存的音频"))
            << form->ShownMessages.front().toStdString();
        EXPECT_FALSE(form->ShownMessages.front().contains("已保存到"));
        for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i)
            EXPECT_NE(form->ListView1->topLevelItem(i)->text(4), "Saved");
    }
}

// A disk that is full from the start (here: a file size limit of 0): the take
// fails at its start or at its first write, and either way nothing reads as saved.
TEST(RecordingWindow, FullDiskAtStartIsAFailure)
{
    SONALTO_REQUIRE_PROGRAM("lame");
    TempFolders folders;
    auto form = makeForm(makeTestBackend());
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    for (int format : {0, 3}) {
        SCOPED_TRACE(FormatNames[format]);
        selectFormat(*form, format);
        form->ShownMessages.clear();
        rlimit none{0, previous.rlim_max};
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &none), 0);
        pressRecord(*form);
        if (form->IsRecording) {
            QTest::qWait(1500);
            form->ToolButton3->click();
        }
        const bool idle = waitUntilIdle(*form);
        setrlimit(RLIMIT_FSIZE, &previous);
        ASSERT_TRUE(idle);
        ASSERT_EQ(form->ShownMessages.size(), 1);
        EXPECT_FALSE(form->ShownMessages.front().contains("已保存到"))
            << form->ShownMessages.front().toStdString();
        for (int i = 0; i < form->ListView1->topLevelItemCount(); ++i)
            EXPECT_NE(form->ListView1->topLevelItem(i)->text(4), "Saved");
        EXPECT_TRUE(filesBelow(folders.audioDir()).isEmpty())
            << filesBelow(folders.audioDir()).join(' ').toStdString();
    }
    std::signal(SIGXFSZ, previousHandler);
}

TEST(RecordingWindow, ATakeRunningWhenTheWindowGoesIsFinishedAndToldAtTheNextStart)
{
    TempFolders folders;
    {
        auto form = makeForm(makeTestBackend());
        selectFormat(*form, 3);
        pressRecord(*form);
        ASSERT_TRUE(form->IsRecording);
        ASSERT_TRUE(QTest::qWaitFor([&] { return capturedSeconds(*form) > 0.5; }, 5000));
        // The program ends (a log-out, a signal) with the take running.
    }
    const QString path = folders.audioDir() + "01.wav";
    const auto decoded = decodeFile(path);
    ASSERT_TRUE(decoded);
    EXPECT_GT(decoded->seconds(), 0.4);

    auto form = makeForm(makeTestBackend());
    form->show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form->Label15->text() == "上次退出时正在录制的 01.wav 已保存"; }, 5000))
        << form->Label15->text().toStdString();
    EXPECT_FALSE(QFile::exists(folders.appDir() + "LastTake.ini")) << "said once";
}
