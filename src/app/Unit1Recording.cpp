// The recording session: record, pause/resume, stop, the clock, and the four
// encoder pipelines.
#include "app/LabelStyle.h"
#include "app/SpectrumBox.h"
#include "app/Unit1.h"
#include "common/Icons.h"
#include "common/Projectdir.h"
#include "library/ListFormat.h"
#include "recording/EncoderCommands.h"
#include "recording/FileNaming.h"
#include "settings/ConfigFile.h"
#include "settings/IniFile.h"
#include "tray/Trayicon.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSlider>
#include <QTime>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace sonalto {

namespace {
const QString RecordingStatus = QStringLiteral("录制");

QString elapsedText(qint64 ms)
{
    // Shown as a time of day: a recording of a day or more wraps around.
    return QTime(0, 0)
        .addMSecs(int(ms % (24LL * 3600 * 1000)))
        .toString(QStringLiteral("hh:mm:ss"));
}

// Capture callback of the MP3, OGG and WAV pipelines: the attached encoder takes
// the audio; capture goes on only while the encoder does.
audio::CaptureCallback
encoderRecordProc(std::shared_ptr<std::atomic<audio::CaptureChannel *>> channel)
{
    return [channel](const int16_t *, size_t) {
        audio::CaptureChannel *c = channel->load();
        return c == nullptr || c->encodersActive();
    };
}
} // namespace

QString TForm1::outputFormatExtension(int format) const
{
    static const char *extensions[] = {".mp3", ".wma", ".ogg", ".wav"};
    return QString::fromLatin1(extensions[format >= 0 && format <= 3 ? format : 0]);
}

void TForm1::setTrayPicture(int picture)
{
    if (TrayIcon1)
        TrayIcon1->setPicture(picture);
}

// ---------------------------------------------------------------------------

void TForm1::StopAndFreeChannels()
{
    if (RecordChannel) {
        RecordChannel->stop();
        RecordChannel.reset(); // also finishes the encoders attached to it
    }
    if (Playback)
        Playback->stop(recording::PlaybackSession::StopReason::Closed);
}

void TForm1::CloseRecording()
{
    StopAndFreeChannels();
    // The channel is stopped before the WMA writer is closed, so the capture
    // callback never writes into a closed writer.
    if (WmaHandle) {
        WmaHandle->close();
        WmaHandle.reset();
    }
}

