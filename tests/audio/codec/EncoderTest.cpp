#include "CodecTestSupport.h"

#include "audio/AudioFileDecoder.h"
#include "audio/CommandLineEncoder.h"
#include "audio/Encoders.h"

#include "common/TestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace sonalto::audio;
using namespace sonalto::test;

namespace {

constexpr int Rate = 44100;
constexpr double ToneSeconds = 2.5;

// Decodes the file and checks it holds the test tone for its whole length.
void expectTone(const std::string &path, double seconds, double frequency = 1000)
{
    std::string error;
    auto samples = decodeAudioFile(path, &error);
    ASSERT_TRUE(samples) << error;
    const double decoded = double(samples->size() / 2) / Rate;
    EXPECT_NEAR(decoded, seconds, 0.1) << path;
    EXPECT_NEAR(dominantFrequency(*samples, 2, Rate), frequency, 10) << path;
    const auto probed = probeDurationSeconds(path);
    ASSERT_TRUE(probed) << path;
    EXPECT_NEAR(*probed, seconds, 0.1) << path;
}

void encodeThroughProgram(const std::vector<std::string> &arguments, const std::string &path)
{
    std::string error;
    const PcmFormat format{Rate, 2};
    auto encoder = startCommandLineEncoder({arguments, path}, format, &error);
    ASSERT_TRUE(encoder) << error;
    feed(*encoder, toneSamples(1000, ToneSeconds), 2, Rate);
    encoder->finish();
    EXPECT_EQ(encoder->errorMessage(), "");
    EXPECT_FALSE(encoder->isActive());
    expectTone(path, ToneSeconds);
}

} // namespace

