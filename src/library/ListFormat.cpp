#include "library/ListFormat.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace sonalto::library {

namespace {

QString twoDigits(qint64 n)
{
    return QString::number(n).rightJustified(2, QLatin1Char('0'));
}

template <typename T> int threeWay(const T &a, const T &b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

} // namespace

QString FormatHMS(qint64 seconds)
{
    seconds = std::max<qint64>(seconds, 0);
    return twoDigits(seconds / 3600) + QLatin1Char(':') + twoDigits(seconds / 60 % 60) +
           QLatin1Char(':') + twoDigits(seconds % 60);
}

qint64 roundHalfEven(double seconds)
{
    if (!std::isfinite(seconds))
        return 0;
    const double floor = std::floor(seconds);
    const double rest = seconds - floor;
    auto whole = static_cast<qint64>(floor);
    if (rest > 0.5 || (rest == 0.5 && whole % 2 != 0))
        ++whole;
    return whole;
}

QString durationText(std::optional<double> seconds)
{
    return seconds ? FormatHMS(roundHalfEven(*seconds)) : QStringLiteral("--:--:--");
}

QString sizeText(qint64 bytes)
{
    constexpr qint64 MiB = 1024 * 1024;
    bytes = std::max<qint64>(bytes, 0);
    // Integer arithmetic: exact for any file size, and halves round up.
    qint64 whole = bytes / MiB;
    qint64 hundredths = ((bytes % MiB) * 100 + MiB / 2) / MiB;
    if (hundredths == 100) {
        ++whole;
        hundredths = 0;
    }
    return QString::number(whole) + QLatin1Char('.') + twoDigits(hundredths) +
           QStringLiteral(" MB");
}

QString longTimeFormat(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t'))
            result += c;
    }
    return result.simplified();
}

QString dateText(const QDateTime &t)
{
    return dateText(t, QLocale::system());
}

QString dateText(const QDateTime &t, const QLocale &locale)
{
    const QDate d = t.date();
    QString text = QStringLiteral("%1-%2-%3").arg(d.year()).arg(d.month()).arg(d.day());
    if (t.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(t.time(), longTimeFormat(locale));
    return text;
}

QString listSummary(int mp3, int wma, int ogg, int wav)
{
    return QStringLiteral("总共 %1 个文件 (%2 mp3, %3 wma, %4 ogg, %5 wav)")
        .arg(mp3 + wma + ogg + wav)
        .arg(mp3)
        .arg(wma)
        .arg(ogg)
        .arg(wav);
}

int fileTypeIndex(const QString &fileName)
{
    const QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return -1;
    static const QStringList types = {QStringLiteral(".mp3"), QStringLiteral(".wma"),
                                      QStringLiteral(".ogg"), QStringLiteral(".wav")};
    return int(types.indexOf(name.mid(dot).toLower()));
}

int compareRows(const RowSortKeys &a, const RowSortKeys &b, int column)
{
    switch (column) {
    case 0: {
        const int byLocale = QString::localeAwareCompare(a.name.toLower(), b.name.toLower());
        return byLocale != 0 ? threeWay(byLocale, 0)
                             : threeWay(a.name.compare(b.name, Qt::CaseInsensitive), 0);
    }
    case 1:
        return threeWay(a.date, b.date);
    case 2:
        // std::optional orders nullopt first.
        return threeWay(a.durationSeconds, b.durationSeconds);
    case 3:
        return threeWay(a.sizeBytes, b.sizeBytes);
    default:
        return 0;
    }
}

QList<FolderEntry> scanRecordingFolder(const QString &dir)
{
    QList<FolderEntry> entries;
    QDir folder(dir);
    if (!folder.exists())
        return entries;
    for (const char *pattern : {"*.mp3", "*.wma", "*.ogg", "*.wav"}) {
        // Name filters ignore letter case unless QDir::CaseSensitive is given.
        const QFileInfoList files = folder.entryInfoList(
            {QLatin1String(pattern)}, QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
        for (const QFileInfo &info : files)
            entries.append({info.fileName(), info.lastModified(), info.size()});
    }
    return entries;
}

} // namespace sonalto::library
