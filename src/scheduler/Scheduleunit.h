#pragma once

#include <QDialog>

namespace sonalto {

class TScheduleForm : public QDialog
{
    Q_OBJECT
public:
    explicit TScheduleForm(QWidget *parent = nullptr);
};

} // namespace sonalto
