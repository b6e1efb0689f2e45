// The main window on a folder of many recordings, set up as the program starts
// it (the session's sound server, the audio layer and the lengths after the
// first paint), its window shown on the session's display. A timer on the GUI
// thread ticks every 5 ms; the longest gap between two ticks is the longest
// time the window could not answer its user.
//
//     bench_large_folder FOLDER COUNT
//
// COUNT 0 measures the same window on an empty folder (the reference). The
// folder holds COUNT hard links to 400 recordings of all four formats, made
// once beside it and kept.
#include "RecordingFiles.h"

#include "app/Unit1.h"
#include "common/Projectdir.h"
#include "library/DurationProber.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace sonalto;

namespace {

const char *const Extensions[] = {"mp3", "wma", "ogg", "wav"};
constexpr int Originals = 400;

bool makeFolder(const QString &dir, int count)
{
    const QString originals = dir + QStringLiteral(".originals");
    QDir().mkpath(dir);
    QDir().mkpath(originals);
    const audio::PcmFormat format{22050, 1};
    QStringList sources;
    for (int i = 0; i < Originals; ++i) {
        const QString path = QStringLiteral("%1/o%2.%3")
                                 .arg(originals)
                                 .arg(i, 3, 10, QLatin1Char('0'))
                                 .arg(QLatin1String(Extensions[i % 4]));
        sources << path;
        if (QFile::exists(path))
            continue;
        std::string error;
        const double seconds = 2.0 + (i % 9) * 0.25;
        if (!test::writeRecording(path, test::toneSamples(200.0 + i, seconds, format), format,
                                  &error)) {
            std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(path), error.c_str());
            return false;
        }
    }
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/rec%2.%3")
                                 .arg(dir)
                                 .arg(i, 5, 10, QLatin1Char('0'))
                                 .arg(QLatin1String(Extensions[i % 4]));
        if (!QFile::exists(path) && ::link(QFile::encodeName(sources[i % Originals]).constData(),
                                           QFile::encodeName(path).constData()) != 0) {
            std::fprintf(stderr, "cannot link %s\n", qPrintable(path));
            return false;
        }
    }
    return true;
}

// Resident and peak resident memory of this process in MiB.
std::pair<double, double> memory()
{
    std::ifstream in("/proc/self/status");
    std::string key;
    double rss = 0, hwm = 0;
    while (in >> key) {
        if (key == "VmRSS:")
            in >> rss;
        else if (key == "VmHWM:")
            in >> hwm;
        else
            in.ignore(1 << 16, '\n');
    }
    return {rss / 1024, hwm / 1024};
}

// The longest gap between the ticks of a 5 ms timer since the last reset.
class Heartbeat : public QObject
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this,
                         [this] { m_longest = std::max(m_longest, m_clock.restart()); });
    }
    void start()
    {
        m_longest = 0;
        m_clock.start();
        m_timer.start();
    }
    // Counts the time since the last tick too (a call that has just returned).
    qint64 longest() const { return std::max(m_longest, m_clock.elapsed()); }
    void reset()
    {
        m_longest = 0;
        m_clock.restart();
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_longest = 0;
};

int lengthsShown(const TForm1 &form)
{
    int shown = 0;
    for (int i = 0; i < form.ListView1->topLevelItemCount(); ++i)
        shown += form.ListView1->topLevelItem(i)->text(2).isEmpty() ? 0 : 1;
    return shown;
}

bool waitForLengths(TForm1 &form, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    while (form.DurationProbe->pending() > 0 && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    return form.DurationProbe->pending() == 0;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER COUNT\n", argv[0]);
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() +
                        QStringLiteral("-%1").arg(count) + QLatin1Char('/');
    if (!makeFolder(dir, count))
        return 1;
    QTemporaryDir appDir;
    ProjectDirs::instance().SetAppDir(appDir.path() + QLatin1Char('/'));
    ProjectDirs::instance().SetAudioDir(dir);

    Heartbeat beat;
    beat.start();
    QElapsedTimer clock;
    clock.start();
    TForm1::Options options;
    options.showMessages = false;
    options.deferToFirstPaint = true; // as the program starts it
    TForm1 form(std::move(options));
    const qint64 built = clock.elapsed();
    qint64 painted = -1;
    double paintRss = 0;
    QObject::connect(&form, &TForm1::firstPainted, [&] {
        painted = clock.elapsed();
        paintRss = memory().first;
        beat.reset(); // from the first picture on, the user can act
    });
    form.show();
    while (painted < 0 && clock.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const bool complete = waitForLengths(form, 60000);
    const qint64 lengthsAt = clock.elapsed();
    const qint64 startStall = beat.longest();
    const auto [rssListed, hwmListed] = memory();
    // What the window gives back once it is quiet.
    beat.reset();
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const double rssSettled = memory().first;
    const int shown = lengthsShown(form);

    // A rescan, as after the output folder changed.
    beat.reset();
    clock.restart();
    form.RefreshRecordingList();
    const qint64 refreshCall = clock.elapsed();
    const bool rescanComplete = waitForLengths(form, 60000);
    const qint64 rescanAt = clock.elapsed();
    const qint64 rescanStall = beat.longest();
    const auto [rssRescan, hwmRescan] = memory();

    std::printf("files=%d rows=%d lengths_shown=%d complete=%d\n", count,
                form.ListView1->topLevelItemCount(), shown, complete && rescanComplete ? 1 : 0);
    std::printf("start_built_ms=%lld start_paint_ms=%lld start_lengths_ms=%lld "
                "start_stall_ms=%lld\n",
                built, painted, lengthsAt - painted, startStall);
    std::printf("paint_rss_mib=%.1f start_rss_mib=%.1f start_peak_mib=%.1f settled_rss_mib=%.1f\n",
                paintRss, rssListed, hwmListed, rssSettled);
    std::printf("rescan_call_ms=%lld rescan_lengths_ms=%lld rescan_stall_ms=%lld "
                "rescan_rss_mib=%.1f rescan_peak_mib=%.1f\n",
                refreshCall, rescanAt, rescanStall, rssRescan, hwmRescan);
    return 0;
}
