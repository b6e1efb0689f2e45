#include "options/Mp3unit.h"

namespace sonalto {

TMp3Form::TMp3Form(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Mp3Form"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

} // namespace sonalto
