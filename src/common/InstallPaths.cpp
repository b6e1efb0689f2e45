#include "common/InstallPaths.h"

#include "SonaltoBuildInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace sonalto {

QString helpIndexPath(const QString &programDir)
{
    const QString besideProgram = programDir + QStringLiteral("/Help/index.htm");
    const QString installed = QFileInfo(programDir + QLatin1Char('/') +
                                        QStringLiteral(SONALTO_DATA_FROM_BIN "/help/index.htm"))
                                  .absoluteFilePath();
    return QFileInfo::exists(besideProgram) ? besideProgram : installed;
}

QStringList hookLibraryPaths(const QString &programDir)
{
    return {programDir + QStringLiteral("/libkHook.so"),
            QFileInfo(programDir + QLatin1Char('/') +
                      QStringLiteral(SONALTO_LIB_FROM_BIN "/libkHook.so"))
                .absoluteFilePath()};
}

QString programVersion()
{
    return QStringLiteral(SONALTO_VERSION);
}

QString desktopFileId()
{
    return QStringLiteral(SONALTO_DESKTOP_ID);
}

QString autostartEntryPath()
{
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart/") + desktopFileId() + QStringLiteral(".desktop");
}

QString autostartExec(const QString &program)
{
    // The menu entry's Exec when the program is the one found on PATH, so both
    // entries start the same thing the same way.
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("sonalto"));
    if (!onPath.isEmpty() &&
        QFileInfo(onPath).canonicalFilePath() == QFileInfo(program).canonicalFilePath())
        return QStringLiteral("sonalto");
    // Otherwise the full path as one quoted argument: '"', '`', '$' and '\' are
    // escaped inside the quotes, then backslashes and control characters once more
    // for the file's string syntax, and '%' is doubled (field codes).
    QString quoted;
    for (const QChar c : program) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    QString exec;
    for (const QChar c : QLatin1Char('"') + quoted + QLatin1Char('"')) {
        if (c == QLatin1Char('\\'))
            exec += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            exec += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            exec += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            exec += QStringLiteral("\\r");
        else if (c == QLatin1Char('%'))
            exec += QStringLiteral("%%");
        else
            exec += c;
    }
    return exec;
}

} // namespace sonalto
