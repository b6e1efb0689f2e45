#include "app/Application.h"

#include "app/AboutForm.h"
#include "app/CommandLine.h"
#include "app/RemoteControl.h"
#include "app/SingleInstance.h"
#include "app/Unit1.h"
#include "common/Icons.h"
#include "common/InstallPaths.h"
#include "common/Projectdir.h"
#include "common/UiLanguage.h"
#include "hotkeys/HotKeyFile.h"
#include "hotkeys/Keyoptionunit.h"
#include "options/Audiooptionunit.h"
#include "options/Generaloptionunit.h"
#include "options/Mp3unit.h"
#include "scheduler/Scheduleunit.h"
#include "settings/IniFile.h"
#include "tray/Trayicon.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QScreen>

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <future>
#include <sys/socket.h>
#include <unistd.h>

namespace sonalto {

namespace {

// SIGTERM, SIGHUP and SIGINT write a byte here; the window's thread reads it.
int endSignalChannel[2] = {-1, -1};

// From the very start: a signal that comes while the window is being built
// must end the program in order (lock and socket removed), not kill it.
void catchEndSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, endSignalChannel) != 0)
        return;
    // A burst of signals must never block the handler.
    ::fcntl(endSignalChannel[0], F_SETFL, ::fcntl(endSignalChannel[0], F_GETFL) | O_NONBLOCK);
    struct sigaction action = {};
    action.sa_handler = [](int) {
        const int saved = errno;
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(endSignalChannel[0], &byte, 1);
        errno = saved;
    };
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGHUP, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

