#include "app/LevelMeterBox.h"

#include <QPainter>

namespace sonalto {

namespace {
using recording::InputLevelMeter;

// Height in pixels of a level on a bar of `height` pixels.
int pixelsOf(double db, int height)
{
    const double share = (db - InputLevelMeter::FloorDb) / -InputLevelMeter::FloorDb;
    return int(share * height + 0.5);
}
} // namespace

LevelMeterBox::LevelMeterBox(QWidget *parent) : QProgressBar(parent)
{
    setRange(int(InputLevelMeter::FloorDb), 0);
    setValue(int(InputLevelMeter::FloorDb));
    setTextVisible(false);
    // The value as assistive technology reads it.
    setFormat(QStringLiteral("%v dBFS"));
    setOrientation(Qt::Vertical);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LevelMeterBox::showLevels(const recording::InputLevelMeter &meter)
{
    bool changed = meter.channels() != m_channels;
    m_channels = meter.channels();
    for (int c = 0; c < 2; ++c) {
        const int level = pixelsOf(meter.levelDb(c), height());
        const int held = pixelsOf(meter.heldDb(c), height());
        changed = changed || level != m_level[c] || held != m_held[c];
        m_level[c] = level;
        m_held[c] = held;
    }
    if (value() != meter.valueDb()) {
        // Tells assistive technology. The bar would repaint itself at once, a
        // round trip to the display each time; it is painted with the window's
        // next paint instead (updates enabled again ask for one).
        setUpdatesEnabled(false);
        setValue(meter.valueDb());
        setUpdatesEnabled(true);
    } else if (changed) {
        update();
    }
}

void LevelMeterBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const int h = height();
    const int gap = 1;
    const int barWidth = m_channels == 1 ? width() : (width() - gap) / 2;
    // Green up to -12 dB, yellow to -3 dB, red above.
    const int yellowFrom = h - pixelsOf(-12.0, h);
    const int redFrom = h - pixelsOf(-3.0, h);
    for (int c = 0; c < m_channels; ++c) {
        const int x = c * (barWidth + gap);
        const int top = h - m_level[c];
        auto band = [&](int from, int to, const QColor &colour) {
            from = std::max(from, top);
            if (to > from)
                painter.fillRect(x, from, barWidth, to - from, colour);
        };
        band(yellowFrom, h, QColor(0, 255, 0));
        band(redFrom, yellowFrom, QColor(255, 255, 0));
        band(0, redFrom, QColor(255, 0, 0));
        if (m_held[c] > 0) {
            const int y = std::clamp(h - m_held[c], 0, h - 1);
            painter.fillRect(x, y, barWidth, 1,
                             y < redFrom ? QColor(255, 0, 0) : QColor(255, 255, 0));
        }
    }
}

} // namespace sonalto
