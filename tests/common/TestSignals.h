#pragma once

#include "audio/AudioTypes.h"
#include "audio/VirtualBackend.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sonalto::test {

// Test signals and their analysis, shared by every test folder.

// One 16-bit sample of a sine at `amplitude` of full scale (0..1).
int16_t sineSample(double frequency, uint64_t frame, int rate, double amplitude);

// A sine input for the virtual backend, the same on every channel.
audio::SampleGenerator sineGenerator(double frequency, double amplitude = 0.5);

// Interleaved 16-bit samples of a sine, the same on every channel.
std::vector<int16_t> toneSamples(double frequency, double seconds,
                                 audio::PcmFormat format = {44100, 2}, double amplitude = 0.5);

// Frequency of the strongest component of the first channel around the middle of
// the audio (our spectrum analyser's FFT averaged over up to 16 transforms,
// interpolated between elements); 0 when shorter than one transform.
double dominantFrequency(const std::vector<int16_t> &interleaved, int channels, int rate);

// Watches this thread's event loop while it runs: a 10 ms timer notes the longest
// time between two of its ticks, which is how long events had to wait.
class EventGapWatch
{
public:
    EventGapWatch()
    {
        m_clock.start();
        m_tick.setInterval(10);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, m_clock.elapsed() - m_last);
            m_last = m_clock.elapsed();
        });
        m_tick.start();
    }
    void stop() { m_tick.stop(); }
    qint64 longestGapMs() const { return m_longest; }

private:
    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_last = 0, m_longest = 0;
};

} // namespace sonalto::test
