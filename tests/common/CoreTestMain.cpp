#include "common/TestSupport.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <csignal>

int main(int argc, char **argv)
{
    // An encoder that dies must give EPIPE, never kill the test process.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    sonalto::test::useProgramLanguage();
    sonalto::test::checkSoundServerStateAroundEachTest();
    return RUN_ALL_TESTS();
}
