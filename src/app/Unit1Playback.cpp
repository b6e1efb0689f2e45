// Playback of a recording and the spectrum display of the main window.
#include "app/LabelStyle.h"
#include "app/SpectrumBox.h"
#include "app/Unit1.h"
#include "common/Icons.h"
#include "library/ListFormat.h"
#include "recording/Spectrum_vis.h"

#include <QFile>
#include <QPainter>
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

void TForm1::ListView1DblClick()
{
    QTreeWidgetItem *row = selectedRow();
    if (!row)
        return;
    const QString path = rowPath(row);
    StopAndFreeChannels();
    std::string error;
    if (Engine)
        PlayStream = Engine->openFile(QFile::encodeName(path).toStdString(), &error);
    if (!PlayStream || !PlayStream->play()) {
        PlayStream.reset();
        showMessage(QStringLiteral("Can't play the file."));
        return;
    }
    setFontColour(Label8, Lime);
    setFontColour(Label7, Lime);
    setFontColour(Label2, Green);
    setFontColour(Label3, Green);
    setModeIndicator(Label7);
    clearStatuses();
    setRowStatus(row, QStringLiteral("Play"));
    TrackBar2->setValue(0);
    TrackBar2->setMaximum(
        int(library::roundHalfEven(PlayStream->bytesToSeconds(PlayStream->lengthBytes()))));
    pressPlaybackButton(SpeedButton21);
    SpeedButton12->setChecked(false);
    Timer3->start();
    PosTimer->start();
    setPlainStyle(Label15);
    Label15->setText(QStringLiteral("Playing ") + row->text(0));
}

void TForm1::SpeedButton21Click()
{
    if (!selectedRow())
        return;
    if (!PlayStream || PlayStream->state() != audio::ActiveState::Paused) {
        ListView1DblClick();
        return;
    }
    PlayStream->play();
    if (QTreeWidgetItem *row = firstRowWithStatus(QStringLiteral("Pause")))
        setRowStatus(row, QStringLiteral("Play"));
}

void TForm1::SpeedButton12Click()
{
    if (!selectedRow() || !PlayStream || PlayStream->state() != audio::ActiveState::Playing)
        return;
    PlayStream->pause();
    if (QTreeWidgetItem *row = firstRowWithStatus(QStringLiteral("Play")))
        setRowStatus(row, QStringLiteral("Pause"));
}

void TForm1::SpeedButton13Click()
{
    if (!selectedRow())
        return;
    SpeedButton21->setChecked(false);
    SpeedButton12->setChecked(false);
    if (PlayStream) {
        PlayStream->stop();
        PlayStream.reset();
    }
    Timer3->stop();
    TrackBar2->setValue(0);
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = ListView1->topLevelItem(i);
        if (!rowStatus(item).isEmpty()) {
            setRowStatus(item, QStringLiteral("Stop"));
            break;
        }
    }
    PaintFrame->update();
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
    if (!PlayStream)
        return;
    const qint64 seconds =
        library::roundHalfEven(PlayStream->bytesToSeconds(PlayStream->positionBytes()));
    TrackBar2->setValue(int(std::clamp<qint64>(seconds, 0, TrackBar2->maximum())));
    Label8->setText(library::FormatHMS(TrackBar2->value()));
    if (TrackBar2->value() == TrackBar2->maximum())
        SpeedButton13Click();
}

void TForm1::TrackBar2Released()
{
    if (PlayStream)
        PlayStream->setPositionBytes(PlayStream->secondsToBytes(double(TrackBar2->value())));
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
    if (Engine)
        Engine->setOutputVolume(float(position * 0.01));
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

void TForm1::PosTimerTimer()
{
    if (!Spectrum)
        return;
    std::array<float, 513> data{};
    bool have = false;
    if (RecordChannel && RecordChannel->state() == audio::ActiveState::Playing && !IsPaused)
        have = true, RecordChannel->spectrum(data.data());
    else if (PlayStream && PlayStream->state() == audio::ActiveState::Playing)
        have = true, PlayStream->spectrum(data.data());
    if (!have)
        return;
    QImage frame(PaintFrame->size(), QImage::Format_RGB32);
    QPainter painter(&frame);
    Spectrum->Draw(painter, data, 5, -5);
    painter.end();
    PaintFrame->showPicture(frame);
}

void TForm1::PaintFramePaint(QPainter &painter, const QRect &clip)
{
    if (IsPaused && !FrozenPicture.isNull())
        painter.drawImage(clip, FrozenPicture, clip);
    else if (!PlayStream && !RecordChannel)
        recording::TSpectrum::DrawIdleFrame(painter, QRect(QPoint(0, 0), PaintFrame->size()),
                                            PaintFrame->height());
}

void TForm1::FreezeSpectrum()
{
    FrozenPicture = recording::TSpectrum::idleFrame(PaintFrame->width(), PaintFrame->height());
    QPainter painter(&FrozenPicture);
    painter.drawImage(0, 0, PaintFrame->picture());
}

} // namespace sonalto
