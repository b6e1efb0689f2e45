#pragma once

#include <QToolButton>

namespace sonalto {

// A tool button whose every accessible action is a click: a screen reader's
// "press" or "toggle" runs the same handler as the pointer and the Space key.
// Qt's own interface toggles a sticky button's state without a click, which
// would leave the button pressed with nothing done.
class ClickButton : public QToolButton
{
    Q_OBJECT
public:
    explicit ClickButton(QWidget *parent = nullptr);
};

} // namespace sonalto
