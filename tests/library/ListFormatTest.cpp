#include "library/ListFormat.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace sonalto::library;

TEST(ListFormatTest, FormatHMS)
{
    EXPECT_EQ(FormatHMS(0), "00:00:00");
    EXPECT_EQ(FormatHMS(59), "00:00:59");
    EXPECT_EQ(FormatHMS(3599), "00:59:59");
    EXPECT_EQ(FormatHMS(3600 + 2 * 60 + 5), "01:02:05");
    EXPECT_EQ(FormatHMS(99 * 3600 + 59 * 60 + 59), "99:59:59");
    EXPECT_EQ(FormatHMS(100 * 3600), "100:00:00");
}

TEST(ListFormatTest, DurationsRoundHalfToEven)
{
    EXPECT_EQ(roundHalfEven(59.5), 60);
    EXPECT_EQ(roundHalfEven(60.5), 60);
    EXPECT_EQ(roundHalfEven(61.5), 62);
    EXPECT_EQ(roundHalfEven(4.4), 4);
    EXPECT_EQ(roundHalfEven(4.6), 5);
    EXPECT_EQ(roundHalfEven(0.5), 0);
    EXPECT_EQ(roundHalfEven(1e7 + 0.5), 10000000);

    EXPECT_EQ(durationText(59.5), "00:01:00");
    EXPECT_EQ(durationText(3599.4), "00:59:59");
    EXPECT_EQ(durationText(std::nullopt), "--:--:--");
}

TEST(ListFormatTest, SizesInMebibytes)
{
    EXPECT_EQ(sizeText(0), "0.00 MB");
    EXPECT_EQ(sizeText(1572864), "1.50 MB");
    EXPECT_EQ(sizeText(5000000), "4.77 MB");
    EXPECT_EQ(sizeText(1048576 - 1), "1.00 MB");
    EXPECT_EQ(sizeText(5242), "0.00 MB");
    EXPECT_EQ(sizeText(5243), "0.01 MB");
    EXPECT_EQ(sizeText(3LL * 1024 * 1024 * 1024), "3072.00 MB");
    EXPECT_EQ(sizeText(10LL * 1024 * 1024 * 1024 * 1024 + 1048576 / 4), "10485760.25 MB");
}

TEST(ListFormatTest, DateShowsTimeUnlessMidnight)
{
    const QLocale c = QLocale::c();
    EXPECT_EQ(dateText(QDateTime(QDate(2014, 1, 18), QTime(0, 0)), c), "2014-1-18");
    EXPECT_EQ(dateText(QDateTime(QDate(2014, 1, 18), QTime(17, 6, 45)), c), "2014-1-18 17:06:45");
    EXPECT_EQ(dateText(QDateTime(QDate(2014, 10, 2), QTime(0, 0, 1)), c), "2014-10-2 00:00:01");
    EXPECT_EQ(dateText(QDateTime(QDate(2014, 12, 31), QTime(0, 0, 0, 1)), c),
              "2014-12-31 00:00:00");

    const QLocale us(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(longTimeFormat(us), "h:mm:ss AP");
    EXPECT_EQ(dateText(QDateTime(QDate(2014, 1, 18), QTime(17, 6, 45)), us),
              "2014-1-18 5:06:45 PM");
    const QLocale china(QLocale::Chinese, QLocale::China);
    EXPECT_EQ(dateText(QDateTime(QDate(2014, 1, 18), QTime(7, 6, 45)), china),
              "2014-1-18 07:06:45");
}

TEST(ListFormatTest, SummaryAndTypes)
{
    EXPECT_EQ(listSummary(3, 1, 0, 1),
              QStringLiteral("总共 5 个文件 (3 mp3, 1 wma, 0 ogg, 1 wav)"));
    EXPECT_EQ(listSummary(0, 0, 0, 0),
              QStringLiteral("总共 0 个文件 (0 mp3, 0 wma, 0 ogg, 0 wav)"));

    EXPECT_EQ(fileTypeIndex("a.mp3"), 0);
    EXPECT_EQ(fileTypeIndex("B.WMA"), 1);
    EXPECT_EQ(fileTypeIndex("c.Ogg"), 2);
    EXPECT_EQ(fileTypeIndex("/x.y/d.wav"), 3);
    EXPECT_EQ(fileTypeIndex("e.mp3.txt"), -1);
    EXPECT_EQ(fileTypeIndex("mp3"), -1);
    EXPECT_EQ(fileTypeIndex("/dir.mp3/file"), -1);
}

TEST(ListFormatTest, SortingUsesValuesAcrossDigitCounts)
{
    RowSortKeys a;
    RowSortKeys b;

    a.sizeBytes = 10485760; // "10.00 MB"
    b.sizeBytes = 9961472;  // "9.50 MB"
    EXPECT_GT(compareRows(a, b, 3), 0);
    EXPECT_LT(compareRows(b, a, 3), 0);

    a.date = QDateTime(QDate(2014, 10, 2), QTime(0, 0));
    b.date = QDateTime(QDate(2014, 9, 30), QTime(23, 59, 59));
    EXPECT_GT(compareRows(a, b, 1), 0);
    b.date = QDateTime(QDate(2014, 10, 2), QTime(0, 0, 1));
    EXPECT_LT(compareRows(a, b, 1), 0);

    a.durationSeconds = 360000; // "100:00:00"
    b.durationSeconds = 356400; // "99:00:00"
    EXPECT_GT(compareRows(a, b, 2), 0);
    b.durationSeconds = std::nullopt; // "--:--:--"
    EXPECT_GT(compareRows(a, b, 2), 0);
    a.durationSeconds = 0;
    EXPECT_GT(compareRows(a, b, 2), 0) << "an unreadable file sorts before a zero-length one";
    b.durationSeconds = 0;
    EXPECT_EQ(compareRows(a, b, 2), 0);

    a.name = "Apple.mp3";
    b.name = "banana.mp3";
    EXPECT_LT(compareRows(a, b, 0), 0);
    b.name = "apple.MP3";
    EXPECT_EQ(compareRows(a, b, 0), 0);
}

TEST(ListFormatTest, FolderScanListsRecordingsByType)
{
    QTemporaryDir dir;
    const auto touch = [&dir](const QString &name, int size) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(size, 'x'));
    };
    touch("b.WAV", 7);
    touch("a.mp3", 3);
    touch("c.txt", 1);
    touch(".hidden.mp3", 1);
    touch("d.Ogg", 2);
    touch("e.mp3", 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("x.mp3"));

    const QList<FolderEntry> entries = scanRecordingFolder(dir.path());
    QStringList names;
    for (const FolderEntry &e : entries)
        names << e.fileName;
    ASSERT_EQ(names.size(), 4) << names.join(' ').toStdString();
    // The two mp3 files come in the file system's order, then the other types in order.
    EXPECT_EQ(QSet<QString>(names.begin(), names.begin() + 2), QSet<QString>({"a.mp3", "e.mp3"}));
    EXPECT_EQ(names.at(2), "d.Ogg");
    EXPECT_EQ(names.at(3), "b.WAV");
    EXPECT_EQ(entries.at(3).sizeBytes, 7);
    EXPECT_EQ(entries.at(3).modified, QFileInfo(dir.filePath("b.WAV")).lastModified());

    EXPECT_TRUE(scanRecordingFolder(dir.filePath("missing")).isEmpty());
}
