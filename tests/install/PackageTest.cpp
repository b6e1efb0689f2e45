#include "common/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sonalto;

// The .deb that `make package` builds, from this build tree.
TEST(Package, LintianAcceptsItAndItDependsOnWhatTheProgramLoads)
{
    SONALTO_REQUIRE_PROGRAM("lintian");
    QTemporaryDir out;
    int code = -1;
    const QString made = test::runProgram(
        SONALTO_CPACK,
        {"-G", "DEB", "--config", SONALTO_BUILD_DIR "/CPackConfig.cmake", "-B", out.path()}, &code,
        120000);
    ASSERT_EQ(code, 0) << made.toStdString();
    const QStringList debs = QDir(out.path()).entryList({"*.deb"});
    ASSERT_EQ(debs.size(), 1);
    const QString deb = out.path() + "/" + debs.front();
    const auto field = [&](const char *name) {
        return test::runProgram("dpkg-deb", {"--field", deb, name}).trimmed();
    };

    // No error, no warning, and no note of a binary built without hardening.
    const QString lintian = test::runProgram(
        "lintian", {"--display-info", "--fail-on", "error,warning", deb}, &code, 120000);
    EXPECT_EQ(code, 0) << lintian.toStdString();
    EXPECT_FALSE(lintian.contains("hardening-")) << lintian.toStdString();

    // Every dependency can be met on this machine, which has all the program needs.
    QSet<QString> named;
    for (const QString &dependency : field("Depends").split(',')) {
        bool met = false;
        for (const QString &alternative : dependency.split('|')) {
            const QString name = alternative.trimmed().section(' ', 0, 0);
            named << name;
            met = met || test::runProgram("dpkg-query", {"-W", "-f=${db:Status-Status}", name}) ==
                             "installed";
        }
        EXPECT_TRUE(met) << dependency.toStdString();
    }
    // Among them the packages of every library the program and the hook load by
    // name: those they are linked with and those opened only when first used.
    static const QRegularExpression soname("(?<=\\x00)lib[\\w+-]+\\.so\\.\\d+(?=\\x00)");
    int libraries = 0;
    for (const char *file : {"/sonalto", "/libkHook.so"}) {
        QFile binary(SONALTO_BUILD_DIR + QString(file));
        ASSERT_TRUE(binary.open(QIODevice::ReadOnly)) << file;
        for (const auto &match : soname.globalMatch(QString::fromLatin1(binary.readAll()))) {
            // Any of the packages holding a file of that name (other architectures' too).
            const QString owners = test::runProgram("dpkg-query", {"-S", "*/" + match.captured()});
            bool depended = false;
            for (const QString &line : owners.split('\n', Qt::SkipEmptyParts))
                depended = depended || named.contains(line.section(':', 0, 0));
            EXPECT_TRUE(depended) << match.captured().toStdString() << " of "
                                  << owners.toStdString();
            ++libraries;
        }
    }
    EXPECT_GT(libraries, 10);

    // The changelog's latest entry is this version.
    ASSERT_EQ(QProcess::execute("dpkg-deb", {"-x", deb, out.path() + "/root"}), 0);
    const QString changelog = test::runProgram(
        "gzip", {"-dc", out.path() + "/root/usr/share/doc/sonalto/changelog.Debian.gz"});
    EXPECT_TRUE(changelog.startsWith("sonalto (" + field("Version") + ") "))
        << changelog.toStdString();
}
