#include "library/ListFormat.h"

#include "common/NativeNames.h"

#include <QCoreApplication>
#include <QFile>

#include <cctype>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

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

QString dateText(const QDateTime &utcOrLocal, const QLocale &locale)
{
    const QDateTime t = utcOrLocal.toLocalTime();
    const QDate d = t.date();
    QString text = QStringLiteral("%1-%2-%3").arg(d.year()).arg(d.month()).arg(d.day());
    if (t.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(t.time(), longTimeFormat(locale));
    return text;
}

QString listSummary(int mp3, int wma, int ogg, int wav)
{
    return QCoreApplication::translate("sonalto::library",
                                       "总共 %1 个文件 (%2 mp3, %3 wma, %4 ogg, %5 wav)")
        .arg(mp3 + wma + ogg + wav)
        .arg(mp3)
        .arg(wma)
        .arg(ogg)
        .arg(wav);
}

int fileTypeIndex(const char *fileName)
{
    const size_t length = std::strlen(fileName);
    if (length < 4 || fileName[length - 4] != '.')
        return -1;
    char ext[4] = {};
    for (int i = 0; i < 3; ++i)
        ext[i] = char(std::tolower(static_cast<unsigned char>(fileName[length - 3 + size_t(i)])));
    for (int type = 0; const char *known : {"mp3", "wma", "ogg", "wav"}) {
        if (std::memcmp(ext, known, 3) == 0)
            return type;
        ++type;
    }
    return -1;
}

int fileTypeIndex(const QString &fileName)
{
    static const QLatin1StringView types[] = {QLatin1StringView(".mp3"), QLatin1StringView(".wma"),
                                              QLatin1StringView(".ogg"), QLatin1StringView(".wav")};
    for (int type = 0; type < 4; ++type) {
        if (fileName.endsWith(types[type], Qt::CaseInsensitive))
            return type;
    }
    return -1;
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
    // One pass over the folder, and a status read only for the names that are
    // recordings: a folder of thousands of files is listed in milliseconds.
    QList<FolderEntry> byType[4];
    DIR *folder = ::opendir(encodeFileName(dir).constData());
    if (!folder)
        return {};
    const int fd = ::dirfd(folder);
    while (const dirent *entry = ::readdir(folder)) {
        const char *name = entry->d_name;
        if (name[0] == '.')
            continue; // hidden, and the folder itself and its parent
        const int type = fileTypeIndex(name);
        if (type < 0)
            continue;
        struct stat status;
        if (::fstatat(fd, name, &status, 0) != 0 || !S_ISREG(status.st_mode))
            continue; // a folder, or a link to nothing
        const qint64 ms = qint64(status.st_mtim.tv_sec) * 1000 + status.st_mtim.tv_nsec / 1000000;
        // In universal time: turned into local time only when shown.
        // A name that is not UTF-8 keeps its bytes, so that it names this file again.
        byType[type].append({decodeFileName(name), QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC),
                             qint64(status.st_size)});
    }
    ::closedir(folder);
    QList<FolderEntry> entries;
    entries.reserve(byType[0].size() + byType[1].size() + byType[2].size() + byType[3].size());
    for (const QList<FolderEntry> &list : byType)
        entries.append(list);
    return entries;
}

} // namespace sonalto::library