TEST(CommandLine, StreamingHeaderAnnouncesUnknownLength)
{
    const auto h = streamingWavHeader(PcmFormat{48000, 1});
    ASSERT_EQ(h.size(), 44u);
    EXPECT_EQ(std::string(h.begin(), h.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(h.begin() + 36, h.begin() + 40), "data");
    EXPECT_EQ(h[40] | h[41] | h[42] | h[43], 0);
    EXPECT_EQ(h[24] | (h[25] << 8) | (h[26] << 16), 48000); // rate
    EXPECT_EQ(h[32], 2);                                    // bytes per frame
}

TEST(CommandLineEncoder, MissingProgramFailsAtOnce)
{
    QTemporaryDir dir;
    std::string error;
    auto encoder = startCommandLineEncoder({{tempPath(dir, "no-such-encoder"), "-", "out.mp3"}},
                                           PcmFormat{}, &error);
    EXPECT_FALSE(encoder);
    EXPECT_NE(error.find("no-such-encoder"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(startCommandLineEncoder({}, PcmFormat{}, &error));
    EXPECT_FALSE(error.empty());
}

TEST(CommandLineEncoder, LameConstantAndVariableRate)
{
    SONALTO_REQUIRE_PROGRAM("lame");
    QTemporaryDir dir;
    const std::string cbr = tempPath(dir, "音频 cbr.mp3");
    const std::string vbr = tempPath(dir, "vbr.mp3");
    encodeThroughProgram({"lame", "--alt-preset", "cbr", "128", "-", cbr}, cbr);
    encodeThroughProgram({"lame", "-V", "2", "--resample", "44.1", "-", vbr}, vbr);
}

TEST(CommandLineEncoder, Oggenc)
{
    SONALTO_REQUIRE_PROGRAM("oggenc");
    QTemporaryDir dir;
    const std::string path = tempPath(dir, "tone 1.ogg");
    encodeThroughProgram({"oggenc", "-o", path, "-"}, path);
}

TEST(CommandLineEncoder, ChildInheritsOnlyItsStandardDescriptors)
{
    // A descriptor of ours without close-on-exec must not reach the encoder.
    const int leaky = ::open("/dev/null", O_RDONLY);
    std::string error;
    auto encoder = CommandLineEncoder::start({{"cat"}}, PcmFormat{}, true, &error);
    ::close(leaky);
    ASSERT_TRUE(encoder) << error;
    const QString fdDir = QString("/proc/%1/fd").arg(encoder->processId());
    // The program may hold a file of its own for a moment while it starts (cat
    // reads its locale); a leaked descriptor stays.
    const QStringList standard{"0", "1", "2"};
    QStringList open;
    for (int i = 0; i < 100; ++i) {
        open = QDir(fdDir).entryList(QDir::NoDotAndDotDot | QDir::System);
        if (open == standard)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(open, standard);
    EXPECT_TRUE(QFile::symLinkTarget(fdDir + "/0").contains("pipe:"))
        << QFile::symLinkTarget(fdDir + "/0").toStdString();
    EXPECT_EQ(QFile::symLinkTarget(fdDir + "/1"), "/dev/null");
    EXPECT_TRUE(QFile::symLinkTarget(fdDir + "/2").contains("pipe:"))
        << "standard error is read for messages";
    feed(*encoder, toneSamples(1000, 0.5), 2, Rate);
    // Only our end of the pipe may keep it open: cat must see the end of input.
    encoder->finish();
    EXPECT_EQ(encoder->errorMessage(), "");
}

TEST(CommandLineEncoder, KilledProgramEndsTheEncoderWithAMessage)
{
    SONALTO_REQUIRE_PROGRAM("lame");
    QTemporaryDir dir;
    std::string error;
    auto started = CommandLineEncoder::start(
        {{"lame", "--alt-preset", "cbr", "128", "-", tempPath(dir, "k.mp3")}}, PcmFormat{}, true,
        &error);
    ASSERT_TRUE(started) << error;
    feed(*started, toneSamples(1000, 0.5), 2, Rate);
    EXPECT_TRUE(started->isActive());
    kill(started->processId(), SIGKILL);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !started->isActive(); }));
    EXPECT_NE(started->errorMessage().find("被信号 SIGKILL（9）终止"), std::string::npos)
        << started->errorMessage();
    feed(*started, toneSamples(1000, 0.5), 2, Rate); // ignored, and nothing breaks
    started->finish();
}

TEST(CommandLineEncoder, ProgramThatClosesItsInputGivesAnErrorNotASignal)
{
    // With SIGPIPE at its default, a write into the closed pipe would end the
    // test process unless the writer keeps the signal away.
    const auto previous = std::signal(SIGPIPE, SIG_DFL);
    std::string error;
    auto started =
        CommandLineEncoder::start({{"sh", "-c", "exec 0<&-; sleep 30"}}, PcmFormat{}, true, &error);
    ASSERT_TRUE(started) << error;
    feed(*started, toneSamples(1000, 1.0), 2, Rate);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !started->isActive(); }));
    EXPECT_NE(started->errorMessage().find("无法向编码器“sh”写入音频"), std::string::npos)
        << started->errorMessage();
    kill(started->processId(), SIGKILL);
    started->finish();
    std::signal(SIGPIPE, previous);
}

TEST(CommandLineEncoder, ProgramThatStopsReadingLosesAudioThatIsCounted)
{
    std::string error;
    auto started = CommandLineEncoder::start({{"sleep", "30"}}, PcmFormat{}, true, &error);
    ASSERT_TRUE(started) << error;
    // More than the buffer and the pipe hold together.
    const double seconds = BufferedEncoder::BufferSeconds + 2;
    feed(*started, toneSamples(1000, seconds), 2, Rate);
    const AudioLoss loss = started->lostAudio();
    EXPECT_EQ(loss.eventCount(LossKind::Overflow), 1u);
    EXPECT_GT(loss.frameCount(LossKind::Overflow), uint64_t(1.0 * Rate));
    EXPECT_LE(loss.frameCount(LossKind::Overflow), uint64_t(2 * Rate));
    // A stall is not yet a failure: the program may read again.
    EXPECT_TRUE(started->isActive());
    EXPECT_EQ(started->errorMessage(), "");
    // One that is gone is.
    kill(started->processId(), SIGKILL);
    started->finish();
    EXPECT_NE(started->errorMessage().find("SIGKILL"), std::string::npos)
        << started->errorMessage();
}

