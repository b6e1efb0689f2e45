// Time to read the duration of a file, per format, over a few hundred files of
// each made in a temporary folder. Compared with a full decode of the same
// files, the cost the probe avoids.
#include "audio/AudioFileDecoder.h"
#include "audio/Encoders.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <unistd.h>
#include <vector>

using namespace sonalto::audio;
namespace fs = std::filesystem;

namespace {

constexpr int Rate = 44100;

std::vector<int16_t> tone(double seconds)
{
    std::vector<int16_t> s(size_t(seconds * Rate) * 2);
    for (size_t f = 0; f < s.size() / 2; ++f)
        s[2 * f] = s[2 * f + 1] =
            int16_t(12000 * std::sin(2 * std::numbers::pi * 440 * double(f) / Rate));
    return s;
}

bool makeFile(const std::string &path, const std::string &ext, const std::vector<int16_t> &audio)
{
    std::string error;
    const PcmFormat format{Rate, 2};
    if (ext == "wma") {
        auto w = WmaWriter::open(format, 128000, path, &error);
        return w && w->write(audio.data(), audio.size() * 2) && w->close();
    }
    std::unique_ptr<Encoder> e;
    if (ext == "wav")
        e = startWavFileEncoder(path, format, &error);
    else if (ext == "mp3")
        e = startCommandLineEncoder({{"lame", "--silent", "-V", "4", "-", path}}, format, &error);
    else
        e = startCommandLineEncoder({{"oggenc", "-Q", "-o", path, "-"}}, format, &error);
    if (!e)
        return false;
    e->write(audio.data(), audio.size() / 2);
    e->finish();
    return e->errorMessage().empty();
}

double msPerFile(const std::vector<std::string> &files,
                 const std::function<void(const std::string &)> &f)
{
    const auto start = std::chrono::steady_clock::now();
    for (const auto &path : files)
        f(path);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() / double(files.size());
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 300;
    const fs::path dir =
        fs::temp_directory_path() / ("sonalto-probe-bench-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const auto audio = tone(3.0);
    std::printf("%d files of 3 s per format\n", count);
    std::printf("%-5s %12s %14s %12s\n", "fmt", "probe ms", "decode ms", "ratio");
    for (const std::string ext : {"wav", "mp3", "ogg", "wma"}) {
        // Encode one file and copy it: the probe's cost does not depend on the
        // audio, and encoding hundreds would dominate the run.
        const std::string first = (dir / ("0." + ext)).string();
        if (!makeFile(first, ext, audio)) {
            std::printf("%-5s could not be written (encoder missing?)\n", ext.c_str());
            continue;
        }
        std::vector<std::string> files{first};
        for (int i = 1; i < count; ++i) {
            const std::string path = (dir / (std::to_string(i) + "." + ext)).string();
            fs::copy_file(first, path, fs::copy_options::overwrite_existing);
            files.push_back(path);
        }
        int failures = 0;
        double sum = 0;
        msPerFile(files, [](const std::string &p) { probeDurationSeconds(p); }); // warm the cache
        const double probe = msPerFile(files, [&](const std::string &p) {
            const auto d = probeDurationSeconds(p);
            failures += d ? 0 : 1;
            sum += d.value_or(0);
        });
        const std::vector<std::string> few(files.begin(),
                                           files.begin() + std::min<size_t>(files.size(), 20));
        const double decode =
            msPerFile(few, [](const std::string &p) { decodeAudioFile(p, nullptr); });
        std::printf("%-5s %12.3f %14.3f %11.0fx   (mean duration %.3f s, %d failed)\n", ext.c_str(),
                    probe, decode, decode / probe, sum / double(files.size()), failures);
    }
    fs::remove_all(dir);
    return 0;
}
