#pragma once

#include "audio/PlaybackStream.h"

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <algorithm>

#include <memory>

namespace sonalto::audio {
class AudioEngine;
}

namespace sonalto::recording {

// Playback of one recording at a time. Files are opened on a worker thread; the
// session reports every change of its state by signals on its own thread, and
// notices the end of a file from the decoder's end of stream.
//
//   Stopped --start--> Opening --opened--> Playing <--pause/resume--> Paused
//   Opening --open failed--> Stopped
//   any --stop/start/end of file--> Stopped
class PlaybackSession : public QObject
{
    Q_OBJECT
public:
    enum class State { Stopped, Opening, Playing, Paused };
    Q_ENUM(State)
    // Why a playback ended.
    enum class StopReason {
        User,      // the stop button (or a row that cannot be played after it)
        EndOfFile, // everything that decodes was played
        Closed,    // someone else needs the sound: a recording, the input monitor, exit...
        Replaced,  // another file is being started
    };
    Q_ENUM(StopReason)

    // The engine must outlive the session; null: every start fails.
    explicit PlaybackSession(audio::AudioEngine *engine, QObject *parent = nullptr);
    ~PlaybackSession() override;

    State state() const { return m_state; }
    // Opening, playing or paused: the program holds a playback.
    bool isActive() const { return m_state != State::Stopped; }
    // The file being (or last) played.
    QString path() const { return m_path; }

    // Length of the playing file in seconds: what decodes where the container
    // only estimates it. 0 while nothing is open.
    double lengthSeconds() const;
    double positionSeconds() const;
    bool seek(double seconds);
    // Spectrum of what is heard (see PlaybackStream::spectrum); false unless playing.
    bool spectrum(float *out512) const;
    // The open stream (tests and the spectrum); null unless playing or paused.
    audio::PlaybackStream *stream() const { return m_stream.get(); }

    // Stops whatever plays and opens the file in the background; then either
    // started() or openFailed().
    void start(const QString &path);
    bool pause();  // Playing -> Paused
    bool resume(); // Paused -> Playing
    // Any state -> Stopped; emits stopped(reason) unless already stopped.
    void stop(StopReason reason);

signals:
    void stateChanged(sonalto::recording::PlaybackSession::State state);
    void started(const QString &path, double lengthSeconds);
    void paused();
    void resumed();
    void stopped(sonalto::recording::PlaybackSession::StopReason reason);
    // The file could not be opened or played: the session is Stopped.
    void openFailed(const QString &path, const QString &message);

private:
    struct Relay;
    void setState(State state);
    void opened(int generation, std::shared_ptr<audio::PlaybackStream> stream,
                const QString &error);
    void reachedEnd(int generation);

    audio::AudioEngine *m_engine;
    State m_state = State::Stopped;
    QString m_path;
    std::shared_ptr<audio::PlaybackStream> m_stream;
    int m_generation = 0;
    std::shared_ptr<Relay> m_relay;
    QThreadPool m_opener;
};

} // namespace sonalto::recording
