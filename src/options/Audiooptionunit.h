#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace sonalto {

// Audio options: rate, sample size, channels and a WAV/MP3 choice kept in the
// settings file. No command of the main window opens it; the output settings
// panel and the MP3 dialog are what recordings use.
class TAudioOptionForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAudioOptionForm(const QString &configPath, QWidget *parent = nullptr);

    QComboBox *ComboBox1 = nullptr, *ComboBox2 = nullptr, *ComboBox3 = nullptr;
    QToolButton *SpeedButton3 = nullptr;
    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr;

    void load();
    void Button1Click();
    void Button2Click();
    // Opens the desktop's volume control; false when none is installed.
    bool SpeedButton3Click();

private:
    QString m_configPath;
};

} // namespace sonalto
