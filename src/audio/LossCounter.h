#pragma once

#include "audio/AudioTypes.h"

#include <atomic>
#include <cstdint>

namespace sonalto::audio {

// Counts lost audio. The audio threads add without locks; any thread reads.
class LossCounter
{
public:
    // A new event of `kind` losing `frames` frames.
    void addEvent(LossKind kind, uint64_t frames)
    {
        m_events[int(kind)].fetch_add(1, std::memory_order_relaxed);
        m_frames[int(kind)].fetch_add(frames, std::memory_order_relaxed);
    }
    // More frames lost by the event counted last.
    void addFrames(LossKind kind, uint64_t frames)
    {
        m_frames[int(kind)].fetch_add(frames, std::memory_order_relaxed);
    }
    AudioLoss snapshot() const
    {
        AudioLoss loss;
        for (int i = 0; i < LossKindCount; ++i) {
            loss.events[i] = m_events[i].load(std::memory_order_relaxed);
            loss.frames[i] = m_frames[i].load(std::memory_order_relaxed);
        }
        return loss;
    }

private:
    std::atomic<uint64_t> m_events[LossKindCount] = {};
    std::atomic<uint64_t> m_frames[LossKindCount] = {};
};

} // namespace sonalto::audio
