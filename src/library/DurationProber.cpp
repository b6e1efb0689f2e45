#include "library/DurationProber.h"

#include "common/NativeNames.h"

#include "audio/Encoders.h"

#include <QFile>

#include <algorithm>
#include <mutex>
#include <thread>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace sonalto::library {

// What the workers have read and the receiver not yet taken; shared with the
// jobs, which may still be running when a new request starts.
struct DurationProber::Results
{
    std::mutex mutex;
    int generation = 0;
    QList<ProbedDuration> waiting;
};

DurationProber::DurationProber(QObject *parent)
    : QObject(parent), m_results(std::make_shared<Results>())
{
    // Reading headers waits on the disk more than on the processor; more
    // threads would mostly compete with the window for the processor, and each
    // keeps its own heap.
    m_pool.setMaxThreadCount(int(std::clamp<unsigned>(std::thread::hardware_concurrency(), 1, 4)));
    m_batchTimer.setSingleShot(true);
    connect(&m_batchTimer, &QTimer::timeout, this, &DurationProber::handOver);
}

DurationProber::~DurationProber()
{
    cancel();
    m_pool.waitForDone();
}

void DurationProber::cancel()
{
    {
        std::lock_guard lock(m_results->mutex);
        ++m_results->generation;
        m_results->waiting.clear();
    }
    m_pool.clear();
    m_batchTimer.stop();
    m_pending = 0;
}

void DurationProber::probe(const QStringList &paths)
{
    cancel();
    m_pending = int(paths.size());
    if (paths.isEmpty()) {
        emit finished();
        return;
    }
    int generation = 0;
    {
        std::lock_guard lock(m_results->mutex);
        generation = m_results->generation;
    }
    for (const QString &path : paths) {
        m_pool.start([this, results = m_results, generation, path] {
            {
                std::lock_guard lock(results->mutex);
                if (results->generation != generation)
                    return;
            }
            const auto seconds = audio::probeDurationSeconds(encodeFileName(path).toStdString());
            std::lock_guard lock(results->mutex);
            if (results->generation != generation)
                return;
            results->waiting.append({path, seconds.value_or(0), seconds.has_value()});
            // The first of a batch tells the receiver; the rest join it. The
            // destructor waits for every job, so the prober is still there.
            if (results->waiting.size() == 1)
                QMetaObject::invokeMethod(this, &DurationProber::resultsWaiting,
                                          Qt::QueuedConnection);
        });
    }
}

void DurationProber::resultsWaiting()
{
    if (m_batchTimer.isActive())
        return;
    const qint64 since = m_sinceHandOver.isValid() ? m_sinceHandOver.elapsed() : BatchIntervalMs;
    m_batchTimer.start(int(std::max<qint64>(0, BatchIntervalMs - since)));
}

void DurationProber::handOver()
{
    QList<ProbedDuration> batch;
    {
        std::lock_guard lock(m_results->mutex);
        batch.swap(m_results->waiting);
    }
    if (batch.isEmpty())
        return;
    m_sinceHandOver.start();
    m_pending = std::max(0, m_pending - int(batch.size()));
    emit durationsFound(batch);
    if (m_pending > 0)
        return;
    emit finished();
#ifdef __GLIBC__
    // Reading thousands of headers leaves the workers' heaps full of freed
    // memory that the C library keeps for later: it goes back to the system.
    m_pool.start([] { malloc_trim(0); });
#endif
}

} // namespace sonalto::library