// What lame and oggenc write on standard error when they fail (taken from real
// runs): the failure is explained by the line that says what went wrong, not by the
// statistics or the greeting they print whatever happened.
TEST(CommandLineEncoder, FailureIsExplainedByTheLineThatSaysWhy)
{
    const struct
    {
        const char *what;
        const char *stderrText;
        const char *explanation;
    } cases[] = {
        {"oggenc, disk full",
         "Opening with wav module: WAV file reader\nEncoding standard input to \n         "
         "\"/dev/full\" \nat quality 3.00\n\r\tEncoding [ 0m00s so far] | \nFailed writing data "
         "to output stream\n\n\n\nDone encoding file \"/dev/full\"\n\n\tFile length:  0m 01.0s\n"
         "\tElapsed time: 0m 00.0s\n\tRate:         75.9590\n\tAverage bitrate: 0.0 kb/s\n\n",
         "Failed writing data to output stream"},
        {"oggenc, a bad option ignored, then disk full",
         "oggenc: unrecognized option '--bogus'\nWARNING: Unknown option specified, ignoring->\n"
         "Opening with wav module: WAV file reader\nEncoding standard input to \n         "
         "\"/dev/full\" \nat quality 3.00\n\r\tEncoding [ 0m00s so far] | \nFailed writing data "
         "to output stream\n\n\n\nDone encoding file \"/dev/full\"\n\n\tFile length:  0m 01.0s\n"
         "\tAverage bitrate: 0.0 kb/s\n\n",
         "Failed writing data to output stream"},
        {"oggenc, folder below a file",
         "Opening with wav module: WAV file reader\nError: path segment \"tone.wav\" is not a "
         "directory\nERROR: Could not create required subdirectories for output filename "
         "\"tone.wav/x.ogg\"\n",
         "ERROR: Could not create required subdirectories for output filename \"tone.wav/x.ogg\""},
        {"oggenc, stopped while encoding a file named like an error",
         "Opening with wav module: WAV file reader\nEncoding standard input to \n         "
         "\"error: failed.ogg\" \nat quality 3.00\n\r\tEncoding [ 0m01s so far] | ",
         ""},
        {"lame, disk full",
         "LAME 3.100 64bits (http://lame.sf.net)\nUsing polyphase lowpass filter, transition band: "
         "16538 Hz - 17071 Hz\nEncoding <stdin> to /dev/full\nEncoding as 44.1 kHz j-stereo "
         "MPEG-1 Layer III (11x) 128 kbps qval=3\nError writing mp3 output \n",
         "Error writing mp3 output"},
        {"lame, folder below a file", "Can't init outfile 'tone.wav/x.mp3'\n",
         "Can't init outfile 'tone.wav/x.mp3'"},
        {"lame, bad option", "lame: unrecognized option --bogus\n",
         "lame: unrecognized option --bogus"},
        {"lame, killed: only its greeting",
         "LAME 3.100 64bits (http://lame.sf.net)\nUsing polyphase lowpass filter, transition band: "
         "16538 Hz - 17071 Hz\nEncoding <stdin> to failed.mp3\nEncoding as 44.1 kHz j-stereo "
         "MPEG-1 Layer III (11x) 128 kbps qval=3\n",
         ""},
        {"another program's last words", "starting up\r\ndisk on fire", "disk on fire"},
        {"a warning and nothing worse",
         "WARNING: quality setting too high, setting to maximum quality.\nDone encoding file "
         "\"x.ogg\"\n",
         "WARNING: quality setting too high, setting to maximum quality."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(explainingLine(c.stderrText), c.explanation) << c.what;

    // And from a running encoder: the reason reaches its message.
    SONALTO_REQUIRE_PROGRAM("oggenc");
    std::string error;
    auto full =
        CommandLineEncoder::start({{"oggenc", "-o", "/dev/full", "-"}}, PcmFormat{}, true, &error);
    ASSERT_TRUE(full) << error;
    feed(*full, toneSamples(1000, 1.0), 2, Rate);
    full->finish();
    EXPECT_EQ(full->errorMessage(),
              "编码器“oggenc”已退出，退出码为 1。编码器提示：Failed writing data to output stream");
}

// Bytes the process has read so far.
uint64_t bytesRead(pid_t pid)
{
    std::ifstream io("/proc/" + std::to_string(pid) + "/io");
    std::string key;
    uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

// An encoder stopped (SIGSTOP) a second into a take: the stall ends the encoder
// within a few seconds while the take goes on, says why, and the file keeps what
// the encoder had taken.
TEST(CommandLineEncoder, StalledProgramEndsTheEncoderAndKeepsItsFile)
{
    for (const std::string program : {"lame", "oggenc"}) {
        SCOPED_TRACE(program);
        SONALTO_REQUIRE_PROGRAM(program.c_str());
        QTemporaryDir dir;
        const std::string path = tempPath(dir, program == "lame" ? "stalled.mp3" : "stalled.ogg");
        // The lowest bit rate: the file holds nothing yet when the encoder stops.
        const std::vector<std::string> arguments =
            program == "lame"
                ? std::vector<std::string>{"lame", "-V", "9", "-b", "32", "-B", "32", "-", path}
                : std::vector<std::string>{"oggenc", "-o", path, "-"};
        std::string error;
        auto encoder =
            CommandLineEncoder::start({arguments, path}, PcmFormat{Rate, 2}, true, &error);
        ASSERT_TRUE(encoder) << error;
        const pid_t pid = encoder->processId();
        const auto second = toneSamples(1000, 1.0);
        feed(*encoder, second, 2, Rate);
        ASSERT_TRUE(QTest::qWaitFor([&] { return bytesRead(pid) >= 44 + second.size() * 2; }));
        ASSERT_EQ(kill(pid, SIGSTOP), 0);

        // The take goes on in real time until the encoder gives up.
        const auto block = toneSamples(1000, 0.05);
        double fed = 1.0;
        auto next = std::chrono::steady_clock::now();
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                if (std::chrono::steady_clock::now() >= next) {
                    encoder->write(block.data(), block.size() / 2);
                    fed += 0.05;
                    next += std::chrono::milliseconds(50);
                }
                return !encoder->isActive();
            },
            10000));
        EXPECT_NE(encoder->errorMessage().find("被暂停"), std::string::npos)
            << encoder->errorMessage();
        EXPECT_NE(encoder->errorMessage().find("没有接收音频"), std::string::npos)
            << encoder->errorMessage();
        encoder->finish();
        auto samples = decodeAudioFile(path, &error);
        ASSERT_TRUE(samples) << error;
        const double decoded = double(samples->size() / 2) / Rate;
        EXPECT_GE(decoded, 0.9);
        EXPECT_LE(decoded, fed + 0.1);
        kill(pid, SIGCONT);
    }
}