bool TForm1::StartRecording()
{
    ProjectDirs &dirs = ProjectDirs::instance();
    if (!QDir(dirs.AudioDir()).exists())
        QDir().mkpath(dirs.AudioDir());
    StopAndFreeChannels();
    if (!Engine) {
        showMessage(QStringLiteral("Couldn''t start recording"));
        return false;
    }

    const int format = outputFormat();
    const QString path = recording::nextOutputPath(dirs.AudioDir(), OutputBaseName, FileCounter,
                                                   outputFormatExtension(format));
    const std::string nativePath = QFile::encodeName(path).toStdString();
    std::string error;
    auto channelRef = std::make_shared<std::atomic<audio::CaptureChannel *>>(nullptr);

    switch (format) {
    case 0:   // MP3
    case 2: { // OGG
        RecordChannel = Engine->startCapture(audio::PcmFormat{44100, 2}, true,
                                             encoderRecordProc(channelRef), &error);
        if (!RecordChannel) {
            showMessage(QStringLiteral("Couldn''t start recording"));
            return false;
        }
        channelRef->store(RecordChannel.get());
        QString command;
        if (format == 0) {
            const settings::IniFile ini(configPath());
            command = recording::BuildLameCommand(
                recording::findEncoderProgram(dirs.AppDir(), QStringLiteral("lame")), path,
                settings::readMp3Settings(ini), OutputRate);
        } else {
            command = recording::BuildOggCommand(
                recording::findEncoderProgram(dirs.AppDir(), QStringLiteral("oggenc")), path);
        }
        auto encoder = audio::startCommandLineEncoder(command.toStdString(),
                                                      audio::PcmFormat{44100, 2}, &error);
        if (!encoder) {
            StopAndFreeChannels();
            showMessage(format == 0 ? QStringLiteral("Couldn''t start Encoding for MP3")
                                    : QStringLiteral("无法开始录制 OGG 音频"));
            return false;
        }
        RecordChannel->attachEncoder(std::move(encoder));
        break;
    }
    case 1: { // WMA
        const audio::PcmFormat pcm{OutputRate, OutputChannels};
        WmaHandle = audio::WmaWriter::open(pcm, 128000, nativePath, &error);
        if (!WmaHandle) {
            showMessage(QStringLiteral("Cannot Start WMA Encoding for WMA"));
            return false;
        }
        audio::WmaWriter *writer = WmaHandle.get();
        RecordChannel = Engine->startCapture(
            pcm, false,
            [this, writer](const int16_t *samples, size_t bytes) {
                if (IsPaused.load())
                    return true;
                return writer->write(samples, bytes);
            },
            &error);
        if (!RecordChannel) {
            WmaHandle->close();
            WmaHandle.reset();
            // Nothing was recorded: do not leave an empty file behind.
            QFile::remove(path);
            showMessage(QStringLiteral("Cannot start recording for WMA"));
            return false;
        }
        break;
    }
    default: { // WAV
        const audio::PcmFormat pcm{OutputRate, OutputChannels};
        RecordChannel = Engine->startCapture(pcm, true, encoderRecordProc(channelRef), &error);
        if (!RecordChannel) {
            showMessage(QStringLiteral("无法开始录制 WAV 音频"));
            return false;
        }
        channelRef->store(RecordChannel.get());
        auto writer = audio::startWavFileEncoder(nativePath, pcm, &error);
        if (!writer) {
            // Capturing without a writer would show a recording that records nothing.
            StopAndFreeChannels();
            showMessage(QStringLiteral("无法开始录制 WAV 音频"));
            return false;
        }
        RecordChannel->attachEncoder(std::move(writer));
        break;
    }
    }

    RecordingPath = path;
    RecordChannel->play();
    PosTimer->start();

    const QString fileName = QFileInfo(path).fileName();
    QTreeWidgetItem *row =
        addRow(0, fileName, QDateTime::currentDateTime(), std::nullopt, 0, RecordingStatus);
    row->setText(2, QStringLiteral("--:--:--"));
    row->setText(3, QStringLiteral("0 MB"));
    setPlainStyle(Label15);
    Label15->setText(QStringLiteral("录音到 ") + fileName);
    UpdateListSummary();
    ListView1->setCurrentItem(row);
    ListView1->setFocus();
    ListView1->scrollToItem(row);
    ListView1->viewport()->update();
    return true;
}

// ---------------------------------------------------------------------------

