#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>

#include <array>

namespace sonalto::recording {

// The spectrum picture of the recording window: 129 bars with falling peaks, drawn into an
// off-screen image and copied to the window in one go. Pixels are set directly rather than
// through QPainter lines so that line ends and rectangle edges land exactly where the window
// layout expects them.
class TSpectrum
{
public:
    TSpectrum(int width, int height);

    // Pictures behind the bars when active; the picture is drawn at the top-left corner.
    void SetBackGround(bool active, const QImage &picture);

    // One frame from 513 magnitudes of a spectrum (full-scale sine about 0.5). Bar i shows
    // element i * BinStep + 5; its base line is at Y + height. The same as advance, render
    // and a copy of Buffer to the target.
    void Draw(QPainter &target, std::array<float, 513> data, int X, int Y);
    // The heights of the next frame; false when no bar or peak moved, so the frame would
    // look like the last one.
    bool advance(const std::array<float, 513> &data);
    // Draws the current heights into Buffer.
    void render(int X, int Y);

    // The picture shown while nothing is being recorded: black with a dashed yellow base line.
    static void DrawIdleFrame(QPainter &p, const QRect &clip, int paintBoxHeight);
    static QImage idleFrame(int w, int h);

    QImage Buffer;
    QImage BackgroundImage;
    QColor BackgroundColor{0, 0, 0};
    QColor BarColor{255, 255, 255};
    QColor PeakColor{255, 255, 0};
    int MaxBarHeight = 100;
    int DrawMode = 0; // 0 one-pixel columns, 1 bars BarWidth wide with a peak line
    int BinStep = 1;
    bool ClearFrame = true;
    bool UseBackground = false;
    int PeakFall = 1; // pixels a peak sinks per frame
    int BarFall = 3;  // pixels a bar sinks per frame
    int BarWidth = 5;
    bool ShowPeaks = true;
    std::array<int, 129> Peaks{};
    std::array<int, 129> Bars{};

private:
    void plot(int x, int y, QRgb colour);
    void fillRect(int left, int top, int right, int bottom, QRgb colour); // right, bottom excluded
};

} // namespace sonalto::recording
