#include "options/Audiooptionunit.h"

#include "common/Icons.h"
#include "settings/IniFile.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QToolButton>
#include <QVBoxLayout>

namespace sonalto {

TAudioOptionForm::TAudioOptionForm(const QString &configPath, QWidget *parent)
    : QDialog(parent), m_configPath(configPath)
{
    setWindowTitle(tr("音频选项"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto *params = new QGroupBox(tr("参数"), this);
    ComboBox1 = new QComboBox(params);
    ComboBox1->addItems({QStringLiteral("44.100K/HZ"), QStringLiteral("32.000K/HZ"),
                         QStringLiteral("24.000K/HZ"), QStringLiteral("22.050K/HZ"),
                         QStringLiteral("16.000K/HZ")});
    ComboBox2 = new QComboBox(params);
    ComboBox2->addItems({tr("16 位"), tr("8 位")});
    ComboBox3 = new QComboBox(params);
    ComboBox3->addItems({tr("立体声"), tr("单声道")});
    auto *form = new QFormLayout(params);
    form->addRow(tr("采样率:"), ComboBox1);
    form->addRow(tr("采样大小:"), ComboBox2);
    form->addRow(tr("音轨:"), ComboBox3);

    auto *device = new QGroupBox(tr("录制设置:"), this);
    SpeedButton3 = new QToolButton(device);
    SpeedButton3->setText(tr("音量/设备"));
    SpeedButton3->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    SpeedButton3->setIcon(appIcon(QStringLiteral("speaker")));
    (new QVBoxLayout(device))->addWidget(SpeedButton3);

    auto *format = new QGroupBox(tr("格式"), this);
    RadioButton1 = new QRadioButton(tr("保存为 WAV"), format);
    RadioButton2 = new QRadioButton(tr("保存为 MP3"), format);
    RadioButton2->setChecked(true);
    auto *formatLayout = new QVBoxLayout(format);
    formatLayout->addWidget(RadioButton1);
    formatLayout->addWidget(RadioButton2);

    Button1 = new QPushButton(tr("确定"), this);
    Button2 = new QPushButton(tr("取消"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(params);
    layout->addWidget(device);
    layout->addWidget(format);
    layout->addLayout(buttons);
    resize(332, 412);

    connect(Button1, &QPushButton::clicked, this, [this] {
        Button1Click();
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, [this] {
        Button2Click();
        reject();
    });
    connect(SpeedButton3, &QToolButton::clicked, this, [this] {
        if (!SpeedButton3Click())
            QMessageBox::information(this, windowTitle(),
                                     tr("没有找到音量控制程序 (pavucontrol)。"));
    });
}

void TAudioOptionForm::load()
{
    const settings::IniFile ini(m_configPath);
    const QString format =
        ini.readString(QStringLiteral("Audio"), QStringLiteral("Format"), QStringLiteral("0"));
    (format == QStringLiteral("0") ? RadioButton1 : RadioButton2)->setChecked(true);
    // The list positions are read from "General" and written to "Audio", as the
    // settings files have always had them.
    const QString general = QStringLiteral("General");
    ComboBox1->setCurrentIndex(ini.readInt(general, QStringLiteral("Rate"), 0));
    ComboBox2->setCurrentIndex(ini.readInt(general, QStringLiteral("Size"), 0));
    ComboBox3->setCurrentIndex(ini.readInt(general, QStringLiteral("Track"), 0));
}

void TAudioOptionForm::Button1Click()
{
    settings::IniFile ini(m_configPath);
    const QString audio = QStringLiteral("Audio");
    ini.writeString(audio, QStringLiteral("Format"),
                    RadioButton1->isChecked() ? QStringLiteral("0") : QStringLiteral("1"));
    ini.writeInt(audio, QStringLiteral("Rate"), ComboBox1->currentIndex());
    ini.writeInt(audio, QStringLiteral("Size"), ComboBox2->currentIndex());
    ini.writeInt(audio, QStringLiteral("Track"), ComboBox3->currentIndex());
}

void TAudioOptionForm::Button2Click()
{
    load();
}

bool TAudioOptionForm::SpeedButton3Click()
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("pavucontrol"));
    if (program.isEmpty())
        return false;
    // Its recording tab.
    return QProcess::startDetached(program, {QStringLiteral("--tab=4")});
}

} // namespace sonalto
