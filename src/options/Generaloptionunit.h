#pragma once

#include <QDialog>

namespace sonalto {

// General options: output folder, base file name, minimise to tray.
class TGeneralOptionForm : public QDialog
{
    Q_OBJECT
public:
    // Reads the base name and the minimise-to-tray flag from the settings file.
    explicit TGeneralOptionForm(const QString &configPath, QWidget *parent = nullptr);

    void loadSettings();

    QString baseName() const { return m_baseName; }
    bool minitoTray() const { return m_minitoTray; }

private:
    QString m_configPath;
    QString m_baseName = QStringLiteral("0");
    bool m_minitoTray = false;
};

} // namespace sonalto
