// Process start: folders, the settings write-back and the single-instance rule.
#include "AppTestSupport.h"
#include "app/Application.h"
#include "app/SingleInstance.h"
#include "common/Projectdir.h"
#include "common/TestSupport.h"
#include "settings/IniFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace sonalto;
using sonalto::test::PrivateHome;
using namespace std::chrono_literals;

TEST(Startup, FirstStartCreatesFoldersAndWritesOutputFolderBack)
{
    PrivateHome home;
    resolveFolders();
    const QString appDir = home.path() + "/data/Sonalto/";
    EXPECT_EQ(ProjectDirs::instance().AppDir(), appDir);
    EXPECT_TRUE(QDir(appDir).exists()) << "settings could never be saved without it";
    const QString audioDir = home.path() + "/Documents/Sonalto/";
    EXPECT_EQ(ProjectDirs::instance().AudioDir(), audioDir);
    EXPECT_TRUE(QDir(audioDir).exists());
    const settings::IniFile ini(appDir + "Config.ini");
    EXPECT_EQ(ini.readString("Other", "AudioDir", "0"), audioDir);
}

TEST(Startup, StoredOutputFolderIsKeptWithOrWithoutTrailingSlash)
{
    PrivateHome home;
    const QString rec = home.path() + "/Rec";
    QDir().mkpath(rec);
    QDir().mkpath(home.path() + "/data/Sonalto");
    settings::IniFile ini(home.path() + "/data/Sonalto/Config.ini");
    ini.writeString("Other", "AudioDir", rec);
    resolveFolders();
    EXPECT_EQ(ProjectDirs::instance().AudioDir(), rec + "/");
    EXPECT_EQ(ini.readString("Other", "AudioDir", ""), rec + "/");

    // A stored folder that is not there now (a drive not plugged in) falls back to the
    // documents folder for this run, and stays stored.
    ini.writeString("Other", "AudioDir", home.path() + "/gone/");
    EXPECT_EQ(resolveFolders(), home.path() + "/gone/");
    EXPECT_EQ(ProjectDirs::instance().AudioDir(), home.path() + "/Documents/Sonalto/");
    EXPECT_EQ(ini.readString("Other", "AudioDir", ""), home.path() + "/gone/");
}

TEST(Startup, SetAudioDirCreatesMissingFolder)
{
    QTemporaryDir dir;
    ProjectDirs::instance().SetAudioDir(dir.path() + "/new");
    EXPECT_TRUE(QDir(dir.path() + "/new").exists());
    EXPECT_TRUE(ProjectDirs::instance().AudioDir().endsWith("/new/"));
}

namespace {

// Whether a second start would run; it starts on a worker, as in a process of
// its own, while this thread's event loop lets the first copy answer.
bool secondStartRuns()
{
    auto second = std::async(std::launch::async, [] {
        SingleInstance instance;
        return instance.becomeFirst();
    });
    const bool ended =
        QTest::qWaitFor([&] { return second.wait_for(0s) == std::future_status::ready; }, 15000);
    return !ended || second.get();
}

// A plain socket listening at the path; -1 when it cannot.
int listenAt(const QString &path)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 8) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

TEST(SingleInstanceTest, SecondInstanceAsksTheFirstToShowItself)
{
    SingleInstance first;
    ASSERT_TRUE(first.becomeFirst());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);

    EXPECT_FALSE(secondStartRuns());
    EXPECT_TRUE(QTest::qWaitFor([&] { return activated.count() == 1; }, 3000));
}

