#include "recording/Spectrum_vis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace sonalto::recording {

namespace {

constexpr int BarCount = 129;
constexpr int FirstBin = 5;
constexpr double HeightScale = 500.0;

// Pixels from (x0, y0) towards (x1, y1), the end point left out as a pen drawing a path would.
template <typename Plot> void lineExcludingEnd(int x0, int y0, int x1, int y1, Plot plot)
{
    const int dx = std::abs(x1 - x0);
    const int dy = -std::abs(y1 - y0);
    const int sx = x0 < x1 ? 1 : -1;
    const int sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        plot(x0, y0);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

} // namespace

TSpectrum::TSpectrum(int width, int height)
    : Buffer(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32),
      BackgroundImage(std::max(width, 1), std::max(height, 1), QImage::Format_RGB32)
{
    Buffer.fill(BackgroundColor);
    BackgroundImage.fill(BackgroundColor);
}

void TSpectrum::SetBackGround(bool active, const QImage &picture)
{
    UseBackground = active;
    if (picture.isNull())
        return;
    QPainter p(&BackgroundImage);
    p.drawImage(0, 0, picture);
}

void TSpectrum::plot(int x, int y, QRgb colour)
{
    if (x < 0 || y < 0 || x >= Buffer.width() || y >= Buffer.height())
        return;
    reinterpret_cast<QRgb *>(Buffer.scanLine(y))[x] = colour;
}

void TSpectrum::fillRect(int left, int top, int right, int bottom, QRgb colour)
{
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, Buffer.width());
    bottom = std::min(bottom, Buffer.height());
    for (int y = top; y < bottom; ++y) {
        QRgb *line = reinterpret_cast<QRgb *>(Buffer.scanLine(y));
        std::fill(line + std::min(left, right), line + right, colour);
    }
}

void TSpectrum::Draw(QPainter &target, std::array<float, 513> data, int X, int Y)
{
    advance(data);
    render(X, Y);
    target.drawImage(0, 0, Buffer);
}

bool TSpectrum::advance(const std::array<float, 513> &data)
{
    bool moved = false;
    for (int i = 0; i < BarCount; ++i) {
        const long long bin = static_cast<long long>(i) * BinStep + FirstBin;
        const float v = bin >= 0 && bin < static_cast<long long>(data.size())
                            ? std::fabs(data[static_cast<size_t>(bin)])
                            : 0.0f;
        const double scaled = std::trunc(static_cast<double>(v) * HeightScale);
        // Compared as double first: a wild magnitude must not overflow the int conversion.
        const int h = scaled > MaxBarHeight ? MaxBarHeight : static_cast<int>(scaled);
        const int peak = std::max(h >= Peaks[i] ? h : Peaks[i] - PeakFall, 0);
        const int bar = std::max(h >= Bars[i] ? h : Bars[i] - BarFall, 0);
        moved = moved || peak != Peaks[i] || bar != Bars[i];
        Peaks[i] = peak;
        Bars[i] = bar;
    }
    return moved;
}

void TSpectrum::render(int X, int Y)
{
    if (ClearFrame) {
        Buffer.fill(BackgroundColor);
        if (UseBackground) {
            QPainter p(&Buffer);
            p.drawImage(0, 0, BackgroundImage);
        }
    }

    const int base = Y + Buffer.height();
    const QRgb bar = BarColor.rgb();
    const QRgb peak = PeakColor.rgb();
    for (int i = 0; i < BarCount; ++i) {
        if (DrawMode == 0) {
            const int x = X + i;
            for (int y = base; y > base - Bars[i]; --y)
                plot(x, y, bar);
            if (ShowPeaks)
                plot(x, base - Peaks[i], bar);
        } else if (DrawMode == 1) {
            const int x = X + i * (BarWidth + 1);
            if (ShowPeaks)
                fillRect(x, base - Peaks[i], x + BarWidth, base - Peaks[i] + 1, peak);
            fillRect(x, base - Bars[i], x + BarWidth, base, bar);
        }
    }
}

void TSpectrum::DrawIdleFrame(QPainter &p, const QRect &clip, int paintBoxHeight)
{
    const QColor black(0, 0, 0);
    const QColor yellow(255, 255, 0);
    const int w = clip.width();
    const int h = clip.height();
    p.fillRect(clip, black);
    // One-pixel rectangles are exact on the raster engine, unlike pen strokes.
    lineExcludingEnd(5, paintBoxHeight - 5, w - 5, h - 5,
                     [&p, &yellow](int x, int y) { p.fillRect(QRect(x, y, 1, 1), yellow); });
    for (int i = 0; i < w; i += 5)
        p.fillRect(QRect(i + 5, h - 5, 1, 1), black);
}

QImage TSpectrum::idleFrame(int w, int h)
{
    QImage image(std::max(w, 1), std::max(h, 1), QImage::Format_RGB32);
    QPainter p(&image);
    DrawIdleFrame(p, image.rect(), image.height());
    return image;
}

} // namespace sonalto::recording
