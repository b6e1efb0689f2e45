#include "common/InstallPaths.h"
#include "common/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

using namespace sonalto;

namespace {

const QString Id = QStringLiteral(SONALTO_DESKTOP_ID);

// Installs the build tree with prefix /usr into dest, stripped, as `make install`
// and the package build do.
bool installInto(const QString &dest, QString *output)
{
    QProcess install;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), dest);
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(QStringLiteral(SONALTO_CMAKE),
                  {QStringLiteral("--install"), QStringLiteral(SONALTO_BUILD_DIR),
                   QStringLiteral("--prefix"), QStringLiteral("/usr"), QStringLiteral("--strip")});
    const bool finished = install.waitForFinished(60000);
    *output = QString::fromLocal8Bit(install.readAll());
    return finished && install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0;
}

// Key=value lines of a desktop entry's main group.
QMap<QString, QString> desktopEntry(const QString &path)
{
    QMap<QString, QString> keys;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    bool inMain = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inMain = line == QLatin1String("[Desktop Entry]");
        else if (inMain && line.contains(QLatin1Char('=')))
            keys.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1));
    }
    return keys;
}

class InstallTree : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_dest = new QTemporaryDir;
        s_installed = installInto(s_dest->path(), &s_output);
    }
    static void TearDownTestSuite()
    {
        delete s_dest;
        s_dest = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s_installed) << s_output.toStdString(); }
    static QString usr() { return s_dest->path() + QStringLiteral("/usr"); }

    static QTemporaryDir *s_dest;
    static bool s_installed;
    static QString s_output;
};

QTemporaryDir *InstallTree::s_dest = nullptr;
bool InstallTree::s_installed = false;
QString InstallTree::s_output;

} // namespace

