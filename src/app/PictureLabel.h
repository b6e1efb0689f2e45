#pragma once

#include <QIcon>
#include <QLabel>

namespace sonalto {

// A label showing a picture that is drawn from its icon when the label is
// painted, so that making the window does not render it (nor load what renders
// it) before the window can be shown.
class PictureLabel : public QLabel
{
    Q_OBJECT
public:
    PictureLabel(QIcon picture, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QIcon m_picture;
};

} // namespace sonalto
