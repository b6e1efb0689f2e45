// Playback of a recording and the spectrum display of the main window.
#include "app/LabelStyle.h"
#include "app/LevelMeterBox.h"
#include "app/SpectrumBox.h"
#include "app/Unit1.h"
#include "common/Icons.h"
#include "library/ListFormat.h"
#include "recording/Spectrum_vis.h"

#include <QFileInfo>
#include <QPainter>
#include <QProxyStyle>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <array>
#include <utility>

namespace sonalto {

bool TForm1::isPlaying() const
{
    using State = recording::PlaybackSession::State;
    return Playback && (Playback->state() == State::Playing || Playback->state() == State::Opening);
}

bool TForm1::playbackActive() const
{
    return Playback && Playback->isActive();
}

void TForm1::createPlaybackSession()
{
    using Session = recording::PlaybackSession;
    Playback = std::make_unique<Session>(Input ? Input->engine() : nullptr);
    connect(Playback.get(), &Session::started, this, &TForm1::playbackStarted);
    connect(Playback.get(), &Session::paused, this, &TForm1::playbackPaused);
    connect(Playback.get(), &Session::resumed, this, &TForm1::playbackResumed);
    connect(Playback.get(), &Session::stopped, this, &TForm1::playbackStopped);
    connect(Playback.get(), &Session::openFailed, this, &TForm1::playbackFailed);
}

QTreeWidgetItem *TForm1::playbackRow() const
{
    return Playback ? rowOf(Playback->path()) : nullptr;
}

void TForm1::showPlaybackButtons()
{
    // Play is down while a file plays (or opens to play), pause while it is paused;
    // mute follows the volume (TrackBar3Change).
    using State = recording::PlaybackSession::State;
    const State state = Playback->state();
    SpeedButton21->setChecked(state == State::Opening || state == State::Playing);
    SpeedButton12->setChecked(state == State::Paused);
}

void TForm1::ListView1DblClick()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    // The file before and the input monitor make way; the new file opens in the
    // background and reports back (playbackStarted or playbackFailed).
    Playback->stop(recording::PlaybackSession::StopReason::Replaced);
    StopAndFreeChannels();
    Playback->start(rowPath(row));
    showPlaybackButtons();
}

void TForm1::playbackStarted(const QString &path, double lengthSeconds)
{
    setFontColour(Label8, Lime);
    setFontColour(Label7, Lime);
    setFontColour(Label2, Green);
    setFontColour(Label3, Green);
    setModeIndicator(StatusMode::Playback);
    clearStatuses();
    setRowStatus(path, RowStatus::Play);
    showPosition(0, int(library::roundHalfEven(lengthSeconds)));
    Label8->setText(library::FormatHMS(0));
    showPlaybackButtons();
    Timer3->start();
    PosTimer->start();
    setPlainStyle(Label15);
    clearNotice(Notice::HotKeysTaken);
    clearNotice(Notice::InputRemoved);
    setStatusText(tr("Playing ") + QFileInfo(path).fileName());
}

void TForm1::playbackFailed(const QString &path, const QString &reason)
{
    Q_UNUSED(path);
    // The file that played before has stopped; what it showed stays, only the
    // controls that would claim it still plays follow.
    Timer3->stop();
    showPlaybackButtons();
    showMessage(reason.isEmpty() ? tr("Can't play the file.")
                                 : tr("Can't play the file.") + QStringLiteral("\n\n") + reason);
}

void TForm1::playbackPaused()
{
    if (rowStatus(Playback->path()) == RowStatus::Play)
        setRowStatus(Playback->path(), RowStatus::Pause);
    showPlaybackButtons();
}

void TForm1::playbackResumed()
{
    if (rowStatus(Playback->path()) == RowStatus::Pause)
        setRowStatus(Playback->path(), RowStatus::Play);
    showPlaybackButtons();
}

