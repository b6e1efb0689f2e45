#include "scheduler/Scheduleunit.h"

#include "library/ListFormat.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QVBoxLayout>

namespace sonalto {

namespace {

// The date-only pickers use the program's date format (2014-1-18), the time pickers
// the locale's long time format, matching the texts on the main window's panel.
QDateTimeEdit *makeDatePicker(QWidget *parent)
{
    auto *picker = new QDateTimeEdit(parent);
    picker->setDisplayFormat(QStringLiteral("yyyy-M-d"));
    picker->setCalendarPopup(true);
    return picker;
}

QDateTimeEdit *makeTimePicker(QWidget *parent)
{
    auto *picker = new QDateTimeEdit(parent);
    picker->setDisplayFormat(library::longTimeFormat(QLocale::system()));
    return picker;
}

// The check box sits on the group box's frame; the box holds the rest.
QGroupBox *makeGroup(QWidget *parent, QCheckBox *&checkBox, const QString &caption)
{
    auto *group = new QGroupBox(parent);
    checkBox = new QCheckBox(caption, group);
    return group;
}

} // namespace

TScheduleForm::TScheduleForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("日程表"));
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) &
                   ~Qt::WindowContextHelpButtonHint);

    GroupBox1 = makeGroup(this, CheckBox1, tr("设置录制开始"));
    Label1 = new QLabel(tr("日期"), GroupBox1);
    DateTimePicker1 = makeDatePicker(GroupBox1);
    Label2 = new QLabel(tr("时间"), GroupBox1);
    DateTimePicker2 = makeTimePicker(GroupBox1);
    auto *upper = new QGridLayout(GroupBox1);
    upper->addWidget(CheckBox1, 0, 0, 1, 2);
    upper->addWidget(Label1, 1, 0);
    upper->addWidget(DateTimePicker1, 1, 1);
    upper->addWidget(Label2, 2, 0);
    upper->addWidget(DateTimePicker2, 2, 1);

    GroupBox2 = makeGroup(this, CheckBox2, tr("设置录制停止"));
    Label3 = new QLabel(tr("日期"), GroupBox2);
    DateTimePicker3 = makeDatePicker(GroupBox2);
    Label4 = new QLabel(tr("时间"), GroupBox2);
    DateTimePicker4 = makeTimePicker(GroupBox2);
    ComboBox1 = new QComboBox(GroupBox2);
    ComboBox1->addItems(scheduler::durationItems());
    ComboBox1->setCurrentIndex(1);
    ComboBox1->setAccessibleName(tr("录制时长"));
    Button3 = new QPushButton(tr("设置停止时间"), GroupBox2);
    auto *lower = new QGridLayout(GroupBox2);
    lower->addWidget(CheckBox2, 0, 0, 1, 2);
    lower->addWidget(Label3, 1, 0);
    lower->addWidget(DateTimePicker3, 1, 1);
    lower->addWidget(Label4, 2, 0);
    lower->addWidget(DateTimePicker4, 2, 1);
    auto *durationRow = new QHBoxLayout;
    durationRow->addWidget(ComboBox1, 1);
    durationRow->addWidget(Button3);
    lower->addLayout(durationRow, 3, 0, 1, 2);

    Label1->setBuddy(DateTimePicker1);
    Label2->setBuddy(DateTimePicker2);
    Label3->setBuddy(DateTimePicker3);
    Label4->setBuddy(DateTimePicker4);
    DateTimePicker1->setAccessibleName(tr("开始日期"));
    DateTimePicker2->setAccessibleName(tr("开始时间"));
    DateTimePicker3->setAccessibleName(tr("停止日期"));
    DateTimePicker4->setAccessibleName(tr("停止时间"));

    Button1 = new QPushButton(tr("确定"), this);
    Button2 = new QPushButton(tr("取消"), this);
    Button1->setDefault(true);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // Until a box is checked, its part of the schedule cannot be edited.
    CheckBox1Click();
    CheckBox2Click();

    // Any change of the boxes, also assistive technology's toggle, which is no click.
    connect(CheckBox1, &QCheckBox::toggled, this, &TScheduleForm::CheckBox1Click);
    connect(CheckBox2, &QCheckBox::toggled, this, &TScheduleForm::CheckBox2Click);
    connect(Button1, &QPushButton::clicked, this, &TScheduleForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, &TScheduleForm::Button3Click);
}

