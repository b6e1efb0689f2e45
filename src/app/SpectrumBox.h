#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

namespace sonalto {

// The 217 x 81 paint box of the status area. Frames are drawn off-screen and
// shown in one piece, with the next paint of the window; every paint first asks
// the owner, who may draw something else into the picture (the idle line).
class SpectrumBox : public QWidget
{
    Q_OBJECT
public:
    explicit SpectrumBox(QWidget *parent = nullptr);

    // The picture the box currently shows (what a screen capture would see).
    const QImage &picture() const { return m_picture; }
    // Copies the frame into the box's picture and has the box repainted.
    void showPicture(const QImage &frame);
    // Called on every paint; may draw into the box's picture.
    std::function<void(QImage &picture, const QRect &clip)> onPaintRequest;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};

} // namespace sonalto
