#include "scheduler/Scheduleunit.h"

namespace sonalto {

TScheduleForm::TScheduleForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("日程表"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

} // namespace sonalto
