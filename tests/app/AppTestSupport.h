#pragma once

#include "app/Unit1.h"
#include "audio/VirtualBackend.h"
#include "common/TestSignals.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "common/TestSupport.h"
#include <csignal>

namespace sonalto::test {

// Private application and output folders for one test.
class TempFolders
{
public:
    TempFolders();
    QString appDir() const { return m_dir.path() + QStringLiteral("/app/"); }
    QString audioDir() const { return m_dir.path() + QStringLiteral("/audio/"); }
    QString root() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Points HOME and the XDG folders into a temporary folder for one test, as on a
// first start of the program.
class PrivateHome
{
public:
    PrivateHome();
    ~PrivateHome();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    QList<QPair<const char *, QByteArray>> m_saved;
};

// A backend shaped like a small machine: one sound card with a microphone, a
// line-in and two outputs (so two output-mix inputs), and the cardless endpoints.
std::unique_ptr<audio::VirtualBackend> makeTestBackend();

// A main window on the given backend (null: no sound server), messages recorded
// instead of shown; returned once its input session has settled.
std::unique_ptr<TForm1> makeForm(std::unique_ptr<audio::AudioBackend> backend);

// Runs the event loop until all the window asked of its input session has been carried
// out (devices listed, input switched, level read, monitor opened).
bool waitForInput(TForm1 &form, int timeoutMs = 8000);

// Picks the input of that name as the user does, and waits until it is in use.
void selectInput(TForm1 &form, const QString &name);
// Picks the first input whose name contains one of the words, looking through every
// device, and waits until it is in use. False when none matches.
bool selectInputWith(TForm1 &form, const QStringList &words);

// Waits until a take that is starting records, or its start has failed.
bool waitUntilStarted(TForm1 &form);
// Clicks 录制 and waits until the take records, or its start has failed.
void pressRecord(TForm1 &form);

// Runs the event loop until the recording session is idle again (a stopped take is
// finished off the GUI thread). False when it is not within the time.
bool waitUntilIdle(TForm1 &form, int timeoutMs = 20000);

// Records a WAV take from the chosen input until it holds more than `seconds` of
// audio, stops it and waits until it is finished. False when any step fails.
bool recordWav(TForm1 &form, double seconds);

// A second sound server of the test's own, on a socket of its own, which the
// test may kill and start again without disturbing the session's server.
// PULSE_SERVER points this process at it while it exists.
class OwnSoundServer
{
public:
    OwnSoundServer() : m_savedServer(qgetenv("PULSE_SERVER"))
    {
        QDir().mkpath(m_dir.path() + "/runtime");
        QDir().mkpath(m_dir.path() + "/state");
        QFile config(m_dir.path() + "/default.pa");
        if (config.open(QIODevice::WriteOnly))
            config.write("load-module module-native-protocol-unix socket=" + socket().toUtf8() +
                         " auth-anonymous=1\n"
                         "load-module module-null-sink sink_name=own_out "
                         "sink_properties=device.description=OwnSpeakers\n"
                         "load-module module-sine-source source_name=own_tone frequency=1000 "
                         "source_properties=device.description=OwnTone\n");
        qputenv("PULSE_SERVER", "unix:" + socket().toUtf8());
    }
    ~OwnSoundServer()
    {
        stop();
        qputenv("PULSE_SERVER", m_savedServer);
    }
    QString socket() const { return m_dir.path() + "/native"; }

    bool start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PULSE_RUNTIME_PATH", m_dir.path() + "/runtime");
        env.insert("PULSE_STATE_PATH", m_dir.path() + "/state");
        m_server.setProcessEnvironment(env);
        m_server.setProgram("pulseaudio");
        m_server.setArguments({"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                               "--disallow-exit=yes",
                               "--log-target=file:" + m_dir.path() + "/pulse.log", "-F",
                               m_dir.path() + "/default.pa"});
        m_server.start();
        if (!m_server.waitForStarted())
            return false;
        return QTest::qWaitFor(
            [&] {
                int code = -1;
                runProgram("pactl", {"-s", "unix:" + socket(), "info"}, &code);
                return code == 0;
            },
            10000);
    }
    void stop()
    {
        if (m_server.state() == QProcess::NotRunning)
            return;
        resume();
        m_server.kill();
        m_server.waitForFinished();
    }
    // Stops and continues the server's process, as when it hangs.
    void pause() { ::kill(pid_t(m_server.processId()), SIGSTOP); }
    void resume() { ::kill(pid_t(m_server.processId()), SIGCONT); }

private:
    QTemporaryDir m_dir;
    QByteArray m_savedServer;
    QProcess m_server;
};

// The program itself, started in a home and runtime folder of the test's own (its
// lock, socket, settings and recordings), on the offscreen platform.
class ProgramHome
{
public:
    // The settings the program starts with (Config.ini), e.g. WAV recordings.
    explicit ProgramHome(const QByteArray &config = "[Audio]\nOutputFormat=3\n");
    QString appDir() const { return m_home.path() + QStringLiteral("/data/Sonalto/"); }
    QString audioDir() const { return m_home.path() + QStringLiteral("/Documents/Sonalto/"); }
    QProcessEnvironment environment() const { return m_env; }

    // Starts the program with the arguments and waits until it answers other
    // starts (its socket is there), unless it ends first.
    bool start(QProcess &program, const QStringList &arguments = {});
    struct Ended
    {
        int code = -1;
        QString out, err;
    };
    // Runs the program with the arguments to its end.
    Ended run(const QStringList &arguments, const QProcessEnvironment &env) const;
    Ended run(const QStringList &arguments) const { return run(arguments, m_env); }
    // The recordings in the output folder, by name.
    QStringList recordings() const;
    // Waits until the file holds more than the seconds of WAV audio at its
    // default rate (8 kHz mono, 16 bits: 16000 bytes a second).
    bool waitForAudio(const QString &name, double seconds) const;

private:
    PrivateHome m_home;
    QTemporaryDir m_runtime;
    QProcessEnvironment m_env;
};

} // namespace sonalto::test
