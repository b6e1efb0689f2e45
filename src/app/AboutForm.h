#pragma once

#include <QDialog>

class QPushButton;

namespace sonalto {

// The About window.
class TBuyForm : public QDialog
{
    Q_OBJECT
public:
    explicit TBuyForm(QWidget *parent = nullptr);
    QPushButton *Button1 = nullptr; // "确定"
};

} // namespace sonalto
