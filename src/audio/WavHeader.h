#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace sonalto::audio {

// Where the audio of a RIFF/RF64 WAV file lies and how long it is, read from its
// chunk headers and the file's size alone (no scan of the audio or of anything
// after it).
struct WavLayout
{
    uint64_t dataOffset = 0; // first byte of the audio
    uint64_t dataBytes = 0;  // audio bytes actually present in the file
    double seconds = 0;
    // Plain PCM or float samples whose header agrees with itself (block size,
    // byte rate): `seconds` is then exactly what decodes. Otherwise (ADPCM and
    // other compressed formats, or fields that contradict each other) it is
    // only what the header claims.
    bool exact = false;
};

// True when the file starts like a RIFF or RF64 WAV file.
bool looksLikeWav(const std::string &path);

// nullopt when the file is not a WAV file or its headers make no sense.
std::optional<WavLayout> readWavLayout(const std::string &path);

} // namespace sonalto::audio
