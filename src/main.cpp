#include "app/Application.h"

int main(int argc, char **argv)
{
    return sonalto::runApplication(argc, argv);
}
