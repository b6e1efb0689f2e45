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

namespace sonalto {

void TForm1::pressPlaybackButton(QToolButton *button)
{
    // Play, pause and mute form one group in which all may be up: one going down
    // raises the other two.
    button->setChecked(true);
    for (QToolButton *other : {SpeedButton21, SpeedButton12, SpeedButton18}) {
        if (other != button)
            other->setChecked(false);
    }
}

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
    using State = recording::PlaybackSession::State;
    switch (Playback->state()) {
    case State::Opening:
    case State::Playing:
        if (!SpeedButton21->isChecked())
            pressPlaybackButton(SpeedButton21);
        SpeedButton12->setChecked(false);
        break;
    case State::Paused:
        if (!SpeedButton12->isChecked())
            pressPlaybackButton(SpeedButton12);
        SpeedButton21->setChecked(false);
        break;
    case State::Stopped:
        SpeedButton21->setChecked(false);
        SpeedButton12->setChecked(false);
        break;
    }
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
    TrackBar2->setValue(0);
    TrackBar2->setMaximum(int(library::roundHalfEven(lengthSeconds)));
    Label8->setText(library::FormatHMS(0));
    showPlaybackButtons();
    Timer3->start();
    PosTimer->start();
    setPlainStyle(Label15);
    clearNotice(Notice::HotKeysTaken);
    clearNotice(Notice::InputRemoved);
    setStatusText(QStringLiteral("Playing ") + QFileInfo(path).fileName());
}

void TForm1::playbackFailed(const QString &path, const QString &reason)
{
    Q_UNUSED(path);
    // The file that played before has stopped; what it showed stays, only the
    // controls that would claim it still plays follow.
    Timer3->stop();
    showPlaybackButtons();
    showMessage(reason.isEmpty()
                    ? QStringLiteral("Can't play the file.")
                    : QStringLiteral("Can't play the file.") + QStringLiteral("\n\n") + reason);
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
    TrackBar2->setValue(0);
    // The file that played gets "Stop", even when a recording start has just cleared
    // its word (never the take being recorded).
    if (rowOf(Playback->path()) && rowStatus(Playback->path()) != RowStatus::Recording)
        setRowStatus(Playback->path(), RowStatus::Stop);
    if (reason == Reason::Closed) {
        // Someone else took the sound (the input monitor, a recording, the exit):
        // playback is no longer the window's mode.
        setFontColour(Label7, Green);
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
    TrackBar2->setMaximum(int(library::roundHalfEven(Playback->lengthSeconds())));
    const qint64 seconds = library::roundHalfEven(Playback->positionSeconds());
    if (!TrackBar2->isSliderDown())
        TrackBar2->setValue(int(std::clamp<qint64>(seconds, 0, TrackBar2->maximum())));
    Label8->setText(library::FormatHMS(TrackBar2->value()));
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
    const int position = TrackBar3->value();
    if (position == 0) {
        pressPlaybackButton(SpeedButton18);
        SpeedButton18->setIcon(appIcon(QStringLiteral("mute")));
    } else if (SpeedButton18->isChecked()) {
        SpeedButton18->setChecked(false);
        SpeedButton18->setIcon(appIcon(QStringLiteral("speaker")));
    }
    Input->setOutputVolume(position);
}

void TForm1::SpeedButton18Click()
{
    if (SpeedButton18->isChecked()) {
        SpeedButton18->setIcon(appIcon(QStringLiteral("mute")));
        TrackBar3Tag = TrackBar3->value();
        TrackBar3->setValue(0);
    } else {
        SpeedButton18->setIcon(appIcon(QStringLiteral("speaker")));
        TrackBar3->setValue(TrackBar3Tag);
    }
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
    ClipWarning->setVisible(InputLevel.clipped());
}

void TForm1::clearClipWarning()
{
    InputLevel.clearClip();
    ClipWarning->hide();
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
