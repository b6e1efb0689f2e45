#include "app/Application.h"
#include "app/CrashReport.h"

int main(int argc, char **argv)
{
    sonalto::installCrashReport();
    return sonalto::runApplication(argc, argv);
}
