// The main window's side of the scheduler: the toolbar button that opens the
// dialog, the panel that shows a pending schedule, and the half-second check.
#include "app/Unit1.h"

#include "scheduler/ScheduleCheck.h"
#include "scheduler/Scheduleunit.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QScopedValueRollback>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace sonalto {

namespace {

QAction *actionOf(QToolBar *toolBar, QWidget *widget)
{
    for (QAction *action : toolBar->actions())
        if (toolBar->widgetForAction(action) == widget)
            return action;
    return nullptr;
}

QLabel *panelLabel(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QPalette grey = label->palette();
    grey.setColor(QPalette::WindowText, Qt::darkGray);
    label->setPalette(grey);
    return label;
}

// The schedule acts only through the record and stop buttons, exactly as a click.
class ToolButtonTarget : public scheduler::ScheduleTarget
{
public:
    explicit ToolButtonTarget(TForm1 &form) : m_form(form) {}
    bool canRecord() const override
    {
        return m_form.Recording->state() == recording::RecordingSession::State::Idle;
    }
    bool record() override
    {
        m_form.ToolButton1->click();
        return m_form.IsRecording;
    }
    bool canStop() const override { return m_form.IsRecording; }
    void stop() override { m_form.ToolButton3->click(); }

private:
    TForm1 &m_form;
};

void showPart(QLabel *caption, QLabel *value, bool enabled, const QDateTime &when)
{
    value->setText(enabled ? scheduler::scheduleTimeText(when) : QStringLiteral("-"));
    caption->setEnabled(enabled);
    value->setEnabled(enabled);
}

} // namespace

void TForm1::buildSchedulePanel()
{
    QAction *panelAction = actionOf(ToolBar1, Panel11);
    // The panel sits at the right end of the toolbar.
    auto *spacer = new QWidget(ToolBar1);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ToolBar1->insertWidget(panelAction, spacer);

    Panel11->setFixedSize(165, 52);
    Label19 = panelLabel(tr("立即"), Panel11);
    Label16 = panelLabel(QString(), Panel11);
    Label20 = panelLabel(tr("开始"), Panel11);
    Label17 = panelLabel(QStringLiteral("-"), Panel11);
    Label21 = panelLabel(tr("停止"), Panel11);
    Label18 = panelLabel(QStringLiteral("-"), Panel11);
    auto *rows = new QGridLayout(Panel11);
    rows->setContentsMargins(2, 0, 2, 0);
    rows->setVerticalSpacing(0);
    rows->addWidget(Label19, 0, 0);
    rows->addWidget(Label16, 0, 1);
    rows->addWidget(Label20, 1, 0);
    rows->addWidget(Label17, 1, 1);
    rows->addWidget(Label21, 2, 0);
    rows->addWidget(Label18, 2, 1);
    rows->setColumnStretch(1, 1);

    ToolButton10->setCheckable(true);
    connect(ToolButton10, &QToolButton::clicked, this, &TForm1::ToolButton10Click);
    connect(Timer2, &QTimer::timeout, this, &TForm1::Timer2Timer);
    // Every stop of a recording ends the schedule (the stop handler stops Timer2);
    // this runs after it, whoever pressed the button.
    connect(ToolButton3, &QToolButton::clicked, this, &TForm1::showScheduleState);
    showScheduleState();
}

void TForm1::ToolButton10Click()
{
    if (ScheduleForm && ScheduleForm->exec() == QDialog::Accepted) {
        const scheduler::Schedule schedule = ScheduleForm->schedule();
        ActiveSchedule = schedule;
        if (ScheduleForm->hasEnabledPart()) {
            Label16->setText(scheduler::scheduleTimeText(QDateTime::currentDateTime()));
            Timer2->start();
        } else {
            Timer2->stop();
        }
        showPart(Label20, Label17, schedule.startEnabled, schedule.start);
        showPart(Label21, Label18, schedule.stopEnabled, schedule.stop);
    }
    showScheduleState();
}

void TForm1::Timer2Timer()
{
    // A record or stop of this check may be showing a message box whose event loop
    // delivers further ticks; those must not press the buttons again meanwhile.
    if (ScheduleCheckRunning)
        return;
    QScopedValueRollback<bool> running(ScheduleCheckRunning, true);

    const QDateTime now = QDateTime::currentDateTime();
    Label16->setText(scheduler::scheduleTimeText(now));
    ToolButtonTarget target(*this);
    if (!scheduler::checkSchedule(ActiveSchedule, now, target))
        Timer2->stop();
    showScheduleState();
}

void TForm1::showScheduleState()
{
    const bool active = Timer2->isActive();
    if (QAction *panelAction = actionOf(ToolBar1, Panel11))
        panelAction->setVisible(active);
    // The toolbar applies its action's visibility only at its next layout.
    Panel11->setVisible(active);
    ToolButton10->setChecked(active);
}

} // namespace sonalto
