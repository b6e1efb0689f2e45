#include "CodecTestSupport.h"

#include "audio/AudioFileDecoder.h"
#include "audio/Encoders.h"
#include "audio/PlaybackStream.h"
#include "audio/PulseBackend.h"

#include "common/TestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>

#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

using namespace sonalto::audio;
using namespace sonalto::test;

namespace {

constexpr int Rate = 44100;
constexpr uint64_t BytesPerSecond = Rate * 4;

// Each frame carries its own index: left the low 15 bits, right the rest.
std::vector<int16_t> indexedAudio(size_t frames)
{
    std::vector<int16_t> samples(frames * 2);
    for (size_t f = 0; f < frames; ++f) {
        samples[2 * f] = int16_t(f & 0x7fff);
        samples[2 * f + 1] = int16_t(f >> 15);
    }
    return samples;
}

int64_t frameIndex(const std::vector<int16_t> &samples, size_t frame)
{
    return int64_t(samples[2 * frame]) | (int64_t(samples[2 * frame + 1]) << 15);
}

class PlaybackStreamTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_indexed = tempPath(m_dir, "indexed.wav");
        ASSERT_TRUE(writeWav(m_indexed, indexedAudio(Rate * 2), 2, Rate));
    }

    QTemporaryDir m_dir;
    std::string m_indexed;
};

} // namespace

TEST_F(PlaybackStreamTest, NotAudioFailsToOpen)
{
    FakeBackend backend;
    std::string error;
    const std::string text = tempPath(m_dir, "notes.mp3");
    std::ofstream(text) << "These are notes, not audio.\n";
    EXPECT_FALSE(PlaybackStream::open(backend, text, &error));
    EXPECT_FALSE(error.empty());
    const std::string empty = tempPath(m_dir, "empty.wav");
    std::ofstream(empty).flush();
    EXPECT_FALSE(PlaybackStream::open(backend, empty, &error));
    EXPECT_FALSE(PlaybackStream::open(backend, tempPath(m_dir, "missing.ogg"), &error));
    EXPECT_EQ(backend.lastStream, nullptr);
}

TEST_F(PlaybackStreamTest, LengthAndConversions)
{
    FakeBackend backend;
    std::string error;
    auto stream = PlaybackStream::open(backend, m_indexed, &error);
    ASSERT_TRUE(stream) << error;
    EXPECT_EQ(stream->lengthBytes(), 2 * BytesPerSecond);
    EXPECT_EQ(stream->state(), ActiveState::Stopped);
    EXPECT_EQ(stream->positionBytes(), 0u);
    EXPECT_DOUBLE_EQ(stream->bytesToSeconds(BytesPerSecond / 2), 0.5);
    EXPECT_EQ(stream->secondsToBytes(1.5), BytesPerSecond * 3 / 2);
    EXPECT_EQ(stream->secondsToBytes(1.0 / 3) % 4, 0u); // whole frames
    EXPECT_FALSE(stream->setPositionBytes(3 * BytesPerSecond));
}

TEST_F(PlaybackStreamTest, PlaysPausesSeeksAndEnds)
{
    FakeBackend backend(2.0);
    std::string error;
    auto stream = PlaybackStream::open(backend, m_indexed, &error);
    ASSERT_TRUE(stream) << error;
    FakePlaybackStream *raw = backend.lastStream;
    ASSERT_TRUE(raw);

    stream->setVolume(0.25f);
    EXPECT_FLOAT_EQ(raw->volume(), 0.25f);

    ASSERT_TRUE(stream->play());
    EXPECT_EQ(stream->state(), ActiveState::Playing);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return stream->positionBytes() >= BytesPerSecond / 4; }, 10000));

    ASSERT_TRUE(stream->pause());
    EXPECT_EQ(stream->state(), ActiveState::Paused);
    const uint64_t paused = stream->positionBytes();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(stream->positionBytes(), paused);
    EXPECT_EQ(paused % 4, 0u);

    // The audio so far is the file's from its first frame, without a gap.
    auto got = raw->received();
    ASSERT_GE(got.size() / 2, paused / 4);
    for (size_t f = 0; f < got.size() / 2; ++f)
        ASSERT_EQ(frameIndex(got, f), int64_t(f));

    // Seeking while paused: the next frame heard is the one asked for.
    raw->clearReceived();
    ASSERT_TRUE(stream->setPositionBytes(BytesPerSecond));
    EXPECT_EQ(stream->positionBytes(), BytesPerSecond);
    ASSERT_TRUE(stream->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return raw->received().size() > 1000; }, 10000));
    got = raw->received();
    EXPECT_EQ(frameIndex(got, 0), Rate);
    EXPECT_EQ(frameIndex(got, 499), Rate + 499);

    // Seeking while playing.
    ASSERT_TRUE(stream->setPositionBytes(BytesPerSecond * 3 / 2));
    raw->clearReceived();
    EXPECT_GE(stream->positionBytes(), BytesPerSecond * 3 / 2);
    ASSERT_TRUE(QTest::qWaitFor([&] { return stream->state() == ActiveState::Stopped; }, 10000));
    got = raw->received();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(frameIndex(got, got.size() / 2 - 1), 2 * Rate - 1); // played to the last frame
    EXPECT_EQ(stream->positionBytes(), stream->lengthBytes());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !raw->running(); }, 10000)); // the output rests

    // Playing again after the end starts over.
    raw->clearReceived();
    ASSERT_TRUE(stream->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return raw->received().size() > 100; }, 10000));
    EXPECT_EQ(frameIndex(raw->received(), 0), 0);
    stream->stop();
    EXPECT_EQ(stream->state(), ActiveState::Stopped);
    EXPECT_FALSE(stream->pause());
}

