#include "recording/InputLevelMeter.h"

#include <algorithm>
#include <cmath>

namespace sonalto::recording {

double InputLevelMeter::toDb(int peak)
{
    if (peak <= 0)
        return FloorDb;
    const double db = 20.0 * std::log10(double(peak) / audio::PeakTracker::FullScale);
    return std::clamp(db, FloorDb, 0.0);
}

void InputLevelMeter::update(const audio::PeakReading &reading, int64_t nowMs)
{
    m_channels = std::clamp(reading.channels, 1, Max);
    for (int c = 0; c < m_channels; ++c) {
        const double db = toDb(reading.peak[c]);
        m_level[c] = db;
        if (db >= m_held[c] || nowMs - m_heldAt[c] >= HoldMs) {
            m_held[c] = db;
            m_heldAt[c] = nowMs;
        }
    }
    m_clipped = m_clipped || reading.clipped;
}

void InputLevelMeter::clear()
{
    for (int c = 0; c < Max; ++c)
        m_level[c] = m_held[c] = FloorDb;
}

double InputLevelMeter::levelDb(int channel) const
{
    return channel >= 0 && channel < m_channels ? m_level[channel] : FloorDb;
}

double InputLevelMeter::heldDb(int channel) const
{
    return channel >= 0 && channel < m_channels ? m_held[channel] : FloorDb;
}

int InputLevelMeter::valueDb() const
{
    double loudest = FloorDb;
    for (int c = 0; c < m_channels; ++c)
        loudest = std::max(loudest, m_held[c]);
    return int(std::lround(loudest));
}

} // namespace sonalto::recording
