#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <atomic>
#include <memory>

namespace sonalto::library {

// Reads the lengths of audio files in the background, several at a time, and
// reports each one as it is known. A new request drops what the previous one had
// not done yet.
class DurationProber : public QObject
{
    Q_OBJECT
public:
    explicit DurationProber(QObject *parent = nullptr);
    ~DurationProber() override;

    void probe(const QStringList &paths);
    void cancel();
    // Lengths asked for and not reported yet.
    int pending() const { return m_pending; }

signals:
    // known false: the file cannot be read as audio.
    void durationFound(const QString &path, double seconds, bool known);
    // Every length of the last request is reported.
    void finished();

private:
    void report(int generation, const QString &path, double seconds, bool known);

    QThreadPool m_pool;
    std::shared_ptr<std::atomic<int>> m_generation;
    int m_pending = 0;
};

} // namespace sonalto::library
