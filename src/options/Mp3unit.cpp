#include "options/Mp3unit.h"

#include "recording/EncoderCommands.h"
#include "settings/ConfigFile.h"
#include "settings/IniFile.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

namespace sonalto {

namespace {
QComboBox *bitRateList(QWidget *parent, const QString &name)
{
    auto *box = new QComboBox(parent);
    for (int kbps : recording::Mp3BitRates)
        box->addItem(QString::number(kbps));
    box->setAccessibleName(name);
    return box;
}
} // namespace

TMp3Form::TMp3Form(const QString &configPath, QWidget *parent)
    : QDialog(parent), m_configPath(configPath)
{
    setWindowTitle(QStringLiteral("Mp3Form"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setModal(true);

    auto *group = new QGroupBox(tr("编码比特率"), this);
    RadioButton1 = new QRadioButton(tr("恒定比特率 (CBR)"), group);
    Label1 = new QLabel(tr("比特率 (kbps)"), group);
    ComboBox1 = bitRateList(group, tr("比特率 (kbps)"));
    ComboBox1->setCurrentIndex(8);
    RadioButton2 = new QRadioButton(tr("可变比特率 (VBR)"), group);
    Label2 = new QLabel(tr("最小比特率 (kbps)"), group);
    ComboBox2 = bitRateList(group, tr("最小比特率 (kbps)"));
    ComboBox2->setCurrentIndex(0);
    Label3 = new QLabel(tr("最大比特率 (kbps)"), group);
    ComboBox3 = bitRateList(group, tr("最大比特率 (kbps)"));
    ComboBox3->setCurrentIndex(8);
    Label4 = new QLabel(tr("质量"), group);
    ComboBox4 = new QComboBox(group);
    ComboBox4->addItem(tr("9 (最低)"));
    for (int q = 8; q >= 1; --q)
        ComboBox4->addItem(QString::number(q));
    ComboBox4->addItem(tr("0 (最高)"));
    ComboBox4->setCurrentIndex(5);
    ComboBox4->setAccessibleName(tr("质量"));
    Label5 = new QLabel(tr("高质量 = 大文件"), group);
    Label1->setBuddy(ComboBox1);
    Label2->setBuddy(ComboBox2);
    Label3->setBuddy(ComboBox3);
    Label4->setBuddy(ComboBox4);
    RadioButton1->setChecked(true);

    auto *grid = new QGridLayout(group);
    grid->addWidget(RadioButton1, 0, 0, 1, 2);
    grid->addWidget(Label1, 1, 0);
    grid->addWidget(ComboBox1, 1, 1);
    grid->addWidget(RadioButton2, 2, 0, 1, 2);
    grid->addWidget(Label2, 3, 0);
    grid->addWidget(ComboBox2, 3, 1);
    grid->addWidget(Label3, 4, 0);
    grid->addWidget(ComboBox3, 4, 1);
    grid->addWidget(Label4, 5, 0);
    grid->addWidget(ComboBox4, 5, 1);
    grid->addWidget(Label5, 6, 1);

    Button1 = new QPushButton(tr("确定"), this);
    Button2 = new QPushButton(tr("取消"), this);
    Button3 = new QPushButton(tr("默认"), this);
    Button1->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(Button3);
    buttons->addStretch();
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addLayout(buttons);
    resize(420, 360);

    connect(RadioButton1, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButton1Click();
    });
    connect(RadioButton2, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            RadioButton2Click();
    });
    connect(Button1, &QPushButton::clicked, this, [this] {
        Button1Click();
        accept();
    });
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TMp3Form::Button3Click);
    RadioButton1Click();
}

void TMp3Form::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TMp3Form::FormShow()
{
    const settings::IniFile ini(m_configPath);
    const settings::Mp3Settings s = settings::readMp3Settings(ini);
    if (s.cbr != 0)
        RadioButton1->setChecked(true);
    else
        RadioButton2->setChecked(true);
    ComboBox1->setCurrentIndex(s.cbrBit);
    ComboBox2->setCurrentIndex(s.vbrMiniBit);
    ComboBox3->setCurrentIndex(s.vbrMaxiBit);
    ComboBox4->setCurrentIndex(s.vbrQuality);
    RadioButton1Click();
}

void TMp3Form::RadioButton1Click()
{
    if (!RadioButton1->isChecked())
        return;
    Label1->setEnabled(true);
    ComboBox1->setEnabled(true);
    for (QWidget *w : std::initializer_list<QWidget *>{Label2, Label3, Label4, Label5, ComboBox2,
                                                       ComboBox3, ComboBox4})
        w->setEnabled(false);
}

void TMp3Form::RadioButton2Click()
{
    if (!RadioButton2->isChecked())
        return;
    Label1->setEnabled(false);
    ComboBox1->setEnabled(false);
    for (QWidget *w : std::initializer_list<QWidget *>{Label2, Label3, Label4, Label5, ComboBox2,
                                                       ComboBox3, ComboBox4})
        w->setEnabled(true);
}

void TMp3Form::Button1Click()
{
    settings::IniFile ini(m_configPath);
    settings::Mp3Settings s;
    s.cbr = RadioButton1->isChecked() ? 1 : 0;
    s.cbrBit = ComboBox1->currentIndex();
    s.vbrMiniBit = ComboBox2->currentIndex();
    s.vbrMaxiBit = ComboBox3->currentIndex();
    s.vbrQuality = ComboBox4->currentIndex();
    settings::writeMp3Settings(ini, s);
}

void TMp3Form::Button3Click()
{
    ComboBox1->setCurrentIndex(8);
    ComboBox2->setCurrentIndex(0);
    ComboBox3->setCurrentIndex(8);
    ComboBox4->setCurrentIndex(5);
    RadioButton1->setChecked(true);
    RadioButton1Click();
}

} // namespace sonalto
