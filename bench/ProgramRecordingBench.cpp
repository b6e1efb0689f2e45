// The whole program recording with its window shown (clock and spectrum running):
// starts Sonalto under the session's X display, records from the clocked line-in
// by its File menu, and reports the CPU the program and its encoder used over the
// measured seconds.
//
//   bench_program_recording SONALTO-BINARY FORMAT(0 mp3, 1 wma, 2 ogg, 3 wav) SECONDS WORK-DIR
#include "app/Unit1.h"
#include "common/Projectdir.h"
#include "settings/IniFile.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

using namespace sonalto;

namespace {

// utime + stime of a process in seconds, and its parent and name.
struct ProcStat
{
    double cpu = -1;
    int ppid = 0;
    std::string comm;
};

ProcStat procStat(int pid)
{
    ProcStat s;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return s;
    const size_t open = line.find('('), close = line.rfind(')');
    s.comm = line.substr(open + 1, close - open - 1);
    std::istringstream rest(line.substr(close + 2));
    std::string field;
    std::vector<std::string> fields;
    while (rest >> field)
        fields.push_back(field);
    // fields[0] is the state: ppid is [1], utime [11], stime [12].
    s.ppid = std::stoi(fields[1]);
    s.cpu = double(std::stoull(fields[11]) + std::stoull(fields[12])) / sysconf(_SC_CLK_TCK);
    return s;
}

int childNamed(int parent, const std::string &name)
{
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok)
            continue;
        const ProcStat s = procStat(pid);
        if (s.ppid == parent && s.comm == name)
            return pid;
    }
    return 0;
}

QString run(const QStringList &args)
{
    QProcess p;
    p.start(args.front(), args.mid(1));
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// Runs the event loop until the window's input session has done all it was asked.
bool settle(TForm1 &form)
{
    QElapsedTimer t;
    t.start();
    while (!form.Input->settled() && t.elapsed() < 8000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return form.Input->settled();
}

bool writeSettings(const QString &appDir, const QString &audioDir, int format)
{
    ProjectDirs::instance().SetAppDir(appDir);
    ProjectDirs::instance().SetAudioDir(audioDir);
    TForm1::Options options;
    options.showMessages = false;
    TForm1 form(std::move(options));
    bool found = false;
    settle(form);
    for (int d = 0; d < form.ComboBox2->count() && !found; ++d) {
        form.ComboBox2->setCurrentIndex(d);
        form.ComboBox2Change();
        settle(form);
        // The line-in itself, not the monitor of the sink that feeds it.
        const int input = form.ComboBox1->findText(QStringLiteral("LineIn"), Qt::MatchExactly);
        if (input >= 0) {
            form.ComboBox1->setCurrentIndex(input);
            form.ComboBox1Change();
            found = settle(form);
        }
    }
    form.ComboBox3->setCurrentIndex(format);
    form.ComboBox3Change();
    const int rate = form.ComboBox4->findText(QStringLiteral("44.1"), Qt::MatchContains);
    if (format != 0 && rate >= 0) {
        form.ComboBox4->setCurrentIndex(rate);
        form.ComboBox4Change();
    }
    form.MinitoTray = false;
    form.saveSettings();
    // The output folder, which the program otherwise takes from the user's home.
    settings::IniFile(appDir + QStringLiteral("Config.ini"))
        .writeString(QStringLiteral("Other"), QStringLiteral("AudioDir"), audioDir);
    return found;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SONALTO-BINARY FORMAT SECONDS WORK-DIR\n", argv[0]);
        return 2;
    }
    const QString display = qEnvironmentVariable("DISPLAY");
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString binary = QString::fromLocal8Bit(argv[1]);
    const int format = std::atoi(argv[2]);
    const double seconds = std::atof(argv[3]);
    const QString work = QString::fromLocal8Bit(argv[4]);
    const QString dataHome = work + QStringLiteral("/data");
    const QString audioDir = work + QStringLiteral("/audio/");
    QDir().mkpath(dataHome + QStringLiteral("/Sonalto"));
    QDir().mkpath(audioDir);
    if (!writeSettings(dataHome + QStringLiteral("/Sonalto/"), audioDir, format)) {
        std::fprintf(stderr, "no LineIn input\n");
        return 1;
    }

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("DISPLAY"), display);
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    program.setProcessEnvironment(env);
    program.start(binary, {});
    if (!program.waitForStarted())
        return 1;
    const int pid = int(program.processId());
    QString window;
    for (int i = 0; i < 100 && window.isEmpty(); ++i) {
        QThread::msleep(100);
        window = run({"xdotool", "search", "--onlyvisible", "--pid", QString::number(pid)});
    }
    window = window.split('\n').last();
    QThread::msleep(500);
    run({"xdotool", "mousemove", "--window", window, "12", "10", "click", "1"});
    QThread::msleep(300);
    run({"xdotool", "key", "Down", "Return"});
    bool started = false;
    for (int i = 0; i < 100 && !started; ++i) {
        QThread::msleep(50);
        started = !QDir(audioDir).entryList(QDir::Files).isEmpty();
    }
    if (!started) {
        std::fprintf(stderr, "the program did not start recording\n");
        program.kill();
        program.waitForFinished();
        return 1;
    }
    const char *encoderName = format == 0 ? "lame" : format == 2 ? "oggenc" : nullptr;
    const int encoder = encoderName ? childNamed(pid, encoderName) : 0;

    // Measured after a settling second, so start-up is left out.
    QThread::msleep(1000);
    const double programBefore = procStat(pid).cpu;
    const double encoderBefore = encoder ? procStat(encoder).cpu : 0;
    QElapsedTimer wall;
    wall.start();
    QThread::msleep(static_cast<unsigned long>(seconds * 1000));
    const double programCpu = procStat(pid).cpu - programBefore;
    const double encoderCpu = encoder ? procStat(encoder).cpu - encoderBefore : 0;
    const double elapsed = wall.elapsed() / 1000.0;
    static const char *names[] = {"mp3", "wma", "ogg", "wav"};
    std::printf("program format=%s wall_s=%.1f program_cpu_s=%.3f program_core_pct=%.2f",
                names[format], elapsed, programCpu, 100.0 * programCpu / elapsed);
    if (encoder)
        std::printf(" encoder=%s encoder_cpu_s=%.3f", encoderName, encoderCpu);
    std::printf("\n");
    program.kill();
    program.waitForFinished();
    return 0;
}
