#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonalto::audio {

// State of a capture channel or a playback stream.
enum class ActiveState : int { Stopped = 0, Playing = 1, Paused = 3 };

// Input kinds, kept in the top 8 bits of an input's flags.
constexpr uint32_t InputTypeMask = 0xFF000000u;
constexpr uint32_t InputTypeUndefined = 0x00000000u;
constexpr uint32_t InputTypeDigital = 0x01000000u;
constexpr uint32_t InputTypeLine = 0x02000000u;
constexpr uint32_t InputTypeMicrophone = 0x03000000u;
constexpr uint32_t InputTypeOutputMix = 0x08000000u; // what the sound card plays
constexpr uint32_t InputTypeAnalog = 0x0A000000u;

struct DeviceInfo
{
    std::string name;
    bool enabled = true;
    std::vector<std::string> inputNames;
};

struct InputInfo
{
    std::string name;
    uint32_t flags = 0; // type in the top 8 bits
    float volume = 0.f; // 0..1
};

// Sample format used everywhere between the layer and the program: 16-bit
// signed interleaved samples.
struct PcmFormat
{
    int rate = 44100;
    int channels = 2;
    int bytesPerFrame() const { return channels * 2; }
};

} // namespace sonalto::audio