TEST(CommandLineEncoder, PausedEncoderDropsAudio)
{
    SONALTO_REQUIRE_PROGRAM("oggenc");
    QTemporaryDir dir;
    const std::string path = tempPath(dir, "p.ogg");
    std::string error;
    auto encoder = startCommandLineEncoder({{"oggenc", "-o", path, "-"}}, PcmFormat{}, &error);
    ASSERT_TRUE(encoder) << error;
    feed(*encoder, toneSamples(1000, 1.0), 2, Rate);
    encoder->setPaused(true);
    EXPECT_TRUE(encoder->isPaused());
    feed(*encoder, toneSamples(1000, 1.0), 2, Rate);
    encoder->setPaused(false);
    feed(*encoder, toneSamples(1000, 0.5), 2, Rate);
    encoder->finish();
    auto samples = decodeAudioFile(path, &error);
    ASSERT_TRUE(samples) << error;
    EXPECT_NEAR(double(samples->size() / 2) / Rate, 1.5, 0.05);
}

TEST(WavFileEncoder, WritesAReadableFile)
{
    QTemporaryDir dir;
    const std::string path = tempPath(dir, "音频.wav");
    std::string error;
    auto encoder = startWavFileEncoder(path, PcmFormat{Rate, 2}, &error);
    ASSERT_TRUE(encoder) << error;
    const auto tone = toneSamples(1000, ToneSeconds);
    feed(*encoder, tone, 2, Rate);
    encoder->finish();
    EXPECT_EQ(encoder->errorMessage(), "");
    std::ifstream file(path, std::ios::binary);
    char magic[4] = {};
    file.read(magic, 4);
    EXPECT_EQ(std::string(magic, 4), "RIFF"); // a plain WAV below 4 GiB
    auto decoded = decodeAudioFile(path, &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, tone); // bit-exact through the decoder
    expectTone(path, ToneSeconds);
}