scheduler::Schedule TScheduleForm::schedule() const
{
    return {CheckBox1->isChecked(), DateTimePicker1->dateTime(), CheckBox2->isChecked(),
            DateTimePicker3->dateTime()};
}

bool TScheduleForm::hasEnabledPart() const
{
    return CheckBox1->isChecked() || CheckBox2->isChecked();
}

void TScheduleForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TScheduleForm::FormShow()
{
    const QDateTime now = QDateTime::currentDateTime();
    if (!CheckBox1->isChecked()) {
        DateTimePicker1->setDateTime(now.addSecs(StartLeadMinutes * 60));
        DateTimePicker2->setDateTime(now.addSecs(StartLeadMinutes * 60));
    }
    if (!CheckBox2->isChecked()) {
        DateTimePicker3->setDateTime(now.addSecs(StopLeadMinutes * 60));
        DateTimePicker4->setDateTime(now.addSecs(StopLeadMinutes * 60));
    }
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TScheduleForm::CheckBox1Click()
{
    const bool on = CheckBox1->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(DateTimePicker1),
                       static_cast<QWidget *>(Label2), static_cast<QWidget *>(DateTimePicker2)})
        w->setEnabled(on);
}

void TScheduleForm::CheckBox2Click()
{
    const bool on = CheckBox2->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(Label3), static_cast<QWidget *>(DateTimePicker3),
                       static_cast<QWidget *>(Label4), static_cast<QWidget *>(DateTimePicker4),
                       static_cast<QWidget *>(ComboBox1), static_cast<QWidget *>(Button3)})
        w->setEnabled(on);
}

void TScheduleForm::Button1Click()
{
    if (hasEnabledPart()) {
        const QDateTime start =
            scheduler::combine(DateTimePicker1->dateTime(), DateTimePicker2->dateTime());
        const QDateTime stop =
            scheduler::combine(DateTimePicker3->dateTime(), DateTimePicker4->dateTime());
        // A schedule that cannot be kept is refused with the reason, the dialog
        // staying open on the time to correct: a past start would record at once,
        // a stop before the start would make a file of no length.
        const scheduler::Schedule entered{CheckBox1->isChecked(), start, CheckBox2->isChecked(),
                                          stop};
        const auto fault = scheduler::scheduleFault(entered, QDateTime::currentDateTime());
        if (fault != scheduler::ScheduleFault::None) {
            showMessage(scheduler::scheduleFaultText(fault));
            (fault == scheduler::ScheduleFault::StartPassed ? DateTimePicker2 : DateTimePicker4)
                ->setFocus();
            return;
        }
        DateTimePicker1->setDateTime(start);
        DateTimePicker2->setDateTime(start);
        DateTimePicker3->setDateTime(stop);
        DateTimePicker4->setDateTime(stop);
    }
    accept();
}

void TScheduleForm::showMessage(const QString &text)
{
    ShownMessages << text;
    if (showMessages)
        QMessageBox(QMessageBox::NoIcon, QStringLiteral("Sonalto"), text, QMessageBox::Ok, this)
            .exec();
}

void TScheduleForm::Button3Click()
{
    // Counted from the time picker's own value: a start date edited since the last
    // 确定 is not part of it yet.
    const QDateTime stop =
        scheduler::stopAfter(DateTimePicker2->dateTime(), ComboBox1->currentIndex());
    DateTimePicker3->setDateTime(stop);
    DateTimePicker4->setDateTime(stop);
}

} // namespace sonalto
