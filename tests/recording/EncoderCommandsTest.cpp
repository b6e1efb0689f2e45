#include "recording/EncoderCommands.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sonalto::recording;
using sonalto::settings::Mp3Settings;

TEST(EncoderCommandsTest, ConstantBitRate)
{
    Mp3Settings s;
    s.cbr = 1;
    s.cbrBit = 8;
    s.vbrQuality = 3; // ignored in this mode
    EXPECT_EQ(BuildLameCommand("/a/lame", QStringLiteral("/r/音频3.mp3"), s, 44100),
              QStringLiteral("/a/lame --alt-preset cbr 128 - \"/r/音频3.mp3\""));
    s.cbrBit = 13;
    EXPECT_EQ(BuildLameCommand("/a/lame", "/r/1.mp3", s, 8000),
              "/a/lame --alt-preset cbr 320 - \"/r/1.mp3\"");
}

TEST(EncoderCommandsTest, VariableBitRateAtEachMp3Rate)
{
    const Mp3Settings s{0, 0, 0, 13, 5};
    EXPECT_EQ(BuildLameCommand("/a/lame", QStringLiteral("/r/音频3.mp3"), s, 44100),
              QStringLiteral("/a/lame --resample 44.1 -V 4 --vbr-new -b 32 -B 320 - "
                             "\"/r/音频3.mp3\""));
    EXPECT_EQ(BuildLameCommand("/a/lame", "/r/1.mp3", Mp3Settings{0, 0, 4, 9, 9}, 48000),
              "/a/lame --resample 48 -V 0 --vbr-new -b 64 -B 160 - \"/r/1.mp3\"");
    EXPECT_EQ(BuildLameCommand("/a/lame", "/r/1.mp3", Mp3Settings{}, 32000),
              "/a/lame --resample 32 -V 9 --vbr-new -b 32 -B 32 - \"/r/1.mp3\"");
    // Any Cbr value other than 1 means variable bit rate.
    EXPECT_EQ(BuildLameCommand("/a/lame", "/r/1.mp3", Mp3Settings{2, 13, 1, 2, 0}, 22050),
              "/a/lame --resample 22.05 -V 9 --vbr-new -b 40 -B 48 - \"/r/1.mp3\"");
}

TEST(EncoderCommandsTest, PercentSignsInPathsAreKept)
{
    EXPECT_EQ(BuildLameCommand("/a%1/lame", "/r/%2 50%.mp3", Mp3Settings{1, 0, 0, 0, 0}, 44100),
              "/a%1/lame --alt-preset cbr 32 - \"/r/%2 50%.mp3\"");
    EXPECT_EQ(BuildOggCommand("/usr/bin/oggenc", "/r/%1 录音.ogg"),
              QStringLiteral("/usr/bin/oggenc -o \"/r/%1 录音.ogg\" -"));
}

TEST(EncoderCommandsTest, KiloHertzTextIsShortest)
{
    EXPECT_EQ(kiloHertzText(11025), "11.025");
    EXPECT_EQ(kiloHertzText(8000), "8");
    EXPECT_EQ(kiloHertzText(500), "0.5");
}

TEST(EncoderCommandsTest, BundledEncoderWinsOnlyWhenExecutable)
{
    QTemporaryDir dir;
    const QString appDir = dir.path() + QLatin1Char('/');
    const QString name = QStringLiteral("sonalto-test-encoder");

    EXPECT_EQ(findEncoderProgram(appDir, name), appDir + name);

    QFile program(appDir + name);
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(findEncoderProgram(appDir, name), appDir + name) << "nothing on PATH either";
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(findEncoderProgram(appDir, name), appDir + name);

    // "sh" is on every PATH; a non-executable file of that name in the folder is passed over.
    QFile shell(appDir + QStringLiteral("sh"));
    ASSERT_TRUE(shell.open(QIODevice::WriteOnly));
    shell.close();
    const QString found = findEncoderProgram(appDir, QStringLiteral("sh"));
    EXPECT_NE(found, appDir + QStringLiteral("sh"));
    EXPECT_TRUE(found.endsWith(QStringLiteral("/sh"))) << found.toStdString();
}
