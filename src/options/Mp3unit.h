#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace sonalto {

// MP3 encoder settings: constant bit rate, or variable bit rate with a minimum,
// a maximum and a quality. Reads and writes the "MP3" section itself; the
// encoder reads the same keys at each start.
class TMp3Form : public QDialog
{
    Q_OBJECT
public:
    explicit TMp3Form(const QString &configPath, QWidget *parent = nullptr);

    QRadioButton *RadioButton1 = nullptr, *RadioButton2 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr,
           *Label5 = nullptr;
    QComboBox *ComboBox1 = nullptr, *ComboBox2 = nullptr, *ComboBox3 = nullptr,
              *ComboBox4 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr;

    void FormShow();
    void RadioButton1Click();
    void RadioButton2Click();
    void Button1Click();
    void Button3Click();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_configPath;
};

} // namespace sonalto
