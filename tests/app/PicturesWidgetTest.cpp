// Pictures looked up when first drawn, so that the window can be shown before
// dozens of them are found.
#include "app/PictureLabel.h"
#include "common/Icons.h"

#include <QImage>
#include <QPixmap>
#include <QStyle>
#include <QToolButton>

#include <gtest/gtest.h>
#include <memory>

using namespace sonalto;

namespace {

QIcon countedRedPicture(int *made)
{
    return deferredIcon([made] {
        ++*made;
        QPixmap red(32, 32);
        red.fill(Qt::red);
        return QIcon(red);
    });
}

} // namespace

TEST(DeferredPictures, AreMadeWhenFirstDrawnAndOnlyOnce)
{
    int made = 0;
    const QIcon icon = countedRedPicture(&made);
    // Put on a button and laid out, it is still not made.
    QToolButton button;
    button.setIcon(icon);
    button.setIconSize(QSize(16, 16));
    button.setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button.setText(QStringLiteral("录制"));
    EXPECT_GT(button.sizeHint().height(), 16);
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(made, 0);

    const QImage first = icon.pixmap(16, 16).toImage();
    EXPECT_EQ(made, 1);
    EXPECT_EQ(first.size(), QSize(16, 16));
    EXPECT_EQ(first.pixelColor(8, 8), QColor(Qt::red));
    // Copies share it; nothing is made again.
    const QIcon copy = icon;
    EXPECT_FALSE(copy.pixmap(24, 24).isNull());
    EXPECT_FALSE(icon.pixmap(16, 16).isNull());
    EXPECT_EQ(made, 1);
}

TEST(DeferredPictures, HighDensityScreensGetDevicePixels)
{
    int made = 0;
    const QIcon icon = countedRedPicture(&made);
    const QPixmap sharp = icon.pixmap(QSize(16, 16), 2.0);
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
}

TEST(DeferredPictures, PictureLabelDrawsItsPictureWhenPainted)
{
    int made = 0;
    PictureLabel label(countedRedPicture(&made));
    label.resize(7, 10);
    EXPECT_EQ(made, 0);
    const QImage image = label.grab().toImage();
    EXPECT_EQ(made, 1);
    EXPECT_EQ(image.pixelColor(3, 5), QColor(Qt::red));
}

TEST(DeferredPictures, TheProgramsStyleStillGivesEveryPicture)
{
    std::unique_ptr<QStyle> style(makeApplicationStyle());
    // The overflow pictures are there when drawn.
    const QIcon overflow = style->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
    EXPECT_FALSE(overflow.pixmap(16, 16).isNull());
    // The other standard pictures are the platform style's own.
    EXPECT_FALSE(style->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32).isNull());
}
