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
//   Idle --start--> Recording <--pause/resume--> Paused
//   Recording, Paused --stop, or a failure of the pipeline--> Finishing --> Idle
//
// Finishing (closing the encoder's input, waiting for it, finalising the file, looking
// at the result) runs on a worker thread; takeEnded and the change to Idle follow on
// the session's thread.
class RecordingSession : public QObject
{
    Q_OBJECT
public:
    enum class State { Idle, Recording, Paused, Finishing };
    Q_ENUM(State)

    struct StartResult
    {
        bool ok = false;
        QString message; // why it failed: the format's message, then the reason
    };

    explicit RecordingSession(QObject *parent = nullptr);
    ~RecordingSession() override; // waits for a take being finished

    // The engine capture channels are opened on; null: no sound server.
    void setEngine(audio::AudioEngine *engine);
    audio::AudioEngine *engine() const { return m_engine; }

    State state() const { return m_state.load(); }
    bool isRecording() const; // Recording or Paused
    bool isPaused() const { return state() == State::Paused; }

    // Names the file (from fileCounter on), opens the capture channel and the format's
    // writer and starts capturing. A start is a start only once the writer has its file:
    // on failure nothing stays open, on disk or in the state.
    StartResult start(const TakeSettings &settings, int &fileCounter);
    void pause();
    void resume();
    // Ends the take as asked; the file is finished off this thread.
    void stop();
    // Looks at the pipeline: an encoder that ended, a failed write, an input that went
    // away, a file that was removed end the take with that reason. True when it did.
    bool checkPipeline();

    QString path() const { return m_path; }
    // Recorded time: paused time is not counted.
    qint64 elapsedMs() const;
    QDateTime startTime() const { return m_startTime; }
    // The take's capture channel while one runs (for its spectrum); else null.
    audio::CaptureChannel *channel() const;

    // Blocks until a take being finished is done (its signals are still delivered by
    // the event loop). For the program's end.
    void waitForFinish();

signals:
    void stateChanged(sonalto::recording::RecordingSession::State now,
                      sonalto::recording::RecordingSession::State before);
    void takeEnded(const sonalto::recording::TakeEnd &end);

private:
    void setState(State state);
    QString pipelineFailure() const;
    void finish(const QString &failure);
    void finished(const TakeEnd &end);

    audio::AudioEngine *m_engine = nullptr;
    std::atomic<State> m_state{State::Idle};
    std::unique_ptr<audio::CaptureChannel> m_channel;
    std::unique_ptr<audio::WmaWriter> m_wmaWriter;
    QString m_path;
    QDateTime m_startTime, m_pauseTime;
    std::thread m_finisher;
};

} // namespace sonalto::recording

Q_DECLARE_METATYPE(sonalto::recording::TakeEnd)
