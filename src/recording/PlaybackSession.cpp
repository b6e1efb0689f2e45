#include "recording/PlaybackSession.h"

#include "audio/AudioEngine.h"
#include "common/NativeNames.h"

#include <QCoreApplication>
#include <QFile>

#include <atomic>
#include <mutex>

namespace sonalto::recording {

// Carries results from worker and stream threads back to the session's thread,
// and nowhere once the session is gone.
struct PlaybackSession::Relay
{
    std::mutex mutex;
    PlaybackSession *session = nullptr;
    std::atomic<int> latest{0}; // generation of the newest start

    template <typename F> void post(F f)
    {
        std::lock_guard lock(mutex);
        if (session)
            QMetaObject::invokeMethod(
                session, [s = session, f = std::move(f)] { f(*s); }, Qt::QueuedConnection);
    }
};

PlaybackSession::PlaybackSession(audio::AudioEngine *engine, QObject *parent)
    : QObject(parent), m_engine(engine), m_relay(std::make_shared<Relay>())
{
    m_relay->session = this;
    m_opener.setMaxThreadCount(1);
}

PlaybackSession::~PlaybackSession()
{
    {
        std::lock_guard lock(m_relay->mutex);
        m_relay->session = nullptr;
    }
    m_relay->latest = -1; // queued opens need not run
    m_opener.waitForDone();
    m_stream.reset();
}

double PlaybackSession::lengthSeconds() const
{
    // Read afresh: where the container only estimates it, decoding corrects it.
    return m_stream ? m_stream->bytesToSeconds(m_stream->lengthBytes()) : 0;
}

double PlaybackSession::positionSeconds() const
{
    return m_stream ? m_stream->bytesToSeconds(m_stream->positionBytes()) : 0;
}

bool PlaybackSession::seek(double seconds)
{
    if (!m_stream)
        return false;
    return m_stream->setPositionBytes(
        m_stream->secondsToBytes(std::clamp(seconds, 0.0, lengthSeconds())));
}

bool PlaybackSession::spectrum(float *out512) const
{
    return m_state == State::Playing && m_stream && m_stream->spectrum(out512);
}

void PlaybackSession::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void PlaybackSession::start(const QString &path)
{
    if (m_state != State::Stopped)
        stop(StopReason::Replaced);
    m_path = path;
    const int generation = ++m_generation;
    m_relay->latest = generation;
    setState(State::Opening);
    if (!m_engine) {
        opened(generation, nullptr,
               QCoreApplication::translate("sonalto::recording", "没有可用的声音输出"));
        return;
    }
    // Opening reads the file's headers and may have to decode it to learn its
    // length: never on the caller's thread.
    m_opener.start([relay = m_relay, engine = m_engine, generation,
                    nativePath = encodeFileName(path).toStdString()] {
        if (relay->latest != generation)
            return; // superseded before it began
        std::string error;
        std::shared_ptr<audio::PlaybackStream> stream = engine->openFile(nativePath, &error);
        relay->post([generation, stream, message = QString::fromStdString(error)](
                        PlaybackSession &session) { session.opened(generation, stream, message); });
    });
}

void PlaybackSession::opened(int generation, std::shared_ptr<audio::PlaybackStream> stream,
                             const QString &error)
{
    if (generation != m_generation || m_state != State::Opening)
        return; // stopped or replaced meanwhile; the stream closes here
    QString message = error;
    if (stream) {
        std::weak_ptr<Relay> relay = m_relay;
        stream->setEndHandler([relay, generation] {
            if (auto r = relay.lock())
                r->post([generation](PlaybackSession &session) { session.reachedEnd(generation); });
        });
        if (stream->play()) {
            m_stream = std::move(stream);
            setState(State::Playing);
            emit started(m_path, lengthSeconds());
            return;
        }
        message = QCoreApplication::translate("sonalto::recording", "声音输出拒绝播放");
    }
    setState(State::Stopped);
    emit openFailed(m_path, message);
}

void PlaybackSession::reachedEnd(int generation)
{
    if (generation != m_generation || m_state != State::Playing || !m_stream ||
        m_stream->state() != audio::ActiveState::Stopped)
        return;
    stop(StopReason::EndOfFile);
}

bool PlaybackSession::pause()
{
    if (m_state != State::Playing || !m_stream || !m_stream->pause())
        return false;
    setState(State::Paused);
    emit paused();
    return true;
}

bool PlaybackSession::resume()
{
    if (m_state != State::Paused || !m_stream || !m_stream->play())
        return false;
    setState(State::Playing);
    emit resumed();
    return true;
}

void PlaybackSession::stop(StopReason reason)
{
    if (m_state == State::Stopped)
        return;
    ++m_generation; // an open still under way, or an end already on its way, no longer counts
    m_relay->latest = m_generation;
    if (m_stream) {
        m_stream->stop();
        m_stream.reset();
    }
    setState(State::Stopped);
    emit stopped(reason);
}

} // namespace sonalto::recording
