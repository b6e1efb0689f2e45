#include "recording/FileNaming.h"

#include <QFileInfo>

namespace sonalto::recording {

namespace {

QString candidatePath(const QString &audioDir, const QString &baseName, int counter,
                      const QString &ext)
{
    return audioDir + baseName + QString::number(counter) + ext;
}

// A dangling link or a folder of that name would make creating the file fail or write
// somewhere else, so they count as taken too.
bool taken(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString cleanBaseName(const QString &text)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    QString cleaned;
    cleaned.reserve(text.size());
    for (const QChar c : text) {
        if (forbidden.contains(c) || c.category() == QChar::Other_Control)
            continue;
        if (c == QLatin1Char('.') && cleaned.isEmpty())
            continue;
        cleaned += c;
    }
    return cleaned;
}

QString nextOutputPath(const QString &audioDir, const QString &baseName, int &fileCounter,
                       const QString &ext)
{
    QString candidate = candidatePath(audioDir, baseName, fileCounter, ext);
    // The candidate is rebuilt from the counter before it is advanced, so the counter ends one
    // past the free number and the next recording starts its search after it.
    while (taken(candidate)) {
        candidate = candidatePath(audioDir, baseName, fileCounter, ext);
        fileCounter += 1;
    }
    return candidate;
}

} // namespace sonalto::recording