namespace {

// Points XDG_RUNTIME_DIR at a folder of the test's own for one test.
class PrivateRuntime
{
public:
    PrivateRuntime() : m_saved(qgetenv("XDG_RUNTIME_DIR"))
    {
        qputenv("XDG_RUNTIME_DIR", m_dir.path().toUtf8());
    }
    ~PrivateRuntime() { qputenv("XDG_RUNTIME_DIR", m_saved); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QByteArray m_saved;
};

// Hands the entry to another user; false when this test cannot (not root).
bool giveAway(const QString &path)
{
    return ::lchown(QFile::encodeName(path).constData(), 65534, 65534) == 0;
}

} // namespace

TEST(SingleInstanceTest, LockAndSocketLiveInTheUsersOwnRuntimeFolder)
{
    // Without a runtime folder the program's own folder is made under HOME.
    PrivateHome home;
    PrivateRuntime runtime;
    EXPECT_EQ(SingleInstance::runtimeFolder(), runtime.path() + "/");
    EXPECT_TRUE(SingleInstance::lockPath().startsWith(runtime.path() + "/"));
    EXPECT_TRUE(SingleInstance::serverName().startsWith(runtime.path() + "/"));

    // A runtime folder others can write to is not used; neither is one that
    // belongs to someone else.
    ::chmod(QFile::encodeName(runtime.path()).constData(), 0777);
    EXPECT_NE(SingleInstance::runtimeFolder(), runtime.path() + "/");
    ::chmod(QFile::encodeName(runtime.path()).constData(), 0700);
    if (giveAway(runtime.path())) {
        EXPECT_NE(SingleInstance::runtimeFolder(), runtime.path() + "/");
        ASSERT_EQ(::lchown(QFile::encodeName(runtime.path()).constData(), getuid(), getgid()), 0);
    }
    qunsetenv("XDG_RUNTIME_DIR");
    EXPECT_EQ(SingleInstance::runtimeFolder(), withTrailingSlash(ProjectDirs::defaultAppDir()));
}

TEST(SingleInstanceTest, PlantedLockEntriesDoNotStopTheStart)
{
    PrivateRuntime runtime;
    const QString lock = SingleInstance::lockPath();

    // A folder in place of the lock file.
    ASSERT_TRUE(QDir().mkpath(lock));
    {
        SingleInstance first;
        EXPECT_TRUE(first.becomeFirst());
    }
    QDir(lock).removeRecursively();

    // A lock file naming a process that no longer runs.
    auto plant = [&](const QByteArray &content) {
        QFile file(lock);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    };
    plant("999999\nsonalto\n" + QSysInfo::machineHostName().toUtf8() + "\n");
    {
        SingleInstance first;
        EXPECT_TRUE(first.becomeFirst());
    }

    // An empty lock file, and one naming this very process, both owned by
    // another user.
    for (const QByteArray &content :
         {QByteArray(), QByteArray::number(qint64(getpid())) + "\n\n" +
                            QSysInfo::machineHostName().toUtf8() + "\n"}) {
        QFile::remove(lock);
        plant(content);
        if (!giveAway(lock))
            break;
        SingleInstance first;
        EXPECT_TRUE(first.becomeFirst()) << content.constData();
    }
}

TEST(SingleInstanceTest, PlantedSocketNeverHearsTheActivation)
{
    PrivateRuntime runtime;
    QLocalServer planted;
    ASSERT_TRUE(planted.listen(SingleInstance::serverName()));
    if (!giveAway(SingleInstance::serverName()))
        GTEST_SKIP() << "handing a socket to another user needs root";

    SingleInstance first;
    ASSERT_TRUE(first.becomeFirst());
    QSignalSpy activated(&first, &SingleInstance::activationRequested);
    EXPECT_FALSE(secondStartRuns());
    EXPECT_TRUE(QTest::qWaitFor([&] { return activated.count() == 1; }, 3000));
    EXPECT_FALSE(planted.hasPendingConnections());
}

TEST(SingleInstanceTest, StartWhileTheFirstIsClosingTakesItsPlace)
{
    PrivateRuntime runtime;
    // The copy that is closing: it still holds the lock, takes the request
    // without answering it, then ends.
    QLockFile closing(SingleInstance::lockPath());
    ASSERT_TRUE(closing.tryLock(0));
    const int listener = listenAt(SingleInstance::serverName());
    ASSERT_GE(listener, 0);
    std::thread closingCopy([&] {
        const int client = ::accept(listener, nullptr, nullptr);
        char request[16];
        [[maybe_unused]] const auto received = ::recv(client, request, sizeof request, 0);
        ::close(client);
        ::close(listener);
        ::unlink(QFile::encodeName(SingleInstance::serverName()).constData());
        closing.unlock();
    });

    SingleInstance next;
    EXPECT_TRUE(next.becomeFirst()) << "the start must not be handed to a copy that is going";
    closingCopy.join();
    // It is the first now: a later start is sent to it.
    QSignalSpy activated(&next, &SingleInstance::activationRequested);
    EXPECT_FALSE(secondStartRuns());
    EXPECT_EQ(activated.count(), 1);
}

TEST(SingleInstanceTest, SecondProgramStartExitsAtOnce)
{
    PrivateHome home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", home.path()); // a lock and socket of our own
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(SONALTO_BINARY, {});
    ASSERT_TRUE(first.waitForStarted());
    // Wait until the first copy holds the lock (its Config.ini appears right after).
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return QFile::exists(home.path() + "/data/Sonalto/Config.ini"); }, 10000));

    QProcess second;
    second.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    second.start(SONALTO_BINARY, {});
    ASSERT_TRUE(second.waitForFinished(5000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running) << "the first copy keeps running";
    first.kill();
    first.waitForFinished();
}

TEST(Startup, EndedBySignalEndsLikeANormalExit)
{
    SONALTO_REQUIRE_PULSE();
    PrivateHome home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", home.path());
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(SONALTO_BINARY, {});
    ASSERT_TRUE(program.waitForStarted());
    const QString config = home.path() + "/data/Sonalto/Config.ini";
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(config); }, 10000));
    QTest::qWait(1500);  // the window is up
    program.terminate(); // SIGTERM, as a log-out sends it
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    // Saved as on a normal exit: what nobody chose is not written.
    EXPECT_EQ(settings::IniFile(config).readString("Audio", "OutputFormat", "none"), "none");
}

// The end signals in the middle of a take: the take is finished and kept, its end
// waits for the next start, and the program ends as its own exit does.
TEST(Startup, EndedBySignalDuringATakeKeepsTheTake)
{
    SONALTO_REQUIRE_PULSE();
    for (const auto &[signal, name] :
         {std::pair{SIGTERM, "SIGTERM"}, std::pair{SIGINT, "SIGINT"}}) {
        test::ProgramHome home;
        QProcess program;
        ASSERT_TRUE(home.start(program));
        ASSERT_EQ(home.run({"--record"}).code, 0) << name;
        ASSERT_TRUE(home.waitForAudio("01.wav", 1.0)) << name;
        ::kill(pid_t(program.processId()), signal);
        ASSERT_TRUE(program.waitForFinished(20000)) << name;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << name;
        EXPECT_EQ(program.exitCode(), 0) << name;
        const auto decoded =
            test::decodeForTest(QFile::encodeName(home.audioDir() + "01.wav").toStdString());
        ASSERT_TRUE(decoded) << name;
        EXPECT_GT(decoded->seconds(), 0.9) << name;
        // Told at the next start, and the settings are still those chosen.
        EXPECT_TRUE(QFile::exists(home.appDir() + "LastTake.ini")) << name;
        EXPECT_EQ(
            settings::IniFile(home.appDir() + "Config.ini").readString("Audio", "OutputFormat", ""),
            "3")
            << name;
        // The lock and the socket are gone with it: the next start is the first.
        EXPECT_EQ(home.run({"--stop"}).err.trimmed(), "sonalto: Sonalto is not running") << name;
    }
}
