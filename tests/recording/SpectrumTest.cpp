#include "recording/Spectrum_vis.h"

#include <gtest/gtest.h>

using sonalto::recording::TSpectrum;

namespace {

constexpr QRgb Black = 0xFF000000;
constexpr QRgb White = 0xFFFFFFFF;
constexpr QRgb Yellow = 0xFFFFFF00;

using Spectrum = std::array<float, 513>;

// A magnitude that gives exactly h pixels (before the ceiling), away from rounding edges.
float magnitudeFor(int h)
{
    return static_cast<float>((h + 0.5) / 500.0);
}

// The main window's layout: 81 pixels high, bars 3 wide, base line drawn at Y + 81 with Y -5.
TSpectrum windowSpectrum()
{
    TSpectrum s(520, 81);
    s.DrawMode = 1;
    s.BarWidth = 3;
    s.MaxBarHeight = 80;
    return s;
}

QImage drawFrame(TSpectrum &s, const Spectrum &data, int x, int y)
{
    QImage target(s.Buffer.size(), QImage::Format_RGB32);
    target.fill(Qt::magenta);
    {
        QPainter p(&target);
        s.Draw(p, data, x, y);
    }
    EXPECT_EQ(target, s.Buffer) << "the target gets the whole frame";
    return target;
}

// Rows of one column that have the given colour.
QList<int> rowsOf(const QImage &image, int x, QRgb colour)
{
    QList<int> rows;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) == colour)
            rows << y;
    }
    return rows;
}

QList<int> range(int first, int last)
{
    QList<int> rows;
    for (int y = first; y <= last; ++y)
        rows << y;
    return rows;
}

} // namespace

TEST(SpectrumTest, SilenceLeavesTheBackgroundAndRestingPeaksOnTheBaseLine)
{
    TSpectrum s = windowSpectrum();
    const QImage belowView = drawFrame(s, Spectrum{}, 5, 0);
    EXPECT_EQ(rowsOf(belowView, 5, Black).size(), 81);
    EXPECT_EQ(belowView.pixel(519, 80), Black);

    // With the window's offset the peaks at rest form the yellow base line at y = 76.
    const QImage frame = drawFrame(s, Spectrum{}, 5, -5);
    for (int bar = 0; bar < 3; ++bar) {
        const int x = 5 + 4 * bar;
        for (int dx = 0; dx < 3; ++dx)
            EXPECT_EQ(rowsOf(frame, x + dx, Yellow), QList<int>({76})) << x + dx;
        EXPECT_EQ(rowsOf(frame, x + 3, Black).size(), 81) << "gap column " << x + 3;
    }
    EXPECT_EQ(frame.pixel(4, 76), Black);
}

TEST(SpectrumTest, LoudBinStopsAtTheCeiling)
{
    TSpectrum s = windowSpectrum();
    Spectrum data{};
    data[5] = 1.0f;
    data[6] = -1.0f; // magnitudes: the sign does not matter
    const QImage frame = drawFrame(s, data, 5, -5);
    EXPECT_EQ(s.Bars[0], 80);
    EXPECT_EQ(s.Peaks[0], 80);
    EXPECT_EQ(s.Bars[1], 80);
    for (int x : {5, 7, 9, 11})
        EXPECT_EQ(rowsOf(frame, x, White), range(0, 75)) << x;
    EXPECT_EQ(rowsOf(frame, 8, Black).size(), 81);
    EXPECT_EQ(frame.pixel(5, 76), Black);
    EXPECT_EQ(frame.pixel(13, 76), Yellow);
}

TEST(SpectrumTest, BarsFallThreeAndPeaksOnePixelPerFrame)
{
    TSpectrum s = windowSpectrum();
    Spectrum loud{};
    loud[7] = magnitudeFor(20); // bar 2, at x = 13..15
    drawFrame(s, loud, 5, -5);
    EXPECT_EQ(s.Bars[2], 20);
    EXPECT_EQ(s.Peaks[2], 20);

    drawFrame(s, Spectrum{}, 5, -5);
    const QImage frame = drawFrame(s, Spectrum{}, 5, -5);
    EXPECT_EQ(s.Bars[2], 14);
    EXPECT_EQ(s.Peaks[2], 18);
    for (int x = 13; x < 16; ++x) {
        EXPECT_EQ(rowsOf(frame, x, White), range(62, 75)) << x;
        EXPECT_EQ(rowsOf(frame, x, Yellow), QList<int>({58})) << x;
    }
    EXPECT_EQ(rowsOf(frame, 16, Black).size(), 81);

    // A quieter bin than the falling bar does not stop it; a louder one lifts it at once.
    Spectrum quiet{};
    quiet[7] = magnitudeFor(5);
    drawFrame(s, quiet, 5, -5);
    EXPECT_EQ(s.Bars[2], 11);
    EXPECT_EQ(s.Peaks[2], 17);
    quiet[7] = magnitudeFor(16);
    drawFrame(s, quiet, 5, -5);
    EXPECT_EQ(s.Bars[2], 16);
    EXPECT_EQ(s.Peaks[2], 16);

    for (int i = 0; i < 20; ++i)
        drawFrame(s, Spectrum{}, 5, -5);
    EXPECT_EQ(s.Bars[2], 0);
    EXPECT_EQ(s.Peaks[2], 0);
}

