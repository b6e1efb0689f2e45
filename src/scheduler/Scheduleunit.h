#pragma once

#include "scheduler/ScheduleCheck.h"

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QPushButton;

namespace sonalto {

// The scheduler dialog. Its controls are the schedule: the main window reads the
// start and stop from them at every check.
class TScheduleForm : public QDialog
{
    Q_OBJECT
public:
    explicit TScheduleForm(QWidget *parent = nullptr);

    QGroupBox *GroupBox1 = nullptr, *GroupBox2 = nullptr;
    QCheckBox *CheckBox1 = nullptr, *CheckBox2 = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
    // Each picker holds a complete date-time; 1 and 3 show its date, 2 and 4 its time.
    QDateTimeEdit *DateTimePicker1 = nullptr, *DateTimePicker2 = nullptr,
                  *DateTimePicker3 = nullptr, *DateTimePicker4 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QPushButton *Button1 = nullptr, *Button2 = nullptr, *Button3 = nullptr;

    // The schedule as the controls hold it now.
    scheduler::Schedule schedule() const;
    // Whether the last 确定 left a part enabled (only meaningful after it was accepted).
    bool hasEnabledPart() const;

    void FormShow();
    void CheckBox1Click();
    void CheckBox2Click();
    void Button1Click();
    void Button3Click();

    // Messages shown to the user (also kept when they are not shown, for tests).
    bool showMessages = true;
    QStringList ShownMessages;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showMessage(const QString &text);

    // Minutes from now given to a part that is not enabled when the dialog opens.
    static constexpr int StartLeadMinutes = 3;
    static constexpr int StopLeadMinutes = 5;
};

} // namespace sonalto
