#pragma once

#include <QDialog>

namespace sonalto {

class TKeyOptionForm : public QDialog
{
    Q_OBJECT
public:
    explicit TKeyOptionForm(QWidget *parent = nullptr);
};

} // namespace sonalto
