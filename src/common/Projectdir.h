#pragma once

#include <QString>

namespace sonalto {

// The two folders every part of the program uses. Both always end with "/".
class ProjectDirs
{
public:
    static ProjectDirs &instance();

    const QString &AppDir() const { return m_appDir; }
    const QString &AudioDir() const { return m_audioDir; }

    // Stores the path, adding the trailing separator when missing.
    void SetAppDir(const QString &path);
    // Stores the path, creating the folder when it does not exist (the result is
    // not checked: a later recording start tries again).
    void SetAudioDir(const QString &path);

    // The folder for settings and encoders ($XDG_DATA_HOME/Sonalto), created
    // when missing so that settings can always be saved.
    static QString defaultAppDir();
    // The documents folder's "Sonalto" subfolder.
    static QString defaultAudioDir();

private:
    QString m_appDir;
    QString m_unused; // kept empty
    QString m_audioDir;
};

QString withTrailingSlash(const QString &path);

} // namespace sonalto
