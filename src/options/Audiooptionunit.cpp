#include "options/Audiooptionunit.h"

namespace sonalto {

TAudioOptionForm::TAudioOptionForm(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("音频选项"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

} // namespace sonalto
