#include "app/SpectrumBox.h"

#include <QPaintEvent>
#include <QPainter>

#include <cstring>

namespace sonalto {

SpectrumBox::SpectrumBox(QWidget *parent)
    : QWidget(parent), m_picture(217, 81, QImage::Format_RGB32)
{
    setFixedSize(217, 81);
    m_picture.fill(Qt::black);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SpectrumBox::showPicture(const QImage &frame)
{
    // Into the picture the box keeps: no image is made for a frame.
    if (frame.size() == m_picture.size() && frame.format() == m_picture.format())
        std::memcpy(m_picture.bits(), frame.constBits(), size_t(m_picture.sizeInBytes()));
    else
        m_picture = frame.convertToFormat(m_picture.format());
    update();
}

void SpectrumBox::paintEvent(QPaintEvent *event)
{
    if (onPaintRequest)
        onPaintRequest(m_picture, event->rect());
    QPainter painter(this);
    painter.drawImage(event->rect(), m_picture, event->rect());
}

} // namespace sonalto
