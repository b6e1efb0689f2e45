// Captures one input through our audio layer into a WAV file or through lame into
// an MP3 file until interrupted (SIGINT/SIGTERM), then finishes the file. Its CPU
// time is measured from outside (bench/cpu_of.py) and compared with parecord.
//
//   bench_capture_cpu wav|mp3 INPUT-WORD OUTPUT-PATH
//   bench_capture_cpu lame-command OUTPUT-PATH   (prints the lame arguments used, one a line)
#include "audio/AudioEngine.h"
#include "audio/Encoders.h"
#include "recording/EncoderCommands.h"

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

using namespace sonalto;

namespace {
// When the first block arrived (steady clock ticks), for the start-up delay.
std::atomic<long long> firstBlock{0};

// The command the program itself uses for MP3 with its default settings (VBR,
// 32 kHz output).
audio::EncoderProgram lameProgram(const std::string &path)
{
    return {recording::argumentVector(recording::lameCommand(
        QStringLiteral("lame"), QString::fromStdString(path), settings::Mp3Settings{}, 32000))};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "lame-command") == 0) {
        // One argument per line: a shell script takes them as they are, never splits them.
        for (const std::string &arg : lameProgram(argv[2]).arguments)
            std::printf("%s\n", arg.c_str());
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s wav|mp3 INPUT-WORD OUTPUT-PATH\n", argv[0]);
        return 2;
    }
    const bool mp3 = std::strcmp(argv[1], "mp3") == 0;
    const std::string word = argv[2];
    const std::string path = argv[3];

    // Blocked before any thread starts, so only sigwait below receives them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    audio::AudioEngine engine(audio::AudioEngine::createSystemBackend());
    std::string error;
    if (!engine.start(&error)) {
        std::fprintf(stderr, "engine: %s\n", error.c_str());
        return 1;
    }
    bool found = false;
    for (int d = 0; d < int(engine.captureDevices().size()) && !found; ++d) {
        engine.selectDevice(d);
        for (int i = 0; i < engine.inputCount() && !found; ++i) {
            if (engine.input(i)->name.find(word) != std::string::npos)
                found = engine.switchOnInput(i);
        }
    }
    if (!found) {
        std::fprintf(stderr, "no input named like \"%s\"\n", word.c_str());
        return 1;
    }

    const audio::PcmFormat format{44100, 2};
    auto channelRef = std::make_shared<std::atomic<audio::CaptureChannel *>>(nullptr);
    auto channel = engine.startCapture(
        format, true,
        [channelRef](const int16_t *, size_t) {
            if (firstBlock.load() == 0)
                firstBlock = std::chrono::steady_clock::now().time_since_epoch().count();
            audio::CaptureChannel *c = channelRef->load();
            return c == nullptr || c->encodersActive();
        },
        &error);
    if (!channel) {
        std::fprintf(stderr, "capture: %s\n", error.c_str());
        return 1;
    }
    channelRef->store(channel.get());
    auto encoder = mp3 ? audio::startCommandLineEncoder(lameProgram(path), format, &error)
                       : audio::startWavFileEncoder(path, format, &error);
    if (!encoder) {
        std::fprintf(stderr, "encoder: %s\n", error.c_str());
        return 1;
    }
    channel->attachEncoder(std::move(encoder));
    channel->play();
    const auto started = std::chrono::steady_clock::now();

    int signal = 0;
    sigwait(&stopSignals, &signal);
    channel->stop();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const uint64_t frames = channel->capturedFrames();
    channel.reset(); // finishes the encoder and waits for lame
    const double firstDelay =
        firstBlock.load() == 0 ? -1.0
                               : std::chrono::duration<double>(
                                     std::chrono::steady_clock::time_point(
                                         std::chrono::steady_clock::duration(firstBlock.load())) -
                                     started)
                                     .count();
    std::printf("captured_s=%.3f recorded_wall_s=%.3f first_block_after_s=%.3f\n",
                double(frames) / format.rate, wall, firstDelay);
    return 0;
}