bool endRequested()
{
    char byte;
    return endSignalChannel[1] >= 0 &&
           ::recv(endSignalChannel[1], &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 1;
}

void printTo(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// What the copy that runs answered an action, as the exit status (and the
// reason on standard error).
int replyStatus(const SingleInstance::Reply &reply)
{
    using Kind = SingleInstance::Reply::Kind;
    switch (reply.kind) {
    case Kind::Done:
        return ExitDone;
    case Kind::Failed:
        printTo(stderr, QStringLiteral("sonalto: ") + reply.reason + QLatin1Char('\n'));
        break;
    case Kind::NotRunning:
        printTo(stderr, QStringLiteral("sonalto: Sonalto is not running\n"));
        break;
    case Kind::NoAnswer:
        printTo(stderr, QStringLiteral("sonalto: the running Sonalto did not answer\n"));
        break;
    }
    return ExitFailed;
}

} // namespace

QString resolveFolders()
{
    ProjectDirs &dirs = ProjectDirs::instance();
    dirs.SetAppDir(ProjectDirs::defaultAppDir());
    settings::IniFile ini(dirs.AppDir() + QStringLiteral("Config.ini"));
    const QString stored =
        ini.readString(QStringLiteral("Other"), QStringLiteral("AudioDir"), QStringLiteral("0"));
    QString missing;
    QString audioDir = stored;
    if (audioDir.isEmpty() || !QDir(audioDir).exists()) {
        audioDir = ProjectDirs::defaultAudioDir();
        // "0" (or nothing) names no folder: the default is the user's folder then.
        if (!stored.isEmpty() && stored != QLatin1String("0"))
            missing = stored;
    }
    dirs.SetAudioDir(audioDir);
    if (missing.isEmpty())
        ini.writeString(QStringLiteral("Other"), QStringLiteral("AudioDir"), dirs.AudioDir());
    // A first start gets the hot-key file with the three entries and no keys in
    // them, ready for the key-option dialog.
    hotkeys::createHotKeyFileIfMissing(hotkeys::hotKeyFilePath(dirs.AppDir()));
    return missing;
}

int runApplication(int argc, char **argv)
{
    // An encoder program that dies must give a write error, not end the program.
    std::signal(SIGPIPE, SIG_IGN);
    // The command line is read before anything needs a display: the help, the
    // version and an action for the copy that runs work without one.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = parseCommandLine(arguments);
    if (commandLine.endNow) {
        printTo(stdout, commandLine.output);
        printTo(stderr, commandLine.error);
        return commandLine.exitCode;
    }
    const QByteArray request = actionRequest(commandLine.action);
    if (!request.isEmpty()) {
        const SingleInstance::Reply reply = SingleInstance::ask(request);
        if (reply.kind != SingleInstance::Reply::Kind::NotRunning ||
            !actionStartsProgram(commandLine.action))
            return replyStatus(reply);
    }
    // No copy runs: --record and --toggle start one that records.
    const bool recordAtStart = commandLine.action == CommandLine::Action::Record ||
                               commandLine.action == CommandLine::Action::Toggle;

    catchEndSignals();
    QApplication app(argc, argv);
    // No display name: Qt would append " — Sonalto" to every window title on
    // Linux, and the windows set their titles in full ("Sonalto - 停止").
    QApplication::setApplicationName(QStringLiteral("Sonalto"));
    QApplication::setApplicationVersion(programVersion());
    // Ties the windows to the menu entry (the Wayland app id, the window icon).
    QGuiApplication::setDesktopFileName(desktopFileId());
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setStyle(makeApplicationStyle());
    // The windows speak the desktop's language: Chinese, or English for any other.
    const std::unique_ptr<QTranslator> translator = translatorFor(desktopUiLanguage());
    if (translator)
        QCoreApplication::installTranslator(translator.get());

    // The font list and the session bus (accessibility, the menu bar) are set up
    // by workers while the window is built: each takes several milliseconds, and
    // the window's first widgets would otherwise wait for them in turn.
    std::future<void> fontList = std::async(std::launch::async, [] { QFontDatabase::families(); });
    std::future<void> sessionBus =
        std::async(std::launch::async, [] { QDBusConnection::sessionBus(); });
    SingleInstance instance;
    // Another copy may have started meanwhile: the action goes to it then.
    if (!instance.becomeFirst(recordAtStart ? request : QByteArray()))
        return recordAtStart ? replyStatus(instance.reply()) : 0;
    // From an end signal on, and once the event loop has ended, a start finds
    // this copy closing: it waits until this one has gone and then runs,
    // instead of asking a window that is about to close.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &instance,
                     &SingleInstance::stopListening);
    instance.setEndingCheck(endRequested);

    // The sound server is asked for its devices once the window has been
    // painted (see TForm1::Options).
    TForm1::Options options;
    options.deferToFirstPaint = true;

    // A first start has no hot-key file yet (resolveFolders makes it, empty).
    const bool firstStart =
        !QFileInfo::exists(hotkeys::hotKeyFilePath(ProjectDirs::defaultAppDir()));
    const QString missingFolder = resolveFolders();

    TForm1 form(std::move(options));
    if (!missingFolder.isEmpty())
        form.showMissingOutputFolder(missingFolder);
    if (firstStart)
        form.showHotKeysUnset();
    QObject::connect(&instance, &SingleInstance::activationRequested, &form,
                     &TForm1::activateFromSecondInstance);
    // The dialogs are made once the window has been painted (only a click shows
    // them, and each click checks that its dialog is there). The general options
    // come first: they hold the base file name and the tray flag, which nothing
    // needs before then (recording waits for the audio layer, which starts later).
    QObject::connect(
        &form, &TForm1::firstPainted, &form,
        [&form] {
            form.setGeneralOptionForm(new TGeneralOptionForm(form.configPath(), &form));
            form.BuyForm = new TBuyForm(&form);
            form.AudioOptionForm = new TAudioOptionForm(form.configPath(), &form);
            form.KeyOptionForm = new TKeyOptionForm(&form);
            form.ScheduleForm = new TScheduleForm(&form);
            form.Form2 = new QWidget(&form, Qt::Window);
            form.Form2->setWindowTitle(QStringLiteral("Form2"));
            form.Mp3Form = new TMp3Form(form.configPath(), &form);
        },
        Qt::SingleShotConnection);

    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        form.move(area.center() - form.rect().center());
    }
    // Asked to end before the window is up: nothing to finish or keep yet.
    if (endRequested())
        return 0;

    // The actions of later starts' command lines, answered when carried out.
    RemoteControl remote(form);
    QObject::connect(&instance, &SingleInstance::actionRequested, &remote,
                     [&instance, &remote](quint64 id, const QByteArray &action) {
                         remote.perform(actionOfRequest(action),
                                        [&instance, id](bool done, const QString &reason) {
                                            instance.answer(id, done, reason);
                                        });
                     });

    // Ended by the session (log-out, kill) or by a --quit: finish a recording
    // and keep the settings, as a normal exit would, without asking anything.
    // (quit() would first close the window, which may hide it into the tray or
    // ask.) The window finishes the take when it goes, and keeps its end for
    // the next start to show.
    auto endLikeExit = [&form] {
        if (form.IsRecording)
            form.ToolButton3Click();
        form.saveSettings();
        QCoreApplication::exit(0);
    };
    QObject::connect(&remote, &RemoteControl::quitRequested, &form, endLikeExit);
    if (endSignalChannel[1] >= 0) {
        auto *notifier = new QSocketNotifier(endSignalChannel[1], QSocketNotifier::Read, &form);
        QObject::connect(notifier, &QSocketNotifier::activated, &form, [notifier, endLikeExit] {
            notifier->setEnabled(false);
            endLikeExit();
        });
    }

    // Started to record: in the tray where there is one, else with the window.
    if (recordAtStart && TTrayIcon::hostAvailable())
        form.startHidden();
    else
        form.show();
    if (recordAtStart) {
        remote.perform(CommandLine::Action::Record, [&form](bool done, const QString &reason) {
            if (done)
                return;
            // The window says why as well; it comes out of the tray to say it.
            printTo(stderr, QStringLiteral("sonalto: ") + reason + QLatin1Char('\n'));
            form.activateFromSecondInstance();
        });
    }
    return app.exec();
}

} // namespace sonalto
