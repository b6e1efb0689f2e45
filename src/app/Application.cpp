#include "app/Application.h"

#include <QApplication>

namespace sonalto {

int runApplication(int argc, char **argv)
{
    QApplication app(argc, argv);
    return 0;
}

} // namespace sonalto