TEST_F(InstallTree, HoldsExactlyTheProgramItsLibraryAndItsDesktopFiles)
{
    std::set<QString> expected = {
        "bin/sonalto",
        "lib/sonalto/libkHook.so",
        "share/sonalto/help/index.htm",
        "share/applications/" + Id + ".desktop",
        "share/metainfo/" + Id + ".metainfo.xml",
        "share/icons/hicolor/scalable/apps/" + Id + ".svg",
        "share/man/man1/sonalto.1.gz",
        "share/doc/sonalto/copyright",
        "share/doc/sonalto/changelog.Debian.gz",
        "share/lintian/overrides/sonalto",
    };
    for (const char *size : {"16x16", "32x32", "48x48", "64x64", "128x128", "256x256"})
        expected.insert(QStringLiteral("share/icons/hicolor/%1/apps/%2.png").arg(size, Id));

    std::set<QString> found;
    QDirIterator it(s_dest->path(), QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found.insert(QDir(usr()).relativeFilePath(it.next()));
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(QFileInfo(usr() + "/bin/sonalto").isExecutable());
}

TEST_F(InstallTree, DesktopEntryAndMetadataPassTheirValidators)
{
    SONALTO_REQUIRE_PROGRAM("desktop-file-validate");
    SONALTO_REQUIRE_PROGRAM("appstreamcli");
    int code = -1;
    const QString desktop = usr() + "/share/applications/" + Id + ".desktop";
    const QString desktopOut =
        test::runProgram(QStringLiteral("desktop-file-validate"), {desktop}, &code);
    EXPECT_EQ(code, 0) << desktopOut.toStdString();
    EXPECT_TRUE(desktopOut.trimmed().isEmpty()) << "warnings: " << desktopOut.toStdString();

    QProcess appstream;
    appstream.setProcessChannelMode(QProcess::MergedChannels);
    appstream.start(QStringLiteral("appstreamcli"),
                    {QStringLiteral("validate"), QStringLiteral("--no-net"),
                     usr() + "/share/metainfo/" + Id + ".metainfo.xml"});
    ASSERT_TRUE(appstream.waitForFinished(60000));
    EXPECT_EQ(appstream.exitCode(), 0) << appstream.readAll().toStdString();

    const auto keys = desktopEntry(desktop);
    EXPECT_EQ(keys.value("Exec"), "sonalto");
    EXPECT_EQ(keys.value("Icon"), Id);
    EXPECT_EQ(keys.value("StartupWMClass"), "Sonalto");
    EXPECT_TRUE(keys.value("Categories").split(';').contains("Recorder"));
    EXPECT_EQ(desktopFileId(), Id);
}

TEST_F(InstallTree, AutostartEntrySharesTheMenuEntrysIdAndExec)
{
    QTemporaryDir config;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedPath = qgetenv("PATH");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    // The installed program is the one on PATH: the autostart entry starts it
    // exactly as the menu does.
    const QString program = usr() + "/bin/sonalto";
    qputenv("PATH", (usr() + "/bin:" + QString::fromLocal8Bit(savedPath)).toLocal8Bit());
    EXPECT_EQ(autostartExec(program), "sonalto");
    EXPECT_EQ(QFileInfo(autostartEntryPath()).fileName(), Id + ".desktop");
    // Elsewhere the full path, quoted as one argument.
    qputenv("PATH", savedPath);
    EXPECT_EQ(autostartExec("/opt/my $apps/100%/so\"n`alto"),
              R"("/opt/my \\$apps/100%%/so\\"n\\`alto")");
    qputenv("XDG_CONFIG_HOME", savedConfig);
    const auto menu = desktopEntry(usr() + "/share/applications/" + Id + ".desktop");
    EXPECT_EQ(menu.value("Exec"), "sonalto");
}

TEST_F(InstallTree, InstalledProgramFindsItsHelpPageAndHookLibrary)
{
    const QString bin = usr() + "/bin";
    EXPECT_EQ(QFileInfo(helpIndexPath(bin)).canonicalFilePath(),
              QFileInfo(usr() + "/share/sonalto/help/index.htm").canonicalFilePath());

    // The run path names the library folder relative to the program.
    int code = -1;
    const QString dynamic = test::runProgram(QStringLiteral("readelf"),
                                             {QStringLiteral("-d"), bin + "/sonalto"}, &code);
    EXPECT_TRUE(dynamic.contains("(RPATH)") && dynamic.contains("[$ORIGIN/../lib/sonalto]"))
        << dynamic.toStdString();

    // Started from the install, it maps the installed hook library once its
    // window is shown (without a sound server a message box would hold it up).
    SONALTO_REQUIRE_PULSE();
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", home.path());
    env.insert("TMPDIR", home.path());
    env.insert("XDG_DATA_HOME", home.path() + "/data");
    env.insert("XDG_CONFIG_HOME", home.path() + "/config");
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(bin + "/sonalto", {});
    ASSERT_TRUE(program.waitForStarted());
    const QString maps = QStringLiteral("/proc/%1/maps").arg(program.processId());
    const QString library = QFileInfo(usr() + "/lib/sonalto/libkHook.so").canonicalFilePath();
    const bool mapped = QTest::qWaitFor(
        [&] {
            QFile file(maps);
            return file.open(QIODevice::ReadOnly) && file.readAll().contains(library.toUtf8());
        },
        20000);
    EXPECT_TRUE(mapped) << "libkHook.so from " << library.toStdString() << " was not loaded";
    program.kill();
    program.waitForFinished();
}

TEST_F(InstallTree, InstalledBinariesAreStripped)
{
    for (const char *file : {"bin/sonalto", "lib/sonalto/libkHook.so"}) {
        int code = -1;
        const QString sections = test::runProgram(
            QStringLiteral("readelf"), {QStringLiteral("-SW"), usr() + "/" + file}, &code);
        ASSERT_EQ(code, 0) << file;
        EXPECT_FALSE(sections.contains(" .symtab ")) << file;
        EXPECT_FALSE(sections.contains(" .comment ")) << file;
    }
}

// The lines of the build tree's program's dynamic section.
QStringList dynamicSection()
{
    int code = -1;
    const QString dynamic = test::runProgram(
        QStringLiteral("readelf"), {QStringLiteral("-d"), SONALTO_BUILD_DIR "/sonalto"}, &code);
    EXPECT_EQ(code, 0) << dynamic.toStdString();
    return dynamic.split('\n');
}

TEST(BuildTree, ProgramNeverLoadsLibrariesFromTheCurrentFolder)
{
    // An empty entry in a run path means the current folder: a library planted
    // where `make run` is started would be loaded into the program.
    for (const QString &line : dynamicSection()) {
        if (!line.contains("(RPATH)") && !line.contains("(RUNPATH)"))
            continue;
        const QString paths = line.section('[', 1).section(']', 0, 0);
        for (const QString &entry : paths.split(':'))
            EXPECT_FALSE(entry.isEmpty()) << line.toStdString();
    }
}

TEST(BuildTree, ProgramOpensTheSoundAndCodecLibrariesOnlyWhenFirstUsed)
{
    // Linked, they and all they pull in would be loaded before the program
    // starts, at every start, delaying the window; they are opened on a worker
    // when first used instead.
    QStringList needed;
    for (const QString &line : dynamicSection())
        if (line.contains("(NEEDED)"))
            needed << line.section('[', 1).section(']', 0, 0);
    ASSERT_TRUE(needed.contains("libQt6Core.so.6")) << needed.join(' ').toStdString();
    for (const QString &library : needed)
        for (const char *lazy :
             {"libpulse", "libavcodec", "libavformat", "libavutil", "libswresample", "libsndfile"})
            EXPECT_FALSE(library.startsWith(lazy)) << library.toStdString();
}
