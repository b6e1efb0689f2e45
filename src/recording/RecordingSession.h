#pragma once

#include "audio/AudioTypes.h"
#include "settings/ConfigFile.h"

#include <QDateTime>
#include <QMetaType>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

namespace sonalto::audio {
class AudioEngine;
class CaptureChannel;
class WmaWriter;
} // namespace sonalto::audio

namespace sonalto::recording {

// What a take is recorded with; read once, when it starts.
struct TakeSettings
{
    int format = 0; // 0 MP3, 1 WMA, 2 OGG, 3 WAV; anything else records MP3
    // The backend's id of the source to record (the input the window names); empty:
    // the audio layer's current input.
    std::string sourceId;
    QString audioDir; // the output folder, ending with '/'
    QString baseName; // as stored; cleaned before it becomes part of the file name
    int outputRate = 44100;
    int outputChannels = 2;
    settings::Mp3Settings mp3;
    QString lameProgram = QStringLiteral("lame");
    QString oggencProgram = QStringLiteral("oggenc");
    // Where the start reads them instead, off the caller's thread (when given): the
    // MP3 settings from this Config.ini, the encoder programs from this folder (or PATH).
    QString mp3SettingsFile;
    QString encoderFolder;
    // How long an encoder program may take to create its file, and how long finishing
    // waits for one that stopped taking audio or does not exit.
    int encoderStartWaitMs = 5000;
    int finishWaitMs = 15000;
};

// How a take ended: the file, what it holds, and why it ended when it was not stopped
// as asked. Also the place for further facts about a take (audio lost on the way...).
struct TakeEnd
{
    QString path;
    bool saved = false;            // the file exists and holds audio
    std::optional<double> seconds; // length of the saved audio
    qint64 bytes = 0;
    QString failure; // empty when the take was stopped and finished as asked
    // Audio lost on the way (gaps in the capture, overruns, full encoder buffers), each
    // passed on as silence of its length; counted in frames at lostAudioRate.
    audio::AudioLoss lostAudio;
    int lostAudioRate = 0;
};

// One recording from start to finished file, without widgets. It owns the take's
// capture channel and writer; its one state value says where the take is:
//
//   Idle --start--> Starting --the writer has its file--> Recording <--pause/resume--> Paused
//   Starting --failure--> Idle
//   Recording, Paused --stop, or a failure of the pipeline--> Finishing --> Idle
//
// Starting (naming the file, opening the capture and the writer, waiting for an encoder
// program to create its file) and Finishing (closing the encoder's input, waiting for
// it, finalising the file, looking at the result) run on worker threads; the signals and
// the changes of state follow on the session's thread. The capture runs from the start
// on: audio waits in the writer's buffer while an encoder program starts, so the take
// holds what was heard from the moment it was asked for.
class RecordingSession : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Starting, Recording, Paused, Finishing };
    Q_ENUM(State)

    struct StartResult
    {
        bool ok = false;
        QString message; // why it failed: the format's message, then the reason
    };

    explicit RecordingSession(QObject *parent = nullptr);
    ~RecordingSession() override; // waits for a take being started or finished

    // The engine capture channels are opened on; null: no sound server.
    void setEngine(audio::AudioEngine *engine);
    audio::AudioEngine *engine() const { return m_engine; }

    State state() const { return m_state.load(); }
    // Starting, Recording or Paused: a take is under way (a second start is refused,
    // a stop ends it).
    bool isRecording() const;
    bool isPaused() const { return state() == State::Paused; }

    // The number the next file name starts looking from (1 at program start, never
    // saved); a start moves it past the name it takes.
    int fileCounter() const { return m_fileCounter; }
    void setFileCounter(int counter) { m_fileCounter = counter; }

    // Starts a take in the background: Starting now, then Recording, or startFailed()
    // and Idle. A start is a start only once the writer has its file: on failure nothing
    // stays open, on disk or in the state. Refused at once (ok false, with the reason
    // where there is one) when a take is under way or there is no sound server.
    StartResult start(const TakeSettings &settings);
    void pause();
    void resume();
    // Ends the take as asked (one still starting ends as soon as it has started); the
    // file is finished off this thread.
    void stop();
    // Looks at the pipeline: an encoder that ended, a failed write, an input that went
    // away, a file that was removed end the take with that reason. True when it did.
    bool checkPipeline();

    QString path() const { return m_path; }
    // Recorded time, from when the take was asked for: paused time is not counted.
    qint64 elapsedMs() const;
    QDateTime startTime() const { return m_startTime; }
    // The take's capture channel while one runs (for its spectrum); else null.
    audio::CaptureChannel *channel() const;

    // The end of the last take, and the reason the last start failed; both are
    // set before the state changes to Idle (so a handler of that change reads them).
    TakeEnd lastTakeEnd() const { return m_lastEnd; }
    QString lastStartFailure() const { return m_lastStartFailure; }

    // Blocks until a take being started or finished is done (its signals are still
    // delivered by the event loop). For the program's end.
    void waitForFinish();

    // What a start hands back to this thread (defined with the start's work).
    struct Started;

signals:
    void stateChanged(sonalto::recording::RecordingSession::State now,
                      sonalto::recording::RecordingSession::State before);
    // A start that failed, with the format's message and the reason.
    void startFailed(const QString &message);
    void takeEnded(const sonalto::recording::TakeEnd &end);

private:
    void setState(State state);
    void startDone(const std::shared_ptr<Started> &result);
    QString pipelineFailure() const;
    void finish(const QString &failure);
    void finished(const TakeEnd &end);

    audio::AudioEngine *m_engine = nullptr;
    TakeEnd m_lastEnd;
    QString m_lastStartFailure;
    std::atomic<State> m_state{State::Idle};
    std::unique_ptr<audio::CaptureChannel> m_channel;
    std::unique_ptr<audio::WmaWriter> m_wmaWriter;
    QString m_path;
    QDateTime m_startTime, m_pauseTime;
    int m_fileCounter = 1;
    bool m_stopWhenStarted = false;
    std::thread m_starter;
    std::thread m_finisher;
};

} // namespace sonalto::recording

Q_DECLARE_METATYPE(sonalto::recording::TakeEnd)
