#include "CodecTestSupport.h"

#include "audio/AudioFileDecoder.h"
#include "audio/Encoders.h"

#include "common/TestSupport.h"

#include <gtest/gtest.h>

#include <iostream>
#include <random>

using namespace sonalto::audio;
using namespace sonalto::test;

namespace {

constexpr int Rate = 44100;

// Damage of the kinds files really get: flipped bits, cut-off ends, stretches
// overwritten with garbage or zeros. Headers get their share: most of the
// decisions are made there.
std::vector<char> mutate(const std::vector<char> &original, std::mt19937 &rng)
{
    std::vector<char> data = original;
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    const size_t headerish = std::min<size_t>(data.size(), 512);
    switch (pick(4)) {
    case 0: // bit flips, half of them in the first bytes
        for (size_t i = 0, n = 1 + pick(16); i < n; ++i) {
            const size_t at = pick(2) ? pick(headerish) : pick(data.size());
            data[at] = char(data[at] ^ (1 << pick(8)));
        }
        break;
    case 1: // truncation
        data.resize(pick(data.size()));
        break;
    case 2: { // random bytes over a stretch
        const size_t at = pick(data.size()), len = std::min(data.size() - at, 1 + pick(256));
        for (size_t i = 0; i < len; ++i)
            data[at + i] = char(pick(256));
        break;
    }
    default: { // zeros over a stretch
        const size_t at = pick(data.size()), len = std::min(data.size() - at, 1 + pick(4096));
        std::fill(data.begin() + long(at), data.begin() + long(at + len), 0);
        break;
    }
    }
    return data;
}

} // namespace

TEST(DecoderFuzz, DamagedFilesNeverCrash)
{
    QTemporaryDir dir;
    // Long enough that the audio, not the headers, makes up most of each file
    // (an OGG's headers alone take 4 KB).
    constexpr double Seconds = 2.0;
    const auto tone = toneSamples(440, Seconds);
    std::vector<std::string> originals;
    const std::string wav = tempPath(dir, "o.wav");
    ASSERT_TRUE(writeWav(wav, tone, 2, Rate));
    originals.push_back(wav);
    std::string error;
    for (const std::string name : {"o.mp3", "o.ogg"}) {
        const std::string path = tempPath(dir, name);
        const std::vector<std::string> arguments =
            name == "o.mp3"
                ? std::vector<std::string>{"lame", "--alt-preset", "cbr", "128", "-", path}
                : std::vector<std::string>{"oggenc", "-o", path, "-"};
        SONALTO_REQUIRE_PROGRAM(arguments.front().c_str());
        auto encoder = startCommandLineEncoder({arguments}, PcmFormat{Rate, 2}, &error);
        ASSERT_TRUE(encoder) << arguments.front() << ": " << error;
        feed(*encoder, tone, 2, Rate);
        encoder->finish();
        ASSERT_EQ(encoder->errorMessage(), "") << arguments.front();
        originals.push_back(path);
    }
    const std::string wma = tempPath(dir, "o.wma");
    auto writer = WmaWriter::open(PcmFormat{Rate, 2}, 128000, wma, &error);
    ASSERT_TRUE(writer) << error;
    writer->write(tone.data(), tone.size() * 2);
    ASSERT_TRUE(writer->close());
    originals.push_back(wma);

    constexpr int CasesPerFormat = 100;
    // A damaged header may claim any length; real audio cannot exceed this.
    constexpr uint64_t MaxFrames = Rate * 60;
    std::mt19937 rng(20240518);
    for (const std::string &original : originals) {
        const std::vector<char> data = readFile(original);
        ASSERT_FALSE(data.empty());
        const std::string ext = original.substr(original.rfind('.'));
        auto intact = decodeAudioFile(original, &error);
        ASSERT_TRUE(intact) << original << ": " << error;
        EXPECT_NEAR(double(intact->size() / 2) / Rate, Seconds, 0.05) << original;
        int opened = 0, probed = 0;
        uint64_t frames = 0;
        for (int i = 0; i < CasesPerFormat; ++i) {
            const std::string path = tempPath(dir, "case" + ext);
            writeFile(path, mutate(data, rng));
            probed += probeDurationSeconds(path).has_value() ? 1 : 0;
            if (auto samples = decodeAudioFile(path, &error, MaxFrames)) {
                ++opened;
                frames += samples->size() / 2;
                EXPECT_LE(samples->size() / 2, MaxFrames);
            }
        }
        std::cout << "[ fuzz     ] " << ext << ": " << CasesPerFormat << " damaged files, "
                  << probed << " probed, " << opened << " opened, average "
                  << double(frames) / Rate / std::max(opened, 1) << " s decoded (of " << Seconds
                  << " s)\n";
    }
}

TEST(DecoderFuzz, TruncatedWavDecodesUpToTheCut)
{
    QTemporaryDir dir;
    const std::string wav = tempPath(dir, "t.wav");
    const auto tone = toneSamples(440, 0.5);
    ASSERT_TRUE(writeWav(wav, tone, 2, Rate));
    std::vector<char> data = readFile(wav);
    for (size_t cut : {size_t(44 + 4 * 1000), size_t(44 + 4 * 5000 + 3)}) {
        writeFile(wav, std::vector<char>(data.begin(), data.begin() + long(cut)));
        std::string error;
        auto samples = decodeAudioFile(wav, &error);
        ASSERT_TRUE(samples) << error;
        EXPECT_EQ(samples->size(), (cut - 44) / 4 * 2);
        EXPECT_TRUE(std::equal(samples->begin(), samples->end(), tone.begin()));
    }
}
