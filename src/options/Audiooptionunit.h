#pragma once

#include <QDialog>

namespace sonalto {

class TAudioOptionForm : public QDialog
{
    Q_OBJECT
public:
    explicit TAudioOptionForm(QWidget *parent = nullptr);
};

} // namespace sonalto
