// The window's side of a recording: record, pause/resume and stop, the clock, and
// the session's state and take endings shown on the controls.
#include "app/LabelStyle.h"
#include "app/SpectrumBox.h"
#include "app/Unit1.h"
#include "common/Icons.h"
#include "common/Projectdir.h"
#include "library/ListFormat.h"
#include "recording/EncoderCommands.h"
#include "recording/FileNaming.h"
#include "recording/LossReport.h"
#include "recording/RecordingMessages.h"
#include "recording/TakeJournal.h"
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

QString elapsedText(qint64 ms)
{
    // Shown as a time of day: a recording of a day or more wraps around.
    return QTime(0, 0)
        .addMSecs(int(ms % (24LL * 3600 * 1000)))
        .toString(QStringLiteral("hh:mm:ss"));
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

audio::CaptureChannel *TForm1::shownCaptureChannel() const
{
    if (audio::CaptureChannel *take = Recording->channel())
        return take;
    return Input->monitor();
}

// ---------------------------------------------------------------------------

void TForm1::StopAndFreeChannels()
{
    Input->closeMonitor();
    if (Playback)
        Playback->stop(recording::PlaybackSession::StopReason::Closed);
}

void TForm1::CloseRecording()
{
    // Capture stops here; the session finishes the file off this thread and reports
    // the take's end (takeEnded).
    Recording->stop();
}

recording::TakeSettings TForm1::takeSettings() const
{
    const ProjectDirs &dirs = ProjectDirs::instance();
    recording::TakeSettings s;
    s.format = outputFormat();
    // The input the window names, even while the audio layer is still switching to it.
    s.sourceId = Input->inputSource();
    s.audioDir = dirs.AudioDir();
    s.baseName = OutputBaseName;
    s.outputRate = OutputRate;
    s.outputChannels = OutputChannels;
    // The MP3 settings and the encoder programs are read where the take starts, off
    // this thread.
    s.mp3SettingsFile = configPath();
    s.encoderFolder = dirs.AppDir();
    s.finishWaitMs = EncoderFinishWaitMs;
    return s;
}

bool TForm1::StartRecording()
{
    StopAndFreeChannels();
    // The input in use stays as it is while the take records from it.
    Input->setRecording(true);
    const auto started = Recording->start(takeSettings());
    if (!started.ok) {
        Input->setRecording(false);
        if (!started.message.isEmpty())
            showMessage(started.message);
        return false;
    }
    // The take's row follows once it records (showNewTake), or its failure.
    return true;
}

void TForm1::showNewTake()
{
    PosTimer->start();
    const QString path = Recording->path();
    const QString fileName = QFileInfo(path).fileName();
    LossReports.remove(path); // a new take in a file of a deleted one
    QTreeWidgetItem *row =
        addRow(0, path, Recording->startTime(), std::nullopt, 0, RowStatus::Recording);
    row->setText(2, QStringLiteral("--:--:--"));
    row->setText(3, QStringLiteral("0 MB"));
    setPlainStyle(Label15);
    clearNotice(Notice::HotKeysTaken);
    clearNotice(Notice::InputRemoved);
    setStatusText(tr("录音到 ") + fileName);
    UpdateListSummary();
    ListView1->setCurrentItem(row);
    ListView1->setFocus();
    ListView1->scrollToItem(row);
    ListView1->viewport()->update();
}

void TForm1::recordingStartFailed(const QString &message)
{
    // Nothing was started: the controls are as before, the monitor stays closed. A
    // schedule whose start failed has nothing left to do.
    Input->setRecording(false);
    if (Timer2->isActive()) {
        Timer2->stop();
        showScheduleState();
    }
    showMessage(message);
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
    if (Recording->state() != recording::RecordingSession::State::Idle)
        return;
    // A file playing: ask first, unless the schedule starts the recording.
    if (playbackActive() && !Timer2->isActive()) {
        if (!askQuestion(tr("A file is Playing. \n\nDo you want to stop it and Recording now?"),
                         tr("Note")))
            return;
        Playback->stop(recording::PlaybackSession::StopReason::User);
    }
    // The controls follow the session's state once the take has started.
    clearStatuses();
    StopAndFreeChannels();
    Timer3->stop();
    StartRecording();
}

void TForm1::ToolButton2Click()
{
    if (!Recording->channel())
        return; // nothing recorded yet: a take still starting cannot pause
    if (IsPaused)
        Recording->resume();
    else
        Recording->pause();
}

void TForm1::recordingStateChanged(recording::RecordingSession::State now,
                                   recording::RecordingSession::State before)
{
    using State = recording::RecordingSession::State;
    const bool idle = now == State::Idle;
    const bool running = now == State::Recording || now == State::Paused;
    // A take still starting can be stopped (it ends as soon as it has started).
    const bool stoppable = running || now == State::Starting;

    // Menu, toolbar and tray: what can be done in this state.
    Recorder1->setEnabled(idle);
    ToolButton1->setEnabled(idle);
    Pause1->setEnabled(running);
    ToolButton2->setEnabled(running);
    Stop1->setEnabled(stoppable);
    ToolButton3->setEnabled(stoppable);
    for (QAction *a : {GeneralOptions1, KeybordOptions1})
        a->setEnabled(idle);
    for (QToolButton *b : {ToolButton5, ToolButton7, ToolButton10, SpeedButton22})
        b->setEnabled(idle);
    if (TrayIcon1) {
        TrayIcon1->Record1->setEnabled(idle);
        TrayIcon1->Pause2->setEnabled(running);
        TrayIcon1->Stop2->setEnabled(stoppable);
    }
    // Nothing that changes what is recorded or shows another file while a take runs.
    setRecordingControlsEnabled(idle);

    QString pauseCaption = tr("暂停");
    switch (now) {
    case State::Starting:
        setPlainStyle(Label15);
        setStatusText(tr("正在开始录制…"));
        break;
    case State::Recording:
        if (before == State::Starting) {
            clearClipWarning(); // a new take starts with a clean warning
            setFontColour(Label8, Lime);
            setFontColour(Label2, Green);
            setFontColour(Label3, Lime);
            setFontColour(Label7, Green);
            Label3->setText(tr("录制中"));
            setModeIndicator(StatusMode::Recording);
            const QString clock = elapsedText(Recording->elapsedMs());
            setWindowTitle(clock);
            Label8->setText(clock);
            Timer1Tag = 0;
            Timer1->start();
            showPosition(0, TrackBar2->maximum());
            Timer3->stop();
            showNewTake();
        } else {
            pauseCaption = QStringLiteral("Pause");
            Label3->setText(QStringLiteral("Recording"));
        }
        setTrayPicture(0);
        break;
    case State::Paused:
        pauseCaption = tr("Resume");
        Label3->setText(QStringLiteral("Paused"));
        FreezeSpectrum();
        setTrayPicture(3);
        break;
    case State::Finishing:
        Timer1->stop();
        // Any stop ends a pending schedule.
        Timer2->stop();
        showScheduleState();
        Label3->setText(tr("正在完成…"));
        setPlainStyle(Label15);
        setStatusText(tr("正在完成 %1…").arg(QFileInfo(Recording->path()).fileName()));
        setWindowTitle(tr("Sonalto - 正在完成录音"));
        setTrayPicture(1);
        break;
    case State::Idle:
        // The input may follow the user's choice again (the monitor stays closed).
        Input->setRecording(false);
        if (before == State::Finishing) {
            Label3->setText(tr("己完成"));
            setWindowTitle(tr("Sonalto - 停止"));
            PaintFrame->update();
        }
        break;
    }
    ToolButton2->setText(pauseCaption);
    ToolButton2->setAccessibleName(pauseCaption);
    ToolButton2->setIcon(appIcon(QStringLiteral("pause")));
    Pause1->setText(pauseCaption);
    if (TrayIcon1) {
        TrayIcon1->Pause2->setText(pauseCaption);
        TrayIcon1->Pause2->setIcon(appIcon(now == State::Paused ? QStringLiteral("tray-paused")
                                                                : QStringLiteral("pause")));
    }
}

void TForm1::Timer1Timer()
{
    if (!IsRecording)
        return;
    const QString t = elapsedText(Recording->elapsedMs());
    Label8->setText(t);
    if (IsPaused) {
        Timer1Tag = Timer1Tag ? 0 : 1;
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
        setWindowTitle(t + QStringLiteral(" Recording"));
        if (QTreeWidgetItem *row = rowOf(Recording->path()))
            row->setText(2, t);
    }
    checkPipeline();
}

void TForm1::checkPipeline()
{
    // A pipeline can end by itself: the encoder program exits, a write fails, the
    // disk fills, the file's folder is removed, the sound server goes away. The
    // session then ends the take as a stop would, and takeEnded says what happened.
    Recording->checkPipeline();
}

void TForm1::ToolButton3Click()
{
    // A take still starting is stopped too: it ends as soon as it has started.
    if (!IsRecording)
        return;
    CloseRecording();
}

void TForm1::takeEnded(const recording::TakeEnd &end)
{
    if (m_ending) {
        // Nobody sees the window any more: the next start says how the take ended.
        recording::TakeJournal(ProjectDirs::instance().AppDir()).write(end);
        return;
    }
    const QString fileName = QFileInfo(end.path).fileName();
    // The take's row, unless the user deleted it meanwhile.
    QTreeWidgetItem *row = rowOf(end.path);
    setPlainStyle(Label15);
    if (end.saved) {
        setStatusText(fileName + tr(" is saved"));
        if (row) {
            setRowDuration(row, end.seconds);
            setRowSize(row, end.bytes);
            setRowStatus(end.path, RowStatus::Saved);
        }
        const QString lossText = recording::lossReportText(end.lostAudio, end.lostAudioRate);
        if (!lossText.isEmpty()) {
            // The status line says it now, the row's tool-tip for as long as it is listed.
            setStatusText(lossText);
            LossReports.insert(end.path, lossText);
            if (row)
                showLossReport(row);
        }
    } else {
        // No file, no row: nothing in the list claims a recording that is not there.
        setStatusText(fileName + tr(" 未保存"));
        if (row)
            removeRow(row);
        UpdateListSummary();
    }
    ListView1->viewport()->update();
    if (!end.failure.isEmpty())
        showMessage(recording::takeFailedText(end.failure, fileName, end.saved));
}

} // namespace sonalto
