#pragma once

#include "recording/InputLevelMeter.h"

#include <QProgressBar>

namespace sonalto {

// The input level beside the spectrum: one bar per channel from -60 to 0 dBFS
// with its held peak as a line. To assistive technology it is a level bar whose
// value is the held peak in whole dB (-60..0).
class LevelMeterBox : public QProgressBar
{
    Q_OBJECT
public:
    explicit LevelMeterBox(QWidget *parent = nullptr);

    // Shows the meter's state; repaints only when something visible changed.
    void showLevels(const recording::InputLevelMeter &meter);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_channels = 2;
    int m_level[2] = {0, 0}; // bar heights in pixels
    int m_held[2] = {0, 0};
};

} // namespace sonalto
