#include "recording/LossReport.h"

#include <gtest/gtest.h>

using sonalto::audio::AudioLoss;
using sonalto::audio::LossKind;
using sonalto::recording::lossReportText;

TEST(LossReport, SaysHowMuchAndHowOftenOverAllKinds)
{
    EXPECT_TRUE(lossReportText(AudioLoss{}, 44100).isEmpty());
    AudioLoss loss;
    loss.events[int(LossKind::Hole)] = 2;
    loss.frames[int(LossKind::Hole)] = 11025;
    loss.events[int(LossKind::Overflow)] = 1;
    loss.frames[int(LossKind::Overflow)] = 4410;
    EXPECT_EQ(lossReportText(loss, 44100), QStringLiteral("录制中丢失 0.35 秒音频（3 处）"));
    EXPECT_EQ(lossReportText(loss, 22050), QStringLiteral("录制中丢失 0.70 秒音频（3 处）"));
    AudioLoss tiny;
    tiny.events[int(LossKind::Overrun)] = 1;
    tiny.frames[int(LossKind::Overrun)] = 1;
    EXPECT_EQ(lossReportText(tiny, 44100), QStringLiteral("录制中丢失 0.00 秒音频（1 处）"))
        << "a loss too short to show in seconds is still told";
}
