#include "hotkeys/Keyoptionunit.h"

namespace sonalto {

TKeyOptionForm::TKeyOptionForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("键盘选项"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

} // namespace sonalto