TEST(SpectrumTest, AFrameMovesUntilEverythingHasSunkOrStands)
{
    TSpectrum s = windowSpectrum();
    Spectrum tone{};
    tone[7] = magnitudeFor(20);
    EXPECT_TRUE(s.advance(tone));
    EXPECT_FALSE(s.advance(tone)); // a steady tone stands
    int moving = 0;
    while (s.advance(Spectrum{}))
        ++moving;
    EXPECT_EQ(moving, 20); // the peak sinks last, a pixel a frame
    EXPECT_FALSE(s.advance(Spectrum{}));
}

TEST(SpectrumTest, PeakEqualToBarIsCoveredByIt)
{
    TSpectrum s = windowSpectrum();
    Spectrum data{};
    data[5] = magnitudeFor(10);
    const QImage frame = drawFrame(s, data, 5, -5);
    EXPECT_EQ(rowsOf(frame, 5, White), range(66, 75));
    EXPECT_TRUE(rowsOf(frame, 5, Yellow).isEmpty());
}

TEST(SpectrumTest, ColumnModeDrawsOnePixelColumnsWithPeakDots)
{
    TSpectrum s(140, 30);
    Spectrum data{};
    data[6] = magnitudeFor(4); // bar 1
    QImage frame = drawFrame(s, data, 10, 0);
    // Base line at y = 30, below the picture: rows 27..29 of the bar show, the peak at 26.
    EXPECT_EQ(rowsOf(frame, 11, White), range(26, 29));
    EXPECT_EQ(rowsOf(frame, 10, White), QList<int>());
    EXPECT_EQ(rowsOf(frame, 12, White), QList<int>());

    frame = drawFrame(s, Spectrum{}, 10, 0);
    EXPECT_EQ(rowsOf(frame, 11, White), QList<int>({27})) << "bar 1 high is hidden, peak at 3";

    s.ShowPeaks = false;
    frame = drawFrame(s, data, 10, -2);
    EXPECT_EQ(rowsOf(frame, 11, White), range(25, 28));
}

TEST(SpectrumTest, BinStepPicksEveryNthElementAndPastTheEndIsSilence)
{
    TSpectrum s(300, 40);
    s.BinStep = 4;
    Spectrum data{};
    data[5 + 4 * 3] = magnitudeFor(7);
    data[512] = magnitudeFor(9); // bar 126.75: read by no bar
    data[5 + 4 * 126 + 1] = 1.0f;
    drawFrame(s, data, 0, 0);
    EXPECT_EQ(s.Bars[3], 7);
    EXPECT_EQ(s.Bars[126], 0);
    EXPECT_EQ(s.Bars[127], 0);
    EXPECT_EQ(s.Bars[128], 0);
    EXPECT_EQ(s.Bars[4], 0);
}

TEST(SpectrumTest, OtherModesAndBackgrounds)
{
    TSpectrum s(50, 20);
    QImage picture(10, 10, QImage::Format_RGB32);
    picture.fill(Qt::red);
    s.SetBackGround(true, picture);
    Spectrum data{};
    data[5] = 1.0f;

    s.DrawMode = 2;
    QImage frame = drawFrame(s, data, 0, 0);
    EXPECT_EQ(frame.pixel(0, 0), QColor(Qt::red).rgb());
    EXPECT_EQ(frame.pixel(9, 9), QColor(Qt::red).rgb());
    EXPECT_EQ(frame.pixel(10, 10), Black);
    EXPECT_EQ(s.Bars[0], 100) << "levels follow the signal in every mode";

    s.Bars.fill(0);
    s.Peaks.fill(0);
    s.DrawMode = 1;
    s.MaxBarHeight = 5;
    s.ClearFrame = false;
    frame = drawFrame(s, data, 20, 0);
    EXPECT_EQ(rowsOf(frame, 20, White), range(15, 19));
    s.SetBackGround(false, QImage());
    frame = drawFrame(s, Spectrum{}, 30, 0);
    EXPECT_EQ(rowsOf(frame, 20, White), range(15, 19)) << "kept without clearing";
    EXPECT_EQ(frame.pixel(0, 0), QColor(Qt::red).rgb());

    s.ClearFrame = true;
    frame = drawFrame(s, Spectrum{}, 30, 0);
    EXPECT_EQ(frame.pixel(0, 0), Black);
    EXPECT_TRUE(rowsOf(frame, 20, White).isEmpty());
}

TEST(SpectrumTest, IdleFrameIsADashedYellowBaseLine)
{
    const QImage idle = TSpectrum::idleFrame(140, 81);
    for (int x : {4, 5, 10, 15, 130, 135, 136})
        EXPECT_EQ(idle.pixel(x, 76), Black) << x;
    for (int x : {6, 7, 8, 9, 11, 14, 131, 134})
        EXPECT_EQ(idle.pixel(x, 76), Yellow) << x;
    int yellowPixels = 0;
    for (int y = 0; y < idle.height(); ++y) {
        for (int x = 0; x < idle.width(); ++x)
            yellowPixels += idle.pixel(x, y) == Yellow ? 1 : 0;
    }
    EXPECT_EQ(yellowPixels, 130 - 26) << "only the dashes of row 76";

    // The windows' base line: same row as the spectrum's resting peaks.
    TSpectrum s = windowSpectrum();
    const QImage frame = drawFrame(s, Spectrum{}, 5, -5);
    EXPECT_EQ(frame.pixel(6, 76), idle.pixel(6, 76));
}
