#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>
#include <QTimer>

#include <memory>

namespace sonalto::library {

// The length of one file as read; known false: it cannot be read as audio.
struct ProbedDuration
{
    QString path;
    double seconds = 0;
    bool known = false;
};

// Reads the lengths of audio files in the background, a few at a time, and
// hands them over in batches, at most one every BatchIntervalMs: a folder of
// thousands of files costs the receiver a few calls, not one per file. A new
// request drops what the previous one had not done yet.
class DurationProber : public QObject
{
    Q_OBJECT
public:
    static constexpr int BatchIntervalMs = 100;

    explicit DurationProber(QObject *parent = nullptr);
    ~DurationProber() override;

    void probe(const QStringList &paths);
    void cancel();
    // Lengths asked for and not handed over yet.
    int pending() const { return m_pending; }

signals:
    // Lengths of the last request, each once, in the order they were read.
    void durationsFound(const QList<sonalto::library::ProbedDuration> &lengths);
    // Every length of the last request is handed over.
    void finished();

private:
    struct Results;
    void resultsWaiting();
    void handOver();

    QThreadPool m_pool;
    std::shared_ptr<Results> m_results;
    QTimer m_batchTimer;
    QElapsedTimer m_sinceHandOver;
    int m_pending = 0;
};

} // namespace sonalto::library