void TForm1::playbackStopped(recording::PlaybackSession::StopReason reason)
{
    using Reason = recording::PlaybackSession::StopReason;
    if (reason == Reason::Replaced)
        return; // the next file's start or failure decides what is shown
    showPlaybackButtons();
    Timer3->stop();
    if (reason == Reason::EndOfFile)
        Label8->setText(library::FormatHMS(TrackBar2->maximum()));
    showPosition(0, TrackBar2->maximum());
    // The file that played gets "Stop", even when a recording start has just cleared
    // its word (never the take being recorded).
    if (rowOf(Playback->path()) && rowStatus(Playback->path()) != RowStatus::Recording)
        setRowStatus(Playback->path(), RowStatus::Stop);
    // Whatever stopped it, the status line no longer names a file as playing; who
    // took the sound (the monitor, a recording) says so after this.
    if (Mode == StatusMode::Playback)
        setStatusText(tr("已停止播放 %1").arg(QFileInfo(Playback->path()).fileName()));
    if (reason == Reason::Closed) {
        // Someone else took the sound (the input monitor, a recording, the exit):
        // playback is no longer the window's mode, and its clock is no longer lit.
        setFontColour(Label7, Green);
        setFontColour(Label8, Green);
        if (Mode == StatusMode::Playback)
            Image1->hide();
    }
    PaintFrame->update();
}

void TForm1::SpeedButton21Click()
{
    if (!selectedRow()) {
        showPlaybackButtons();
        return;
    }
    if (Playback->state() != recording::PlaybackSession::State::Paused) {
        ListView1DblClick();
        return;
    }
    Playback->resume();
    showPlaybackButtons();
}

void TForm1::SpeedButton12Click()
{
    if (selectedRow())
        Playback->pause();
    showPlaybackButtons();
}

void TForm1::SpeedButton13Click()
{
    if (!selectedRow())
        return;
    if (Playback->isActive())
        Playback->stop(recording::PlaybackSession::StopReason::User);
    else
        playbackStopped(recording::PlaybackSession::StopReason::User);
}

void TForm1::SpeedButton14Click()
{
    if (!selectedRow() || ListView1->topLevelItemCount() == 0)
        return;
    ListView1->setCurrentItem(ListView1->topLevelItem(0));
    ListView1DblClick();
}

void TForm1::SpeedButton15Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row || ListView1->topLevelItemCount() == 0)
        return;
    const int index = std::max(0, ListView1->indexOfTopLevelItem(row) - 1);
    ListView1->setCurrentItem(ListView1->topLevelItem(index));
    ListView1DblClick();
}

void TForm1::SpeedButton16Click()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row || ListView1->topLevelItemCount() == 0)
        return;
    const int index =
        std::min(ListView1->topLevelItemCount() - 1, ListView1->indexOfTopLevelItem(row) + 1);
    ListView1->setCurrentItem(ListView1->topLevelItem(index));
    ListView1DblClick();
}

void TForm1::SpeedButton17Click()
{
    if (!selectedRow() || ListView1->topLevelItemCount() == 0)
        return;
    ListView1->setCurrentItem(ListView1->topLevelItem(ListView1->topLevelItemCount() - 1));
    ListView1DblClick();
}

void TForm1::Timer3Timer()
{
    // Only the clock: the end of the file is the session's to notice.
    if (!Playback->stream())
        return;
    // The length can grow while a file whose container only estimated it is decoded.
    const int length = int(library::roundHalfEven(Playback->lengthSeconds()));
    const qint64 seconds = library::roundHalfEven(Playback->positionSeconds());
    if (TrackBar2->isSliderDown())
        showPosition(TrackBar2->value(), length);
    else
        showPosition(int(std::clamp<qint64>(seconds, 0, length)), length);
    Label8->setText(library::FormatHMS(TrackBar2->value()));
}

void TForm1::showPosition(int seconds, int length)
{
    // The program's own moves of the bar are not the user's seeks.
    const bool before = std::exchange(m_showingPosition, true);
    TrackBar2->setMaximum(length);
    TrackBar2->setValue(seconds);
    m_showingPosition = before;
}

void TForm1::TrackBar2Change()
{
    // The keyboard, the wheel and assistive technology move the bar without a drag:
    // each move seeks. A drag seeks once, where the thumb is let go.
    if (!m_showingPosition && !TrackBar2->isSliderDown())
        TrackBar2Released();
}

void TForm1::TrackBar2Released()
{
    Playback->seek(double(TrackBar2->value()));
}

