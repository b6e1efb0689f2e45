#include "common/TestSupport.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    sonalto::test::useProgramLanguage();
    sonalto::test::checkSoundServerStateAroundEachTest();
    return RUN_ALL_TESTS();
}
