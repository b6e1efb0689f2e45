#include "settings/ConfigFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sonalto::settings;

namespace {

IniFile iniWith(const QTemporaryDir &dir, const QByteArray &content)
{
    const QString path = dir.filePath("Config.ini");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(content);
    return IniFile(path);
}

} // namespace

TEST(ConfigFileTest, Mp3SettingsRoundTrip)
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath("Config.ini"));
    const Mp3Settings none = readMp3Settings(ini);
    EXPECT_EQ(none.cbr + none.cbrBit + none.vbrMiniBit + none.vbrMaxiBit + none.vbrQuality, 0);
    ASSERT_TRUE(writeMp3Settings(ini, Mp3Settings{1, 8, 2, 13, 5}));
    const Mp3Settings s = readMp3Settings(ini);
    EXPECT_EQ(s.cbr, 1);
    EXPECT_EQ(s.cbrBit, 8);
    EXPECT_EQ(s.vbrMiniBit, 2);
    EXPECT_EQ(s.vbrMaxiBit, 13);
    EXPECT_EQ(s.vbrQuality, 5);
}

TEST(ConfigFileTest, HandEditedMp3PositionsAreClampedOrDefaulted)
{
    QTemporaryDir dir;
    const IniFile ini = iniWith(dir, "[mp3]\ncbr=7\ncbrbit=14\nVbrMiniBit=-1\nVbrMaxiBit=fast\n"
                                     "VbrQuality=10\n");
    const Mp3Settings s = readMp3Settings(ini);
    EXPECT_EQ(s.cbr, 7);
    EXPECT_EQ(s.cbrBit, 13);
    EXPECT_EQ(s.vbrMiniBit, 0);
    EXPECT_EQ(s.vbrMaxiBit, 0);
    EXPECT_EQ(s.vbrQuality, 9);
}

TEST(ConfigFileTest, ReadIntOrDefaultKeepsLoadingPastBadValues)
{
    QTemporaryDir dir;
    const IniFile ini =
        iniWith(dir, "[Audio]\nRecordDevice=x1\nVolume=60\n[Other]\nMinitoTray=1\n");
    using namespace config;
    EXPECT_EQ(readIntOrDefault(ini, AudioSection, RecordDevice, AudioDefault), 0);
    EXPECT_EQ(readIntOrDefault(ini, AudioSection, Volume, AudioDefault), 60);
    EXPECT_EQ(readIntOrDefault(ini, AudioSection, Channels, AudioDefault), 0);
    EXPECT_EQ(readIntOrDefault(ini, OtherSection, MinitoTray, MinitoTrayDefault), 1);
    EXPECT_EQ(ini.readString(OtherSection, AudioDir, AudioDirDefault), "0");
}

TEST(ConfigFileTest, StoredVolumeIsOnlyAnIntegerThatIsThere)
{
    QTemporaryDir dir;
    using namespace config;
    const std::pair<QByteArray, std::optional<int>> cases[] = {
        {"[Audio]\nVolume=65\n", 65},   {"[Audio]\nVolume=0\n", 0},
        {"[Audio]\nVolume=140\n", 100}, {"[Audio]\nVolume=-3\n", 0},
        {"[Audio]\nVolume=abc\n", {}},  {"[Audio]\nVolume=6.5\n", {}},
        {"[Audio]\nVolume=\n", {}},     {"[Audio]\nRecordDevice=1\n", {}},
    };
    for (const auto &[content, expected] : cases)
        EXPECT_EQ(readStoredVolume(iniWith(dir, content)), expected) << content.constData();
}