TEST_F(PlaybackStreamTest, SpectrumFollowsWhatIsPlayed)
{
    const std::string tone = tempPath(m_dir, "tone.wav");
    ASSERT_TRUE(writeWav(tone, toneSamples(1000, 1.0, {Rate, 2}, 1.0), 2, Rate));
    FakeBackend backend;
    std::string error;
    auto stream = PlaybackStream::open(backend, tone, &error);
    ASSERT_TRUE(stream) << error;
    float bins[512];
    EXPECT_FALSE(stream->spectrum(bins)); // nothing played yet
    ASSERT_TRUE(stream->play());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stream->spectrum(bins); }, 10000));
    EXPECT_EQ(std::max_element(bins, bins + 512) - bins, 23);
    EXPECT_NEAR(bins[23], 0.48f, 0.02f);
}

// Every format through the real server: play into the "Speakers" null sink and
// record its monitor back.
TEST(PlaybackStreamPulse, EachFormatArrivesAtTheOutput)
{
    SONALTO_REQUIRE_PULSE();
    QTemporaryDir dir;
    const double seconds = 1.5;
    const auto tone = toneSamples(1000, seconds);
    std::vector<std::string> files;
    const std::string wav = tempPath(dir, "t.wav");
    ASSERT_TRUE(writeWav(wav, tone, 2, Rate));
    files.push_back(wav);
    std::string error;
    for (const std::string ext : {"mp3", "ogg"}) {
        const std::string path = tempPath(dir, "t." + ext);
        const EncoderProgram program{ext == "mp3"
                                         ? std::vector<std::string>{"lame", "-b", "128", "-", path}
                                         : std::vector<std::string>{"oggenc", "-o", path, "-"}};
        auto encoder = startCommandLineEncoder(program, PcmFormat{Rate, 2}, &error);
        if (!encoder)
            continue; // encoder not installed: covered by the encoder tests
        feed(*encoder, tone, 2, Rate);
        encoder->finish();
        files.push_back(path);
    }
    const std::string wma = tempPath(dir, "t.wma");
    auto writer = WmaWriter::open(PcmFormat{Rate, 2}, 128000, wma, &error);
    ASSERT_TRUE(writer) << error;
    writer->write(tone.data(), tone.size() * 2);
    ASSERT_TRUE(writer->close());
    files.push_back(wma);

    PulseBackend backend;
    ASSERT_TRUE(backend.connect(&error)) << error;
    for (const std::string &path : files) {
        QProcess recorder;
        recorder.start("parec", {"--device=sonalto_out.monitor", "--format=s16le", "--rate=44100",
                                 "--channels=2", "--latency-msec=20"});
        ASSERT_TRUE(recorder.waitForStarted());
        QByteArray recorded;
        auto collect = [&] {
            recorder.waitForReadyRead(10);
            recorded += recorder.readAllStandardOutput();
        };
        // The monitor of an idle sink takes a while to deliver its first data.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                collect();
                return !recorded.isEmpty();
            },
            10000));
        auto stream = PlaybackStream::open(backend, path, &error);
        ASSERT_TRUE(stream) << path << ": " << error;
        ASSERT_TRUE(stream->play());
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                collect();
                return stream->state() == ActiveState::Stopped;
            },
            10000));
        const auto settle = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (std::chrono::steady_clock::now() < settle)
            collect();
        recorder.terminate();
        recorder.waitForFinished();
        recorded += recorder.readAllStandardOutput();

        std::vector<int16_t> samples(size_t(recorded.size()) / 2);
        std::memcpy(samples.data(), recorded.data(), samples.size() * 2);
        size_t loud = 0;
        for (size_t f = 0; f < samples.size() / 2; ++f)
            loud += std::abs(samples[2 * f]) > 1000 ? 1 : 0;
        // A sine at half scale is above 1000 in ~96 % of its frames.
        EXPECT_NEAR(double(loud) / Rate, seconds * 0.96, 0.1) << path;
        size_t first = 0;
        while (first < samples.size() / 2 && std::abs(samples[2 * first]) <= 1000)
            ++first;
        const size_t end = std::min(samples.size(), 2 * (first + Rate / 2));
        const std::vector<int16_t> heard(samples.begin() + long(std::min(2 * first, end)),
                                         samples.begin() + long(end));
        EXPECT_NEAR(dominantFrequency(heard, 2, Rate), 1000, 10) << path;
    }
}
