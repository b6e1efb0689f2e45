#include "recording/RecordingSession.h"

#include "audio/AudioEngine.h"
#include "audio/CaptureChannel.h"
#include "audio/Encoders.h"
#include "recording/EncoderCommands.h"
#include "recording/FileNaming.h"
#include "recording/RecordingMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace sonalto::recording {

namespace {

const char *const Extensions[] = {".mp3", ".wma", ".ogg", ".wav"};

// Capture callback of the MP3, OGG and WAV pipelines: the attached encoder takes the
// audio; capture goes on only while the encoder does.
audio::CaptureCallback
encoderRecordProc(std::shared_ptr<std::atomic<audio::CaptureChannel *>> channel)
{
    return [channel](const int16_t *, size_t) {
        audio::CaptureChannel *c = channel->load();
        return c == nullptr || c->encodersActive();
    };
}

QString withReason(QString message, const std::string &reason)
{
    if (!reason.empty())
        message += QStringLiteral("\n\n") + QString::fromStdString(reason);
    return message;
}

} // namespace

// What a start gives back to the session's thread: the running take, or why not.
struct RecordingSession::Started
{
    QString failure; // empty: the take runs
    QString path;
    int fileCounter = 1;
    std::unique_ptr<audio::CaptureChannel> channel;
    std::unique_ptr<audio::WmaWriter> wmaWriter;
};

namespace {

// Names the file, opens the capture and the format's writer and starts capturing; on a
// worker thread. `state` is the session's, read by the WMA capture callback.
void startTake(audio::AudioEngine &engine, TakeSettings settings,
               const std::atomic<RecordingSession::State> &state, RecordingSession::Started &out)
{
    if (!settings.mp3SettingsFile.isEmpty())
        settings.mp3 = settings::readMp3Settings(settings::IniFile(settings.mp3SettingsFile));
    if (!settings.encoderFolder.isEmpty()) {
        settings.lameProgram = findEncoderProgram(settings.encoderFolder, QStringLiteral("lame"));
        settings.oggencProgram =
            findEncoderProgram(settings.encoderFolder, QStringLiteral("oggenc"));
    }
    if (!QDir(settings.audioDir).exists())
        QDir().mkpath(settings.audioDir);
    const int format = settings.format >= 0 && settings.format <= 3 ? settings.format : 0;
    // Whatever the base name holds, the file lies directly in the output folder.
    const QString path =
        QFileInfo(nextOutputPath(settings.audioDir, cleanBaseName(settings.baseName),
                                 out.fileCounter, QString::fromLatin1(Extensions[format])))
            .absoluteFilePath();
    const std::string nativePath = QFile::encodeName(path).toStdString();
    std::string error;
    auto channelRef = std::make_shared<std::atomic<audio::CaptureChannel *>>(nullptr);
    const auto startCapture = [&](const audio::PcmFormat &pcm, bool paused,
                                  audio::CaptureCallback callback) {
        return settings.sourceId.empty()
                   ? engine.startCapture(pcm, paused, std::move(callback), &error)
                   : engine.startCapture(settings.sourceId, pcm, paused, std::move(callback),
                                         &error);
    };
    auto fail = [&](QString message) {
        out.failure = withReason(std::move(message), error);
        out.channel.reset();
        if (out.wmaWriter) {
            out.wmaWriter->close();
            out.wmaWriter.reset();
        }
        // Nothing was recorded: no empty file is left behind.
        QFile::remove(path);
    };
    std::unique_ptr<audio::CaptureChannel> &channel = out.channel;

    switch (format) {
    case 0:   // MP3
    case 2: { // OGG
        const audio::PcmFormat pcm{44100, 2};
        channel = startCapture(pcm, true, encoderRecordProc(channelRef));
        if (!channel) {
            out.failure = withReason(couldNotStartRecording(), error);
            return;
        }
        channelRef->store(channel.get());
        const EncoderCommand command =
            format == 0 ? lameCommand(settings.lameProgram, path, settings.mp3, settings.outputRate)
                        : oggencCommand(settings.oggencProgram, path);
        audio::EncoderProgram program(argumentVector(command), nativePath);
        program.startWaitMs = settings.encoderStartWaitMs;
        program.finishWaitMs = settings.finishWaitMs;
        auto encoder = audio::spawnCommandLineEncoder(program, pcm, &error);
        if (!encoder) {
            channel.reset();
            out.failure = withReason(
                format == 0 ? couldNotStartMp3Encoder() : couldNotStartOggEncoder(), error);
            return;
        }
        // Capturing at once: the audio waits in the encoder's buffer while the program
        // starts, so nothing from the moment of the start is lost.
        audio::Encoder *started = encoder.get();
        channel->attachEncoder(std::move(encoder));
        if (!channel->play())
            return fail(couldNotStartRecording());
        if (!started->waitUntilWriting(&error)) {
            channel.reset();
            out.failure = withReason(
                format == 0 ? couldNotStartMp3Encoder() : couldNotStartOggEncoder(), error);
            return;
        }
        break;
    }
    case 1: { // WMA
        const audio::PcmFormat pcm{settings.outputRate, settings.outputChannels};
        out.wmaWriter = audio::WmaWriter::open(pcm, 128000, nativePath, &error);
        if (!out.wmaWriter)
            return fail(couldNotOpenWmaWriter());
        // The writer is stored before its capture starts; paused audio is dropped here.
        audio::WmaWriter *writer = out.wmaWriter.get();
        channel = startCapture(pcm, false, [&state, writer](const int16_t *samples, size_t bytes) {
            if (state.load() == RecordingSession::State::Paused)
                return true;
            return writer->write(samples, bytes);
        });
        if (!channel)
            return fail(couldNotStartWmaCapture());
        if (!channel->play()) {
            error = channel->failureMessage();
            return fail(couldNotStartRecording());
        }
        break;
    }
    default: { // WAV
        const audio::PcmFormat pcm{settings.outputRate, settings.outputChannels};
        channel = startCapture(pcm, true, encoderRecordProc(channelRef));
        if (!channel) {
            out.failure = withReason(couldNotStartWav(), error);
            return;
        }
        channelRef->store(channel.get());
        auto writer = audio::startWavFileEncoder(nativePath, pcm, &error);
        // Capturing without a writer would show a recording that records nothing.
        if (!writer)
            return fail(couldNotStartWav());
        channel->attachEncoder(std::move(writer));
        if (!channel->play()) {
            error = channel->failureMessage();
            return fail(couldNotStartRecording());
        }
        break;
    }
    }
    out.path = path;
}

} // namespace

