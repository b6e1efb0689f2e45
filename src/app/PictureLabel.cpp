#include "app/PictureLabel.h"

#include <QPainter>

namespace sonalto {

PictureLabel::PictureLabel(QIcon picture, QWidget *parent)
    : QLabel(parent), m_picture(std::move(picture))
{
}

void PictureLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    QPainter painter(this);
    m_picture.paint(&painter, contentsRect());
}

} // namespace sonalto
