#pragma once

#include <QIcon>
#include <QString>
#include <QStringList>

namespace sonalto::test {

// While it lives, the desktop's icon theme has none of the names the program
// asks for, so only the pictures it bundles can show.
class NoIconTheme
{
public:
    NoIconTheme() : m_theme(QIcon::themeName()), m_paths(QIcon::themeSearchPaths())
    {
        QIcon::setThemeSearchPaths({});
        QIcon::setThemeName(QStringLiteral("no-such-theme"));
    }
    ~NoIconTheme()
    {
        QIcon::setThemeSearchPaths(m_paths);
        QIcon::setThemeName(m_theme);
    }
    NoIconTheme(const NoIconTheme &) = delete;
    NoIconTheme &operator=(const NoIconTheme &) = delete;

private:
    QString m_theme;
    QStringList m_paths;
};

} // namespace sonalto::test
