// Files whose container states a length other than what they hold: the length
// listed and the length played are what decodes.
#include "CodecTestSupport.h"

#include "audio/AudioFileDecoder.h"
#include "audio/Encoders.h"
#include "audio/PlaybackStream.h"
#include "library/DurationProber.h"

#include "common/TestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

#include <fcntl.h>

#include <sndfile.h>

#include <cstring>
#include <functional>
#include <map>

using namespace sonalto::audio;
using namespace sonalto::test;

namespace {

constexpr int Rate = 44100;

// A tone through a command-line encoder writing `path`; the file's bytes.
std::vector<char> encoded(const std::vector<std::string> &program, const std::string &path,
                          double frequency, double seconds, PcmFormat format = {Rate, 2})
{
    std::string error;
    auto encoder = startCommandLineEncoder({program}, format, &error);
    EXPECT_TRUE(encoder) << program.front() << ": " << error;
    if (encoder) {
        feed(*encoder, toneSamples(frequency, seconds, format), format.channels, format.rate);
        encoder->finish();
    }
    return readFile(path);
}

// MS-ADPCM with the byte rate FFmpeg's WAV writer leaves (its default bit rate
// / 8): 8.45 s for 3.01 s.
std::vector<char> adpcmWav(const std::string &path)
{
    SF_INFO info{0, Rate, 2, SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 0, 0};
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    SNDFILE *file = sf_open_fd(fd, SFM_WRITE, &info, 1);
    EXPECT_TRUE(file);
    const auto tone = toneSamples(440, 3.01);
    sf_writef_short(file, tone.data(), sf_count_t(tone.size() / 2));
    sf_close(file);
    auto wav = readFile(path);
    const uint32_t byteRate = 16000;
    std::memcpy(wav.data() + 28, &byteRate, 4);
    return wav;
}

std::vector<char> operator+(std::vector<char> a, const std::vector<char> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<char> cut(const std::vector<char> &data, size_t tenths)
{
    return {data.begin(), data.begin() + long(data.size() * tenths / 10)};
}

// The MP3 with the frame count of its Info/Xing tag changed.
std::vector<char> withFrameCount(std::vector<char> mp3, const std::function<uint32_t(uint32_t)> &f)
{
    size_t at = 0;
    while (at < 64 && std::memcmp(&mp3[at], "Info", 4) != 0 && std::memcmp(&mp3[at], "Xing", 4))
        ++at;
    EXPECT_LT(at, 64u);
    auto *count = reinterpret_cast<unsigned char *>(&mp3[at + 8]);
    const uint32_t frames = f(uint32_t(count[0]) << 24 | count[1] << 16 | count[2] << 8 | count[3]);
    for (int i = 0; i < 4; ++i)
        count[i] = (unsigned char)(frames >> (24 - 8 * i));
    return mp3;
}

double decodedSeconds(const std::string &path)
{
    const auto samples = decodeAudioFile(path, nullptr);
    return samples ? double(samples->size() / 2) / Rate : -1;
}

// Plays to the end (at four times real time); how long what was heard lasts.
double playToEnd(PlaybackStream &stream, FakeBackend &backend)
{
    EXPECT_TRUE(stream.play());
    uint64_t highest = 0;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            highest = std::max(highest, stream.positionBytes());
            return stream.state() == ActiveState::Stopped;
        },
        20000));
    EXPECT_LE(highest, stream.lengthBytes()); // the clock never runs past the length
    EXPECT_EQ(stream.positionBytes(), stream.lengthBytes());
    return double(backend.lastStream->received().size() / 2) / Rate;
}

