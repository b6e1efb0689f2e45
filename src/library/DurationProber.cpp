#include "library/DurationProber.h"

#include "audio/Encoders.h"

#include <QFile>

#include <algorithm>
#include <thread>

namespace sonalto::library {

DurationProber::DurationProber(QObject *parent)
    : QObject(parent), m_generation(std::make_shared<std::atomic<int>>(0))
{
    // Reading headers waits on the disk more than on the processor.
    m_pool.setMaxThreadCount(int(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, 8)));
}

DurationProber::~DurationProber()
{
    cancel();
    m_pool.waitForDone();
}

void DurationProber::cancel()
{
    ++*m_generation;
    m_pool.clear();
    m_pending = 0;
}

void DurationProber::probe(const QStringList &paths)
{
    cancel();
    const int generation = *m_generation;
    m_pending = int(paths.size());
    if (paths.isEmpty()) {
        emit finished();
        return;
    }
    for (const QString &path : paths) {
        m_pool.start([this, token = m_generation, generation, path] {
            if (*token != generation)
                return;
            const auto seconds = audio::probeDurationSeconds(QFile::encodeName(path).toStdString());
            // The destructor waits for every job, so the prober is still there.
            QMetaObject::invokeMethod(
                this,
                [this, generation, path, seconds] {
                    report(generation, path, seconds.value_or(0), seconds.has_value());
                },
                Qt::QueuedConnection);
        });
    }
}

void DurationProber::report(int generation, const QString &path, double seconds, bool known)
{
    if (generation != *m_generation)
        return;
    emit durationFound(path, seconds, known);
    if (--m_pending == 0)
        emit finished();
}

} // namespace sonalto::library
