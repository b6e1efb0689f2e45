#pragma once

#include <QColor>
#include <QLabel>

namespace sonalto {

// Colours of the mode labels in the black status area: the active one lime,
// the others green.
inline const QColor Lime{0, 255, 0};
inline const QColor Green{0, 128, 0};

inline void setFontColour(QLabel *label, const QColor &colour)
{
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

// Plain text, or struck out (the status line while the detector is off).
inline void setPlainStyle(QLabel *label, bool strikeOut = false)
{
    QFont font = label->font();
    font.setStrikeOut(strikeOut);
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    label->setFont(font);
}

} // namespace sonalto
