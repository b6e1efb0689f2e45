#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

namespace sonalto {

// The 217 x 81 paint box of the status area. Frames are drawn off-screen and
// shown in one piece; a paint request with no new frame asks the owner.
class SpectrumBox : public QWidget
{
    Q_OBJECT
public:
    explicit SpectrumBox(QWidget *parent = nullptr);

    // The picture the box currently shows (what a screen capture would see).
    const QImage &picture() const { return m_picture; }
    // Replaces the picture and repaints at once.
    void showPicture(const QImage &picture);
    // Called on a paint request; draws into the box's picture.
    std::function<void(QImage &picture, const QRect &clip)> onPaintRequest;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
    bool m_framePending = false;
};

} // namespace sonalto