void TForm1::setUpSeekBar()
{
    // A click on the bar puts the playback where the user clicked, not a page
    // further along.
    class ClickToPositionStyle : public QProxyStyle
    {
    public:
        int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                      QStyleHintReturn *returnData) const override
        {
            if (hint == QStyle::SH_Slider_AbsoluteSetButtons)
                return Qt::LeftButton;
            return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    };
    auto *style = new ClickToPositionStyle;
    style->setParent(TrackBar2);
    TrackBar2->setStyle(style);
}

void TForm1::TrackBar3Change()
{
    showMuteButton();
    Input->setOutputVolume(TrackBar3->value());
}

void TForm1::showMuteButton()
{
    // Down exactly while the playback volume is 0.
    const bool muted = TrackBar3->value() == 0;
    SpeedButton18->setChecked(muted);
    SpeedButton18->setIcon(appIcon(muted ? QStringLiteral("mute") : QStringLiteral("speaker")));
}

void TForm1::SpeedButton18Click()
{
    // A sounding playback is muted, keeping its volume; a muted one gets it back.
    if (TrackBar3->value() != 0) {
        TrackBar3Tag = TrackBar3->value();
        TrackBar3->setValue(0);
    } else {
        TrackBar3->setValue(TrackBar3Tag);
    }
    // Also when the volume stays (nothing kept to return to).
    showMuteButton();
}

// ---------------------------------------------------------------------------
// Spectrum

void TForm1::updateInputLevel()
{
    // The monitor, a recording and a paused recording all keep their channel
    // running: the meter follows the input in each of them.
    audio::CaptureChannel *capture = shownCaptureChannel();
    if (capture && capture->state() == audio::ActiveState::Playing)
        InputLevel.update(capture->takePeaks(), m_levelClock.elapsed());
    else
        InputLevel.clear();
    InputLevelBar->showLevels(InputLevel);
    showClipWarning();
}

void TForm1::clearClipWarning()
{
    InputLevel.clearClip();
    showClipWarning();
}

void TForm1::showClipWarning()
{
    const bool clipped = InputLevel.clipped();
    if (m_clipShown == clipped)
        return;
    m_clipShown = clipped;
    ClipWarning->setVisible(clipped);
    // The level bar says it too: a screen reader finds the warning where it reads
    // the level.
    InputLevelBar->setAccessibleDescription(clipped ? tr("输入电平 (dBFS)") + tr("；") +
                                                          tr("输入达到满幅；单击清除")
                                                    : tr("输入电平 (dBFS)"));
}

void TForm1::PosTimerTimer()
{
    updateInputLevel();
    if (!Spectrum)
        return;
    std::array<float, 513> data{};
    bool have = false;
    audio::CaptureChannel *capture = shownCaptureChannel();
    if (capture && capture->state() == audio::ActiveState::Playing && !IsPaused)
        have = true, capture->spectrum(data.data());
    else if (Playback->spectrum(data.data()))
        have = true;
    if (!have)
        return;
    // A silent input, or a steady tone, gives the same frame again: the box keeps
    // showing it without being drawn.
    if (!Spectrum->advance(data) && m_spectrumShown)
        return;
    Spectrum->render(5, -5);
    PaintFrame->showPicture(Spectrum->Buffer);
    m_spectrumShown = true;
}

void TForm1::PaintFramePaint(QImage &picture, const QRect &clip)
{
    if (IsPaused && !FrozenPicture.isNull()) {
        QPainter painter(&picture);
        painter.drawImage(clip, FrozenPicture, clip);
        m_spectrumShown = false;
    } else if (!Playback->stream() && !shownCaptureChannel()) {
        QPainter painter(&picture);
        recording::TSpectrum::DrawIdleFrame(painter, QRect(QPoint(0, 0), PaintFrame->size()),
                                            PaintFrame->height());
        m_spectrumShown = false;
    }
}

void TForm1::FreezeSpectrum()
{
    FrozenPicture = recording::TSpectrum::idleFrame(PaintFrame->width(), PaintFrame->height());
    QPainter painter(&FrozenPicture);
    painter.drawImage(0, 0, PaintFrame->picture());
}

} // namespace sonalto
