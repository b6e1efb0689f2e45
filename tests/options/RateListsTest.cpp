#include "options/RateLists.h"

#include <gtest/gtest.h>

using namespace sonalto::options;

TEST(RateListsTest, EachFormatOffersItsRatesAndChannels)
{
    const auto lists = buildFormatLists();
    const QString stereo = QStringLiteral("立体声（推荐）");
    const QString cd = QStringLiteral("44.100 KHz - CD 质量 (Recommend)");
    const QString dvd = QStringLiteral("48.000 KHz - DVD 质量");

    EXPECT_EQ(lists[0].rates, QStringList({"32.000 KHz", cd, dvd}));
    EXPECT_EQ(lists[1].rates, QStringList({cd, dvd}));
    EXPECT_EQ(lists[2].rates, QStringList({cd}));
    EXPECT_EQ(lists[3].rates,
              QStringList({QStringLiteral("8.000 KHz - 质量差"),
                           QStringLiteral("11.025 KHz - 低质量"), "16.000 KHz",
                           QStringLiteral("22.050 KHz - 中等质量"), "32.000 KHz", cd, dvd}));
    for (int f = 0; f < 3; ++f)
        EXPECT_EQ(lists[f].channels, QStringList({stereo})) << f;
    EXPECT_EQ(lists[3].channels, QStringList({QStringLiteral("单声道"), stereo}));
    EXPECT_EQ(formatTexts(), QStringList({QStringLiteral("MP3 文件"), QStringLiteral("WMA 文件"),
                                          QStringLiteral("OGG 文件"), QStringLiteral("WAV 文件")}));
}

TEST(RateListsTest, RateFromItemText)
{
    const QList<int> expected = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    const QStringList rates = allRateTexts();
    ASSERT_EQ(rates.size(), expected.size());
    for (int i = 0; i < rates.size(); ++i)
        EXPECT_EQ(rateFromItemText(rates.at(i)), expected.at(i)) << rates.at(i).toStdString();

    EXPECT_EQ(rateFromItemText(""), 0);
    EXPECT_EQ(rateFromItemText("KHz"), 0);
    EXPECT_EQ(rateFromItemText(" 44.1x"), 0);
    EXPECT_EQ(rateFromItemText("44"), 44000);
    EXPECT_EQ(rateFromItemText("96.0001"), 96000);
}

TEST(RateListsTest, DefaultRateIsTheFirstStartingWithFour)
{
    const auto lists = buildFormatLists();
    EXPECT_EQ(defaultRateIndex(lists[0].rates), 1);
    EXPECT_EQ(defaultRateIndex(lists[1].rates), 0);
    EXPECT_EQ(defaultRateIndex(lists[2].rates), 0);
    EXPECT_EQ(defaultRateIndex(lists[3].rates), 5);
    EXPECT_EQ(defaultRateIndex({"48.000 KHz", "44.100 KHz"}), 0);
    EXPECT_EQ(defaultRateIndex({"8.000 KHz"}), -1);
    EXPECT_EQ(defaultRateIndex({}), -1);
}