TEST(WavFileEncoder, UnwritableFolderFailsAtOnceSayingWhy)
{
    std::string error;
    EXPECT_FALSE(startWavFileEncoder("/nonexistent %2 $(x)/%1.wav", PcmFormat{}, &error));
    EXPECT_EQ(error, "无法创建“/nonexistent %2 $(x)/%1.wav”：文件或文件夹不存在。");
}

// A file at the end of a chain of folders whose path is longer than the system
// takes in one piece; removed with the test (removal by path cannot reach it).
class DeepFile
{
public:
    DeepFile(const std::string &root, size_t length) : path(root)
    {
        m_fds.push_back(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        while (path.size() <= length && m_fds.back() >= 0) {
            ::mkdirat(m_fds.back(), Folder, 0700);
            m_fds.push_back(::openat(m_fds.back(), Folder, O_PATH | O_DIRECTORY | O_CLOEXEC));
            path += std::string("/") + Folder;
        }
        path += std::string("/") + File;
    }
    ~DeepFile()
    {
        ::unlinkat(m_fds.back(), File, 0);
        for (size_t i = m_fds.size() - 1; i > 0; --i) {
            ::close(m_fds[i]);
            ::unlinkat(m_fds[i - 1], Folder, AT_REMOVEDIR);
        }
        ::close(m_fds[0]);
    }
    bool ok() const { return m_fds.back() >= 0; }
    // A short path that reaches the file through the open folder.
    std::string shortPath() const
    {
        return "/proc/self/fd/" + std::to_string(m_fds.back()) + "/" + File;
    }

    std::string path;

private:
    static constexpr const char *Folder =
        "录音文件夹录音文件夹录音文件夹录音文件夹录音文件夹录音文件夹录音文件夹";
    static constexpr const char *File = "深处.wav";
    std::vector<int> m_fds;
};

TEST(WavFileEncoder, RecordsIntoAFolderDeeperThanAPathCanName)
{
    QTemporaryDir dir;
    DeepFile deep(dir.path().toStdString(), 4200);
    ASSERT_TRUE(deep.ok());
    std::string error;
    auto encoder = startWavFileEncoder(deep.path, PcmFormat{Rate, 2}, &error);
    ASSERT_TRUE(encoder) << error;
    const auto tone = toneSamples(1000, 1.0);
    feed(*encoder, tone, 2, Rate);
    encoder->finish();
    EXPECT_EQ(encoder->errorMessage(), "");
    auto decoded = decodeAudioFile(deep.shortPath(), &error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(*decoded, tone);
}

TEST(WavFileEncoder, FullDiskIsReportedAndKeepsWhatWasWritten)
{
    QTemporaryDir dir;
    const std::string path = tempPath(dir, "full.wav");
    constexpr rlim_t limit = 200000;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit rl{limit, limit};
        setrlimit(RLIMIT_FSIZE, &rl);
        std::string error;
        auto encoder = startWavFileEncoder(path, PcmFormat{Rate, 2}, &error);
        if (!encoder)
            _exit(2);
        feed(*encoder, toneSamples(1000, 3.0), 2, Rate);
        encoder->finish();
        const bool reported = !encoder->isActive() && !encoder->errorMessage().empty();
        _exit(reported ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the full disk was not reported";
    std::string error;
    auto decoded = decodeAudioFile(path, &error);
    ASSERT_TRUE(decoded) << error;
    const size_t frames = decoded->size() / 2;
    EXPECT_GT(frames, (limit - 44) / 4 - 8192); // all but the last, partly written chunk
    EXPECT_LE(frames, (limit - 44) / 4);
}

TEST(WmaWriter, AvailableForTheRatesItEncodes)
{
    EXPECT_TRUE(WmaWriter::available(44100, 2));
    EXPECT_TRUE(WmaWriter::available(22050, 1));
    EXPECT_FALSE(WmaWriter::available(96000, 2));
    EXPECT_FALSE(WmaWriter::available(44100, 6));
    EXPECT_FALSE(WmaWriter::available(0, 2));
}

TEST(WmaWriter, WritesADecodableFile)
{
    QTemporaryDir dir;
    const std::string path = tempPath(dir, "tone.wma");
    std::string error;
    auto writer = WmaWriter::open(PcmFormat{Rate, 2}, 128000, path, &error);
    ASSERT_TRUE(writer) << error;
    const auto tone = toneSamples(1000, ToneSeconds);
    for (size_t pos = 0; pos < tone.size(); pos += 1000) // odd block sizes
        EXPECT_TRUE(
            writer->write(tone.data() + pos, std::min<size_t>(1000, tone.size() - pos) * 2));
    EXPECT_TRUE(writer->close()) << writer->errorMessage();
    EXPECT_FALSE(writer->write(tone.data(), 400));
    expectTone(path, ToneSeconds);
}

TEST(WmaWriter, UnwritablePathFailsAtOnce)
{
    std::string error;
    EXPECT_FALSE(WmaWriter::open(PcmFormat{}, 128000, "/nonexistent-folder/x.wma", &error));
    EXPECT_FALSE(error.empty());
}

// A recording killed in the middle (kill -9 of the recording process) leaves files
// that play all but the last moments of what was recorded, in every format. The
// encoder programs outlive the process: they see the end of their input and finish
// their files, although nobody reads what they still say on standard error.
TEST(Encoders, KilledRecordingLeavesDecodableFiles)
{
    SONALTO_REQUIRE_PROGRAM("lame");
    SONALTO_REQUIRE_PROGRAM("oggenc");
    QTemporaryDir dir;
    const std::string wav = tempPath(dir, "k.wav"), mp3 = tempPath(dir, "k.mp3"),
                      ogg = tempPath(dir, "k.ogg"), wma = tempPath(dir, "k.wma");
    struct Shared
    {
        std::atomic<uint64_t> frames;
        std::atomic<pid_t> programs[2];
    };
    auto *shared = static_cast<Shared *>(
        mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(shared, MAP_FAILED);
    new (shared) Shared{{0}, {{0}, {0}}};
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const PcmFormat format{Rate, 2};
        std::string error;
        auto wavEncoder = startWavFileEncoder(wav, format, &error);
        auto lame = CommandLineEncoder::start({{"lame", "--alt-preset", "cbr", "128", "-", mp3}},
                                              format, true, &error);
        auto oggenc =
            CommandLineEncoder::start({{"oggenc", "-o", ogg, "-"}, ogg}, format, true, &error);
        auto wmaWriter = WmaWriter::open(format, 128000, wma, &error);
        if (!wavEncoder || !lame || !oggenc || !wmaWriter)
            _exit(2);
        shared->programs[0] = lame->processId();
        shared->programs[1] = oggenc->processId();
        const auto tone = toneSamples(1000, 0.05);
        auto next = std::chrono::steady_clock::now();
        for (;;) { // real time, 50 ms blocks, until killed
            for (Encoder *encoder : {wavEncoder.get(), static_cast<Encoder *>(lame.get()),
                                     static_cast<Encoder *>(oggenc.get())})
                encoder->write(tone.data(), tone.size() / 2);
            wmaWriter->write(tone.data(), tone.size() * 2);
            shared->frames += tone.size() / 2;
            next += std::chrono::milliseconds(50);
            std::this_thread::sleep_until(next);
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return shared->frames >= uint64_t(Rate * 5 / 2); }, 10000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    const double written = double(shared->frames.load()) / Rate;
    for (const pid_t program : {shared->programs[0].load(), shared->programs[1].load()}) {
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                std::ifstream stat("/proc/" + std::to_string(program) + "/stat");
                std::string pid, name, state;
                return !(stat >> pid >> name >> state) || state == "Z";
            },
            20000))
            << "encoder " << program << " did not finish";
    }
    munmap(shared, sizeof(Shared));
    for (const std::string &path : {wav, mp3, ogg, wma}) {
        std::string error;
        auto samples = decodeAudioFile(path, &error);
        ASSERT_TRUE(samples) << path << ": " << error;
        const double decoded = double(samples->size() / 2) / Rate;
        EXPECT_GE(decoded, written - 1.0) << path;
        EXPECT_LE(decoded, written + 0.1) << path;
        EXPECT_NEAR(dominantFrequency(*samples, 2, Rate), 1000, 10) << path;
    }
}
