// The main window's side of the tray icon.
#include "app/Unit1.h"

namespace sonalto {

void TForm1::ShowWindowClick()
{
    // Showing a window hidden into the tray runs the show handler again (keyboard
    // hook, list order); a minimised one is brought back as well.
    show();
    if (isMinimized())
        showNormal();
    raise();
    activateWindow();
}

} // namespace sonalto
