// Time for the main window to list a folder of 1,000 recordings of all four
// formats (RefreshRecordingList), against reading the same files' durations one
// after the other in this process. The folder is made once and kept.
//
//     bench_list_refresh FOLDER [COUNT]
#include "RecordingFiles.h"

#include "app/Unit1.h"
#include "audio/Encoders.h"
#include "audio/VirtualBackend.h"
#include "common/Projectdir.h"
#include "library/DurationProber.h"
#include "library/ListFormat.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace sonalto;

namespace {

const char *const Extensions[] = {"mp3", "wma", "ogg", "wav"};

// Files rec0000.mp3, rec0001.wma, ... 2 to 4 s of a tone each, made when missing.
bool makeFolder(const QString &dir, int count)
{
    QDir().mkpath(dir);
    const audio::PcmFormat format{22050, 1};
    int made = 0;
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/rec%2.%3")
                                 .arg(dir)
                                 .arg(i, 4, 10, QLatin1Char('0'))
                                 .arg(QLatin1String(Extensions[i % 4]));
        if (QFile::exists(path))
            continue;
        std::string error;
        const double seconds = 2.0 + (i % 9) * 0.25;
        if (!test::writeRecording(path, test::toneSamples(200.0 + i, seconds, format), format,
                                  &error)) {
            std::fprintf(stderr, "cannot make %s: %s\n", qPrintable(path), error.c_str());
            return false;
        }
        ++made;
    }
    if (made > 0)
        std::printf("made %d files in %s\n", made, qPrintable(dir));
    return true;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FOLDER [COUNT]\n", argv[0]);
        return 2;
    }
    const QString dir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const int count = argc > 2 ? std::atoi(argv[2]) : 1000;
    if (!makeFolder(dir, count))
        return 1;

    QTemporaryDir appDir;
    ProjectDirs::instance().SetAppDir(appDir.path());
    ProjectDirs::instance().SetAudioDir(dir);

    auto backend = std::make_unique<audio::VirtualBackend>();
    audio::VirtualDevice card;
    card.id = "card0";
    card.name = "Card";
    card.inputs.push_back({"Mic", audio::InputTypeMicrophone, 0.5f, {}, "card0.in", ""});
    backend->addDevice(card);
    backend->setDefaultSource("card0.in");
    TForm1::Options options;
    options.backend = std::move(backend);
    options.useSystemBackend = false;
    options.showMessages = false;
    TForm1 form(std::move(options)); // lists the folder once already (warms the file cache)

    const int runs = 5;
    std::vector<double> refresh, listed, scan, probe;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        form.RefreshRecordingList();
        refresh.push_back(t.nsecsElapsed() / 1e6);
        // The lengths come from the background: done when the last one is shown.
        while (form.DurationProbe->pending() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        listed.push_back(t.nsecsElapsed() / 1e6);
    }
    const int rows = form.ListView1->topLevelItemCount();

    // The parts: the folder scan alone, and every duration read one after the other.
    const QString audioDir = ProjectDirs::instance().AudioDir();
    QList<library::FolderEntry> entries;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        entries = library::scanRecordingFolder(audioDir);
        scan.push_back(t.nsecsElapsed() / 1e6);
    }
    int readable = 0;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        readable = 0;
        for (const library::FolderEntry &e : entries)
            readable +=
                audio::probeDurationSeconds(QFile::encodeName(audioDir + e.fileName).toStdString())
                    ? 1
                    : 0;
        probe.push_back(t.nsecsElapsed() / 1e6);
    }

    std::printf("rows=%d readable=%d\n", rows, readable);
    std::printf("RefreshRecordingList  median %.1f ms (returns; lengths follow)\n",
                median(refresh));
    std::printf("every length listed   median %.1f ms (min %.1f) target <= 1000 ms\n",
                median(listed), *std::min_element(listed.begin(), listed.end()));
    std::printf("folder scan alone     median %.1f ms\n", median(scan));
    std::printf("durations, 1 thread   median %.1f ms\n", median(probe));
    std::printf("listed / single-threaded probe = %.2f\n", median(listed) / median(probe));
    return 0;
}