void TForm1::setRecordingControlsEnabled(bool enabled)
{
    for (QWidget *w : Panel4->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (w->objectName() != QStringLiteral("SpeedButton7"))
            w->setEnabled(enabled);
    }
    for (QWidget *w : Panel3->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
        w->setEnabled(enabled);
    for (QWidget *w :
         std::initializer_list<QWidget *>{Label1, Label6, ComboBox2, ComboBox1, Label4, Label9,
                                          Label10, ComboBox3, ComboBox4, ComboBox5, Label2})
        w->setEnabled(enabled);
}

void TForm1::ToolButton1Click()
{
    if (IsRecording)
        return;
    // A file playing: ask first, unless the schedule starts the recording.
    if (playbackActive() && !Timer2->isActive()) {
        if (!askQuestion(
                QStringLiteral("A file is Playing. \n\nDo you want to stop it and Recording now?"),
                QStringLiteral("Note")))
            return;
        Playback->stop(recording::PlaybackSession::StopReason::User);
    }
    // No status word survives a new take; capture and playback never overlap.
    clearStatuses();
    StopAndFreeChannels();
    Timer3->stop();
    if (!StartRecording())
        return;

    // Menu and toolbar.
    Recorder1->setEnabled(false);
    Pause1->setEnabled(true);
    Stop1->setEnabled(true);
    GeneralOptions1->setEnabled(false);
    KeybordOptions1->setEnabled(false);
    ToolButton1->setEnabled(false);
    ToolButton2->setEnabled(true);
    ToolButton3->setEnabled(true);
    ToolButton5->setEnabled(false);
    ToolButton7->setEnabled(false);
    ToolButton10->setEnabled(false);

    // Status area.
    setFontColour(Label8, Lime);
    setFontColour(Label2, Green);
    setFontColour(Label3, Lime);
    setFontColour(Label7, Green);
    Label3->setText(QStringLiteral("录制中"));
    setModeIndicator(Label3);

    // State and clock.
    IsPaused = false;
    IsRecording = true;
    StartTime = QDateTime::currentDateTime();
    setWindowTitle(QStringLiteral("00:00:00"));
    Label8->setText(QStringLiteral("00:00:00"));
    Timer1Tag = 0;
    Timer1->start();

    // Everything that must not change during a recording.
    setRecordingControlsEnabled(false);
    TrackBar2->setValue(0);
    Timer3->stop();

    // Tray and the MP3 settings.
    setTrayPicture(0);
    if (TrayIcon1) {
        TrayIcon1->Record1->setEnabled(false);
        TrayIcon1->Pause2->setEnabled(true);
        TrayIcon1->Stop2->setEnabled(true);
    }
    SpeedButton22->setEnabled(false);
}

void TForm1::ToolButton2Click()
{
    if (!IsRecording)
        return;
    IsPaused = !IsPaused;
    if (RecordChannel)
        RecordChannel->setEncodersPaused(IsPaused);
    if (IsPaused) {
        ToolButton2->setText(QStringLiteral("Resume"));
        if (TrayIcon1) {
            TrayIcon1->Pause2->setText(QStringLiteral("Resume"));
            TrayIcon1->Pause2->setIcon(appIcon(QStringLiteral("tray-paused")));
        }
        Label3->setText(QStringLiteral("Paused"));
        PauseTime = QDateTime::currentDateTime();
        FreezeSpectrum();
        setTrayPicture(3);
    } else {
        StartTime = QDateTime::currentDateTime().addMSecs(-StartTime.msecsTo(PauseTime));
        ToolButton2->setText(QStringLiteral("Pause"));
        if (TrayIcon1) {
            TrayIcon1->Pause2->setText(QStringLiteral("Pause"));
            TrayIcon1->Pause2->setIcon(appIcon(QStringLiteral("pause")));
        }
        ToolButton2->setIcon(appIcon(QStringLiteral("pause")));
        Label3->setText(QStringLiteral("Recording"));
        setTrayPicture(0);
    }
    ToolButton2->setAccessibleName(ToolButton2->text());
    Pause1->setText(ToolButton2->text());
}

void TForm1::Timer1Timer()
{
    if (!IsRecording)
        return;
    if (IsPaused) {
        Timer1Tag = Timer1Tag ? 0 : 1;
        const QString t = elapsedText(StartTime.msecsTo(PauseTime));
        Label8->setText(t);
        if (Timer1Tag == 1) {
            setWindowTitle(t + QStringLiteral(" Paused"));
            ToolButton2->setIcon(appIcon(QStringLiteral("pause-blink")));
            setTrayPicture(3);
        } else {
            setWindowTitle(t);
            ToolButton2->setIcon(appIcon(QStringLiteral("pause")));
            setTrayPicture(2);
        }
    } else {
        const QString t = elapsedText(StartTime.msecsTo(QDateTime::currentDateTime()));
        Label8->setText(t);
        setWindowTitle(t + QStringLiteral(" Recording"));
        if (QTreeWidgetItem *row = firstRowWithStatus(RecordingStatus))
            row->setText(2, t);
    }
    checkPipeline();
}

void TForm1::checkPipeline()
{
    // A pipeline can end by itself: the encoder program exits, a write fails, the
    // disk fills, the sound server goes away. Stop as the user would, keep what
    // was captured, and say what happened.
    if (!IsRecording || !RecordChannel)
        return;
    QString reason;
    if (RecordChannel->failed())
        reason = QString::fromStdString(RecordChannel->failureMessage());
    else if (WmaHandle && !WmaHandle->errorMessage().empty())
        reason = QString::fromStdString(WmaHandle->errorMessage());
    else if (!WmaHandle && !RecordChannel->encodersActive())
        reason = QStringLiteral("编码器已退出");
    else if (RecordChannel->state() == audio::ActiveState::Stopped)
        reason = QStringLiteral("录音已中断");
    if (reason.isEmpty())
        return;
    const QString fileName = QFileInfo(RecordingPath).fileName();
    ToolButton3Click();
    showMessage(QStringLiteral("录制意外停止: ") + reason +
                QStringLiteral("\n\n已录制的部分已保存到 ") + fileName);
}

void TForm1::ToolButton3Click()
{
    if (!IsRecording)
        return;
    // Toolbar back to idle.
    Timer1->stop();
    ToolButton1->setEnabled(true);
    ToolButton2->setText(QStringLiteral("暂停"));
    ToolButton2->setAccessibleName(ToolButton2->text());
    ToolButton2->setIcon(appIcon(QStringLiteral("pause")));
    ToolButton2->setEnabled(false);
    ToolButton3->setEnabled(false);
    ToolButton5->setEnabled(true);
    ToolButton7->setEnabled(true);
    ToolButton10->setEnabled(true);
    Label3->setText(QStringLiteral("己完成"));
    Pause1->setText(ToolButton2->text());
    if (TrayIcon1) {
        TrayIcon1->Pause2->setText(ToolButton2->text());
        TrayIcon1->Pause2->setIcon(appIcon(QStringLiteral("pause")));
    }
    // Any stop ends a pending schedule.
    Timer2->stop();
    showScheduleState();
    IsRecording = false;
    IsPaused = false;
    setWindowTitle(QStringLiteral("Sonalto - 停止"));
    // Finish the file on every path, also when the pipeline already ended.
    if (RecordChannel || WmaHandle)
        CloseRecording();
    // The recording's row.
    QTreeWidgetItem *row = nullptr;
    for (int i = 0; i < ListView1->topLevelItemCount() && !row; ++i) {
        QTreeWidgetItem *item = ListView1->topLevelItem(i);
        if (rowStatus(item).compare(RecordingStatus, Qt::CaseInsensitive) == 0)
            row = item;
    }
    if (row) {
        setPlainStyle(Label15);
        Label15->setText(row->text(0) + QStringLiteral(" is saved"));
        const QString path = rowPath(row);
        setRowDuration(row, audio::probeDurationSeconds(QFile::encodeName(path).toStdString()));
        setRowSize(row, QFileInfo(path).size());
        setRowStatus(row, QStringLiteral("Saved"));
    }
    // The list and the controls locked during the take come back.
    ListView1->viewport()->update();
    setRecordingControlsEnabled(true);
    // Tray.
    setTrayPicture(1);
    if (TrayIcon1) {
        TrayIcon1->Record1->setEnabled(true);
        TrayIcon1->Pause2->setEnabled(false);
        TrayIcon1->Stop2->setEnabled(false);
    }
    PaintFrame->update();
    Recorder1->setEnabled(true);
    Pause1->setEnabled(false);
    Stop1->setEnabled(false);
    GeneralOptions1->setEnabled(true);
    KeybordOptions1->setEnabled(true);
    SpeedButton22->setEnabled(true);
}

} // namespace sonalto
