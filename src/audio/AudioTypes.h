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

// Ways audio goes missing between the sound card and the file.
enum class LossKind : int {
    Hole = 0,     // the capture delivered a gap (a hole in the server's data, a suspended source)
    Overrun = 1,  // audio was dropped before it reached the program
    Overflow = 2, // the buffer in front of an encoder was full
};
constexpr int LossKindCount = 3;

// How much audio a capture or an encoder lost: per kind, how many times and how
// many frames. A recording replaces lost audio with silence, so these frames are
// silent in the file rather than missing from it.
struct AudioLoss
{
    uint64_t events[LossKindCount] = {};
    uint64_t frames[LossKindCount] = {};

    uint64_t eventCount(LossKind kind) const { return events[int(kind)]; }
    uint64_t frameCount(LossKind kind) const { return frames[int(kind)]; }
    uint64_t totalEvents() const { return events[0] + events[1] + events[2]; }
    uint64_t totalFrames() const { return frames[0] + frames[1] + frames[2]; }
    bool any() const { return totalEvents() > 0; }
    AudioLoss &operator+=(const AudioLoss &other)
    {
        for (int i = 0; i < LossKindCount; ++i) {
            events[i] += other.events[i];
            frames[i] += other.frames[i];
        }
        return *this;
    }
    bool operator==(const AudioLoss &) const = default;
};

} // namespace sonalto::audio
