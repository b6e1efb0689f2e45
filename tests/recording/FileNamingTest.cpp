#include "recording/FileNaming.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using sonalto::recording::nextOutputPath;

namespace {

class FileNamingTest : public ::testing::Test
{
protected:
    void SetUp() override { m_audioDir = m_dir.path() + QLatin1Char('/'); }

    void touch(const QString &name)
    {
        QFile f(m_audioDir + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }

    QString next(const QString &base, int &counter, const QString &ext = QStringLiteral(".mp3"))
    {
        const QString path = nextOutputPath(m_audioDir, base, counter, ext);
        EXPECT_TRUE(path.startsWith(m_audioDir)) << path.toStdString();
        return path.mid(m_audioDir.size());
    }

    QTemporaryDir m_dir;
    QString m_audioDir;
};

} // namespace

TEST_F(FileNamingTest, SkipsTakenNumbersAndMovesCounterPastTheOneUsed)
{
    touch(QStringLiteral("音频1.mp3"));
    touch(QStringLiteral("音频2.mp3"));
    int counter = 1;
    EXPECT_EQ(next(QStringLiteral("音频"), counter), QStringLiteral("音频3.mp3"));
    EXPECT_EQ(counter, 4);
}

TEST_F(FileNamingTest, FreeFirstCandidateLeavesCounterAlone)
{
    int counter = 1;
    EXPECT_EQ(next(QStringLiteral("0"), counter), QStringLiteral("01.mp3"));
    EXPECT_EQ(counter, 1);
    touch(QStringLiteral("01.mp3"));
    EXPECT_EQ(next(QStringLiteral("0"), counter), QStringLiteral("02.mp3"));
    EXPECT_EQ(counter, 3);

    int bare = 1;
    EXPECT_EQ(next(QString(), bare), QStringLiteral("1.mp3"));
    EXPECT_EQ(bare, 1);
}

TEST_F(FileNamingTest, OnlyTheSameExtensionCounts)
{
    touch(QStringLiteral("take1.wav"));
    touch(QStringLiteral("take1.MP3x"));
    int counter = 1;
    EXPECT_EQ(next(QStringLiteral("take"), counter), QStringLiteral("take1.mp3"));
    EXPECT_EQ(next(QStringLiteral("take"), counter, QStringLiteral(".wav")),
              QStringLiteral("take2.wav"));
    EXPECT_EQ(counter, 3);
}

TEST_F(FileNamingTest, FoldersAndDanglingLinksAreTaken)
{
    ASSERT_TRUE(QDir(m_audioDir).mkdir(QStringLiteral("a1.ogg")));
    ASSERT_TRUE(QFile::link(m_audioDir + QStringLiteral("nowhere"), m_audioDir + "a2.ogg"));
    int counter = 1;
    EXPECT_EQ(next(QStringLiteral("a"), counter, QStringLiteral(".ogg")), QStringLiteral("a3.ogg"));
    EXPECT_EQ(counter, 4);
}

TEST_F(FileNamingTest, GapsBelowTheCounterAreNotRefilled)
{
    touch(QStringLiteral("x3.mp3"));
    int counter = 3;
    EXPECT_EQ(next(QStringLiteral("x"), counter), QStringLiteral("x4.mp3"));
    EXPECT_EQ(counter, 5);
}
