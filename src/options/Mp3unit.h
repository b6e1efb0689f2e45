#pragma once

#include <QDialog>

namespace sonalto {

class TMp3Form : public QDialog
{
    Q_OBJECT
public:
    explicit TMp3Form(QWidget *parent = nullptr);
};

} // namespace sonalto
