// Prints "DEVICE INPUT": where an input of the session appears in the program's
// device and input lists (the RecordDevice and InputChannel settings), so that a
// benchmark can start the real program on it. The input is the first whose name
// holds one of the words given (any letter case), by default the sine source.
//
//     bench_tone_input [WORD...]
#include "audio/AudioEngine.h"

#include <QString>

#include <cstdio>
#include <string>
#include <vector>

using namespace sonalto::audio;

int main(int argc, char **argv)
{
    std::vector<std::string> words(argv + 1, argv + argc);
    if (words.empty())
        words = {"sonalto_tone", "sine"};
    AudioEngine engine(AudioEngine::createSystemBackend());
    std::string error;
    if (!engine.start(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // An input named exactly so comes first ("LineIn", not "LineInFeed").
    for (const bool exact : {true, false}) {
        int listed = 0; // the program's list leaves out disabled devices
        const auto devices = engine.captureDevices();
        for (int d = 0; d < int(devices.size()); ++d) {
            if (!devices[size_t(d)].enabled)
                continue;
            engine.selectDevice(d);
            for (int i = 0; i < engine.inputCount(); ++i) {
                const QString name = QString::fromStdString(engine.input(i)->name);
                for (const std::string &word : words) {
                    const QString w = QString::fromStdString(word);
                    if (exact ? name.compare(w, Qt::CaseInsensitive) == 0
                              : name.contains(w, Qt::CaseInsensitive)) {
                        std::printf("%d %d\n", listed, i);
                        return 0;
                    }
                }
            }
            ++listed;
        }
    }
    std::fprintf(stderr, "no input named %s\n", words.front().c_str());
    return 1;
}
