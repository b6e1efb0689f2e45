#pragma once

#include "audio/PeakTracker.h"

#include <cstdint>

namespace sonalto::recording {

// What the input level meter shows, from the peaks the capture collects: the
// newest peak of each channel in dBFS, a held peak that falls back to the
// current level once it is older than HoldMs, and a clip warning that stays
// lit until cleared.
class InputLevelMeter
{
public:
    static constexpr double FloorDb = -60.0; // silence and anything quieter
    static constexpr int64_t HoldMs = 1500;

    // 0 dBFS is full scale (32767); never below FloorDb.
    static double toDb(int peak);

    // One reading of the capture at `nowMs` (any steady clock).
    void update(const audio::PeakReading &reading, int64_t nowMs);
    // No input: every level at the floor (the clip warning stays as it is).
    void clear();

    int channels() const { return m_channels; }
    double levelDb(int channel) const;
    double heldDb(int channel) const;
    // The held peak of the loudest channel in whole dB, FloorDb..0.
    int valueDb() const;

    bool clipped() const { return m_clipped; }
    void clearClip() { m_clipped = false; }

private:
    static constexpr int Max = audio::PeakReading::MaxChannels;
    int m_channels = 2;
    double m_level[Max] = {FloorDb, FloorDb};
    double m_held[Max] = {FloorDb, FloorDb};
    int64_t m_heldAt[Max] = {};
    bool m_clipped = false;
};

} // namespace sonalto::recording