class ContainerLength : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        SONALTO_REQUIRE_PROGRAM("lame");
        SONALTO_REQUIRE_PROGRAM("oggenc");
        s_dir = new QTemporaryDir;
        const auto path = [](const std::string &name) { return tempPath(*s_dir, name); };
        const auto ogg = [&](double frequency, double seconds, PcmFormat format) {
            return encoded({"oggenc", "-Q", "-o", path("part.ogg"), "-"}, path("part.ogg"),
                           frequency, seconds, format);
        };
        const auto mp3 = [&](const char *mode, const char *value) {
            return encoded({"lame", "--silent", mode, value, "-", path("part.mp3")},
                           path("part.mp3"), 440, 2.9);
        };
        const auto first = ogg(440, 2.5, {Rate, 2});
        const auto cbr = mp3("-b", "128"), vbr = mp3("-V", "4");
        const std::map<std::string, std::vector<char>> files = {
            {"single.ogg", first},
            // Two encodings one after the other, the second also at another
            // rate and channel count.
            {"chained.ogg", first + ogg(660, 4.4, {Rate, 2})},
            {"chained-rates.ogg", first + ogg(660, 4.4, {22050, 1})},
            {"adpcm.wav", adpcmWav(path("part.wav"))},
            {"vbr.mp3", vbr},
            {"info-count-high.mp3", withFrameCount(cbr, [](uint32_t) { return 1000000; })},
            {"xing-count-low.mp3", withFrameCount(vbr, [](uint32_t n) { return n / 3; })},
            // Damage as files get it.
            {"flipped-count-bit.mp3", withFrameCount(vbr, [](uint32_t n) { return n ^ 1 << 22; })},
            {"cut-at-6-tenths.mp3", cut(cbr, 6)},
            {"cut-at-3-tenths.mp3", cut(vbr, 3)},
            {"appended.mp3", vbr + cbr},
        };
        for (const auto &[name, data] : files) {
            writeFile(path(name), data);
            s_paths << QString::fromStdString(path(name));
        }
    }
    static void TearDownTestSuite() { delete s_dir; }

    static std::string file(const char *name) { return tempPath(*s_dir, name); }

    static inline QTemporaryDir *s_dir = nullptr;
    static inline QStringList s_paths;
};

} // namespace

TEST_F(ContainerLength, ListedLengthIsWhatDecodes)
{
    sonalto::library::DurationProber prober;
    std::map<QString, double> listed;
    QObject::connect(&prober, &sonalto::library::DurationProber::durationsFound,
                     [&](const QList<sonalto::library::ProbedDuration> &lengths) {
                         for (const auto &length : lengths)
                             listed[length.path] = length.known ? length.seconds : -1;
                     });
    prober.probe(s_paths);
    ASSERT_TRUE(QTest::qWaitFor([&] { return prober.pending() == 0; }, 30000));
    for (const QString &path : s_paths) {
        const double decoded = decodedSeconds(path.toStdString());
        EXPECT_GT(decoded, 0.5) << path.toStdString();
        EXPECT_NEAR(listed[path], decoded, 0.5) << path.toStdString();
    }
}

TEST_F(ContainerLength, PlaybackLastsWhatDecodesAndSeeksIntoLaterParts)
{
    for (const char *name : {"chained-rates.ogg", "info-count-high.mp3"}) {
        FakeBackend backend(4.0);
        std::string error;
        auto stream = PlaybackStream::open(backend, file(name), &error);
        ASSERT_TRUE(stream) << error;
        const double decoded = decodedSeconds(file(name));
        EXPECT_NEAR(stream->bytesToSeconds(stream->lengthBytes()), decoded, 0.5) << name;
        EXPECT_NEAR(playToEnd(*stream, backend), decoded, 0.1) << name;
    }

    // A position in the second part is found although its time starts again,
    // and going back starts over from the first part.
    FakeBackend backend(4.0);
    std::string error;
    auto stream = PlaybackStream::open(backend, file("chained.ogg"), &error);
    ASSERT_TRUE(stream) << error;
    ASSERT_TRUE(stream->setPositionBytes(stream->secondsToBytes(5.0)));
    EXPECT_NEAR(playToEnd(*stream, backend), decodedSeconds(file("chained.ogg")) - 5.0, 0.1);
    auto heard = backend.lastStream->received();
    EXPECT_NEAR(dominantFrequency({heard.begin(), heard.begin() + Rate}, 2, Rate), 660, 10);
    backend.lastStream->clearReceived();
    ASSERT_TRUE(stream->setPositionBytes(stream->secondsToBytes(1.0)));
    ASSERT_TRUE(stream->play());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return backend.lastStream->received().size() > Rate; }, 9000));
    heard = backend.lastStream->received();
    EXPECT_NEAR(dominantFrequency({heard.begin(), heard.begin() + Rate}, 2, Rate), 440, 10);
}
