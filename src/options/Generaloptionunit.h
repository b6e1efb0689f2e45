#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace sonalto {

// General options: output folder, base file name, start at log-on, minimise to
// tray. Reads and writes the "Other" section of the settings file itself.
class TGeneralOptionForm : public QDialog
{
    Q_OBJECT
public:
    // Loads the base name and the minimise-to-tray flag from the settings file.
    explicit TGeneralOptionForm(const QString &configPath, QWidget *parent = nullptr);

    QLineEdit *Edit7 = nullptr; // the output folder
    QToolButton *SpeedButton1 = nullptr, *SpeedButton2 = nullptr, *SpeedButton3 = nullptr;
    QCheckBox *CheckBox1 = nullptr; // start at log-on
    QLineEdit *Edit1 = nullptr;     // base name
    QLabel *Label3 = nullptr;
    QCheckBox *CheckBox2 = nullptr; // minimise to tray
    QPushButton *Button1 = nullptr, *Button2 = nullptr;

    void load();
    void Button1Click();
    void Button2Click();
    // Asks for a folder; true when one was chosen (it is then the output folder). A folder the
    // settings cannot keep is refused with the reason, and the output folder stays as it was.
    bool SpeedButton1Click();
    void SpeedButton2Click();
    void SpeedButton3Click();
    void Edit1Change();

    QString baseName() const { return m_baseName; }
    bool minitoTray() const { return m_minitoTray; }

    // The log-on start entry of the desktop.
    static QString autostartPath();
    static bool setAutostart(bool on);

    // Characters a file name cannot hold here or on Windows.
    static QString withoutForbiddenCharacters(const QString &text);

signals:
    // The output folder changed ("..." or "默认").
    void audioDirChanged();
    // "关闭" stored the options.
    void saved();

private:
    void showWarning(const QString &text);

    QString m_configPath;
    QString m_baseName = QStringLiteral("0");
    bool m_minitoTray = false;
};

} // namespace sonalto
