#pragma once

#include <QLabel>

namespace sonalto {

// A label that works as a switch: it reports clicks, Space or Enter while it has
// the focus, and the pointer entering and leaving it. Assistive technology sees it
// as a button with a press action.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ClickLabel(const QString &text, QWidget *parent = nullptr);

signals:
    void clicked();
    void entered();
    void left();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace sonalto
