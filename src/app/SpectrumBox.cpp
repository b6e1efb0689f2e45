#include "app/SpectrumBox.h"

#include <QPaintEvent>
#include <QPainter>

namespace sonalto {

SpectrumBox::SpectrumBox(QWidget *parent)
    : QWidget(parent), m_picture(217, 81, QImage::Format_RGB32)
{
    setFixedSize(217, 81);
    m_picture.fill(Qt::black);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectrumBox::showPicture(const QImage &picture)
{
    m_picture = picture;
    m_framePending = true;
    repaint();
    m_framePending = false;
}

void SpectrumBox::paintEvent(QPaintEvent *event)
{
    if (onPaintRequest && !m_framePending)
        onPaintRequest(m_picture, event->rect());
    QPainter painter(this);
    painter.drawImage(event->rect(), m_picture, event->rect());
}

} // namespace sonalto