RecordingSession::RecordingSession(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<TakeEnd>();
}

RecordingSession::~RecordingSession()
{
    waitForFinish();
}

void RecordingSession::setEngine(audio::AudioEngine *engine)
{
    m_engine = engine;
}

bool RecordingSession::isRecording() const
{
    const State s = state();
    return s == State::Starting || s == State::Recording || s == State::Paused;
}

void RecordingSession::setState(State state)
{
    const State before = m_state.exchange(state);
    if (before != state)
        emit stateChanged(state, before);
}

audio::CaptureChannel *RecordingSession::channel() const
{
    return m_channel.get();
}

RecordingSession::StartResult RecordingSession::start(const TakeSettings &settings)
{
    if (state() != State::Idle)
        return {false, QString()};
    if (!m_engine)
        return {false,
                withReason(couldNotStartRecording(),
                           QCoreApplication::translate("sonalto::recording", "没有可用的声音服务器")
                               .toStdString())};
    waitForFinish(); // the threads of the take before have ended by now
    m_stopWhenStarted = false;
    m_startTime = QDateTime::currentDateTime();
    m_pauseTime = m_startTime;
    setState(State::Starting);
    auto result = std::make_shared<Started>();
    result->fileCounter = m_fileCounter;
    m_starter = std::thread([this, engine = m_engine, settings, result] {
        startTake(*engine, settings, m_state, *result);
        QMetaObject::invokeMethod(
            this, [this, result] { startDone(result); }, Qt::QueuedConnection);
    });
    return {true, QString()};
}

void RecordingSession::startDone(const std::shared_ptr<Started> &result)
{
    if (m_starter.joinable())
        m_starter.join();
    m_fileCounter = result->fileCounter;
    if (!result->failure.isEmpty()) {
        m_lastStartFailure = result->failure;
        setState(State::Idle);
        emit startFailed(result->failure);
        return;
    }
    m_channel = std::move(result->channel);
    m_wmaWriter = std::move(result->wmaWriter);
    m_path = result->path;
    setState(State::Recording);
    if (m_stopWhenStarted)
        stop();
}

void RecordingSession::pause()
{
    if (state() != State::Recording)
        return;
    m_pauseTime = QDateTime::currentDateTime();
    // The state first: the WMA capture callback reads it.
    setState(State::Paused);
    if (m_channel)
        m_channel->setEncodersPaused(true);
}

