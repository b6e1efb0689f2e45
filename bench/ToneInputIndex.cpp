// Prints "DEVICE INPUT": where the session's sine source appears in the program's
// device and input lists (the RecordDevice and InputChannel settings), so that a
// benchmark can start the real program on it.
#include "audio/AudioEngine.h"

#include <cstdio>
#include <string>

using namespace sonalto::audio;

int main()
{
    AudioEngine engine(AudioEngine::createSystemBackend());
    std::string error;
    if (!engine.start(&error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    int listed = 0; // the program's list leaves out disabled devices
    const auto devices = engine.captureDevices();
    for (int d = 0; d < int(devices.size()); ++d) {
        if (!devices[size_t(d)].enabled)
            continue;
        engine.selectDevice(d);
        for (int i = 0; i < engine.inputCount(); ++i) {
            const std::string name = engine.input(i)->name;
            if (name.find("sonalto_tone") != std::string::npos ||
                name.find("Sine") != std::string::npos || name.find("sine") != std::string::npos) {
                std::printf("%d %d\n", listed, i);
                return 0;
            }
        }
        ++listed;
    }
    std::fprintf(stderr, "no sine input\n");
    return 1;
}
