#pragma once

#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>

#include <optional>

namespace sonalto::library {

// Texts of the recordings list and the order of its columns.

// Hours, minutes and seconds joined by ":", each at least two digits ("100:00:00").
QString FormatHMS(qint64 seconds);

// Rounds a duration to whole seconds, halves to the even neighbour (59.5 and 60.5 both give 60).
qint64 roundHalfEven(double seconds);

// "00:03:25", or "--:--:--" for a file whose duration could not be read.
QString durationText(std::optional<double> seconds);

// Size in MiB with two decimals: "1.50 MB".
QString sizeText(qint64 bytes);

// "2014-1-18" for a time of exactly midnight, else the date and the time of day in the locale's
// long time format without the time zone: "2014-1-18 17:06:45". In local time, whatever time
// the date-time is given in.
QString dateText(const QDateTime &t);
QString dateText(const QDateTime &t, const QLocale &locale);
// The locale's long time format with its time-zone fields removed.
QString longTimeFormat(const QLocale &locale);

// "总共 5 个文件 (3 mp3, 1 wma, 0 ogg, 1 wav)".
QString listSummary(int mp3, int wma, int ogg, int wav);

// 0 for .mp3, 1 .wma, 2 .ogg, 3 .wav (any letter case), -1 for anything else; of a name or path.
int fileTypeIndex(const QString &fileName);
int fileTypeIndex(const char *fileName);

// What the columns sort by: values, never their texts, so "10.00 MB" comes after "9.50 MB".
struct RowSortKeys
{
    QString name;
    QDateTime date;
    std::optional<qint64> durationSeconds; // missing sorts before any duration
    qint64 sizeBytes = 0;
};

// <0, 0 or >0 for column 0 name (letter case ignored), 1 date, 2 duration, 3 size.
int compareRows(const RowSortKeys &a, const RowSortKeys &b, int column);

struct FolderEntry
{
    QString fileName;
    QDateTime modified;
    qint64 sizeBytes = 0;
};

// The recordings of a folder: its .mp3, .wma, .ogg and .wav files in that order of types (any
// letter case), each type in the file system's order. Hidden files and folders are left out;
// a missing folder gives an empty list.
QList<FolderEntry> scanRecordingFolder(const QString &dir);

} // namespace sonalto::library
