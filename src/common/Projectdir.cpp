#include "common/Projectdir.h"

#include <QDir>
#include <QStandardPaths>

namespace sonalto {

QString withTrailingSlash(const QString &path)
{
    if (path.endsWith(QLatin1Char('/')))
        return path;
    return path + QLatin1Char('/');
}

ProjectDirs &ProjectDirs::instance()
{
    static ProjectDirs dirs;
    return dirs;
}

void ProjectDirs::SetAppDir(const QString &path)
{
    m_appDir = withTrailingSlash(path);
}

void ProjectDirs::SetAudioDir(const QString &path)
{
    if (!path.isEmpty() && !QDir(path).exists())
        QDir().mkpath(path);
    m_audioDir = withTrailingSlash(path);
}

QString ProjectDirs::defaultAppDir()
{
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    const QString dir = base + QStringLiteral("/Sonalto");
    QDir().mkpath(dir);
    return dir;
}

QString ProjectDirs::defaultAudioDir()
{
    QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (docs.isEmpty())
        docs = QDir::homePath();
    return docs + QStringLiteral("/Sonalto");
}

} // namespace sonalto