void RecordingSession::resume()
{
    if (state() != State::Paused)
        return;
    m_startTime = QDateTime::currentDateTime().addMSecs(-m_startTime.msecsTo(m_pauseTime));
    if (m_channel)
        m_channel->setEncodersPaused(false);
    setState(State::Recording);
}

qint64 RecordingSession::elapsedMs() const
{
    switch (state()) {
    case State::Recording:
        return m_startTime.msecsTo(QDateTime::currentDateTime());
    case State::Paused:
        return m_startTime.msecsTo(m_pauseTime);
    default:
        return 0;
    }
}

void RecordingSession::stop()
{
    if (state() == State::Starting)
        m_stopWhenStarted = true;
    else if (isRecording())
        finish(QString());
}

QString RecordingSession::pipelineFailure() const
{
    if (!m_channel)
        return QCoreApplication::translate("sonalto::recording", "录音已中断");
    if (m_channel->failed())
        return QString::fromStdString(m_channel->failureMessage());
    if (m_wmaWriter && !m_wmaWriter->errorMessage().empty())
        return QString::fromStdString(m_wmaWriter->errorMessage());
    if (!m_wmaWriter && !m_channel->encodersActive())
        return QCoreApplication::translate("sonalto::recording", "编码器已退出");
    if (m_channel->state() == audio::ActiveState::Stopped)
        return QCoreApplication::translate("sonalto::recording", "录音已中断");
    // Its folder removed or the file moved away: what is written goes nowhere.
    if (!QFileInfo::exists(m_path))
        return QCoreApplication::translate("sonalto::recording",
                                           "录音文件或它的文件夹已被删除或移走");
    return QString();
}

bool RecordingSession::checkPipeline()
{
    if (state() != State::Recording && state() != State::Paused)
        return false;
    const QString reason = pipelineFailure();
    if (reason.isEmpty())
        return false;
    finish(reason);
    return true;
}

void RecordingSession::finish(const QString &reason)
{
    // No more audio is taken from here on, so what the take lost is final: the losses
    // are counted as the audio arrives.
    audio::AudioLoss lost;
    int lostRate = 0;
    if (m_channel) {
        m_channel->stop();
        lost = m_channel->lostAudio();
        lostRate = m_channel->format().rate;
    }
    if (m_wmaWriter)
        lost += m_wmaWriter->lostAudio();
    setState(State::Finishing);
    waitForFinish();
    std::shared_ptr<audio::CaptureChannel> channel = std::move(m_channel);
    std::shared_ptr<audio::WmaWriter> writer = std::move(m_wmaWriter);
    const QString path = m_path;
    m_finisher = std::thread([this, channel, writer, path, reason, lost, lostRate]() mutable {
        // The channel is closed before the WMA writer, so the capture callback never
        // writes into a closed writer.
        std::string why = channel ? channel->close() : std::string();
        channel.reset();
        if (writer) {
            if (!writer->close() && why.empty())
                why = writer->errorMessage();
            writer.reset();
        }
        TakeEnd end;
        end.path = path;
        end.failure = reason.isEmpty() ? QString::fromStdString(why) : reason;
        end.lostAudio = lost;
        end.lostAudioRate = lostRate;
        const QFileInfo info(path);
        const bool exists = info.exists();
        if (exists && info.size() > 0) {
            end.bytes = info.size();
            end.seconds = audio::probeDurationSeconds(QFile::encodeName(path).toStdString());
        }
        end.saved = exists && end.seconds && *end.seconds > 0;
        if (!end.saved) {
            // A file without audio is no recording: it is not left behind.
            if (end.failure.isEmpty())
                end.failure =
                    exists ? QCoreApplication::translate("sonalto::recording", "文件中没有录到音频")
                           : QCoreApplication::translate("sonalto::recording",
                                                         "录音文件或它的文件夹已被删除或移走");
            if (exists)
                QFile::remove(path);
            end.seconds.reset();
            end.bytes = 0;
        }
        QMetaObject::invokeMethod(
            this, [this, end] { finished(end); }, Qt::QueuedConnection);
    });
}

void RecordingSession::finished(const TakeEnd &end)
{
    if (m_finisher.joinable())
        m_finisher.join();
    m_lastEnd = end;
    setState(State::Idle);
    emit takeEnded(end);
}

void RecordingSession::waitForFinish()
{
    if (m_starter.joinable())
        m_starter.join();
    if (m_finisher.joinable())
        m_finisher.join();
}

} // namespace sonalto::recording
