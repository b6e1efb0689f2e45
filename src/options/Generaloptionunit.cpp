#include "options/Generaloptionunit.h"

#include "settings/ConfigFile.h"
#include "settings/IniFile.h"

namespace sonalto {

TGeneralOptionForm::TGeneralOptionForm(const QString &configPath, QWidget *parent)
    : QDialog(parent), m_configPath(configPath)
{
    setWindowTitle(QStringLiteral("常规选项"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    loadSettings();
}

void TGeneralOptionForm::loadSettings()
{
    const settings::IniFile ini(m_configPath);
    m_baseName =
        ini.readString(QStringLiteral("Other"), QStringLiteral("OutputName"), QStringLiteral("0"));
    m_minitoTray = ini.readInt(QStringLiteral("Other"), QStringLiteral("MinitoTray"), 0) != 0;
}

} // namespace sonalto
