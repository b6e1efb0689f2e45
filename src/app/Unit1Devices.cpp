// Device panel, output settings panel and the sound detector of the main window.
#include "app/LabelStyle.h"
#include "app/Unit1.h"
#include "common/Icons.h"
#include "options/Mp3unit.h"
#include "options/RateLists.h"
#include "recording/RecordingMessages.h"

#include <QComboBox>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace sonalto {

// ---------------------------------------------------------------------------
// Capture devices and inputs

void TForm1::createInputSession()
{
    recording::InputSession::Options options;
    if (m_options.backend) {
        // A backend handed in is connected once; after that there is none to try.
        auto handed =
            std::make_shared<std::unique_ptr<audio::AudioBackend>>(std::move(m_options.backend));
        options.makeBackend = [handed]() { return std::move(*handed); };
    } else if (m_options.useSystemBackend) {
        options.makeBackend = [] { return audio::AudioEngine::createSystemBackend(); };
    }
    options.retryMs = m_options.serverRetryMs;
    options.noticeAfterMs = m_options.serverNoticeMs;
    Input = new recording::InputSession(std::move(options), this);
    using Session = recording::InputSession;
    connect(Input, &Session::serverChanged, this, &TForm1::showServerState);
    connect(Input, &Session::devicesChanged, this, &TForm1::showDevices);
    connect(Input, &Session::levelChanged, this, &TForm1::showInputLevel);
    connect(Input, &Session::monitorChanged, this, &TForm1::monitorChanged);
    connect(Input, &Session::failed, this, &TForm1::inputFailed);

    recording::InputChoice stored;
    stored.deviceName = Config.recordDeviceName.value();
    stored.inputName = Config.inputChannelName.value();
    stored.devicePosition = Config.recordDevice.value();
    stored.inputPosition = Config.inputChannel.value();
    Input->setChoice(stored);
    // Without a readable stored volume the input keeps the level it has: setting
    // it to 0 would silence the input, for other programs too.
    if (const auto volume = Config.volume.value())
        Input->setVolume(*volume);
}

QString TForm1::inputName() const
{
    const recording::InputEntry *input = Input->input();
    return input ? input->name : QString();
}

void TForm1::showServerState()
{
    using Server = recording::InputSession::Server;
    if (Input->notResponding())
        showNotice(Notice::ServerSilent, tr("声音服务器没有响应，正在等待…"));
    else
        clearNotice(Notice::ServerSilent);
    if (Input->server() == Server::Unavailable && !m_serverSaid) {
        // Said once; the session goes on looking for a server, and the window fills
        // in when one answers.
        m_serverSaid = true;
        setStatusText(QString());
        showMessage(tr("无法启动默认的录音设备！") + QStringLiteral("\n\n") +
                    Input->unavailableReason());
    }
    if (Input->server() != Server::Connected || Recording->engine() == Input->engine())
        return;
    // The audio layer is up: recording and playback use it from now on.
    Recording->setEngine(Input->engine());
    if (!playbackActive())
        createPlaybackSession();
    TrackBar3->setValue(int(std::lround(double(Input->engine()->outputVolume()) * 100.0)));
    showDevices(); // also when there are none to list
    showInputLevel();
}

void TForm1::showDevices()
{
    // The lists carry each entry's key; the entry in use is selected by it.
    const QList<recording::DeviceEntry> &devices = Input->devices();
    const recording::DeviceEntry *device = Input->device();
    ComboBox2->clear();
    for (const recording::DeviceEntry &d : devices)
        ComboBox2->addItem(d.name, d.key);
    ComboBox2->setCurrentIndex(ComboBox2->findData(Input->deviceKey()));
    ComboBox1->clear();
    if (device)
        for (const recording::InputEntry &i : device->inputs)
            ComboBox1->addItem(i.name, i.key);
    ComboBox1->setCurrentIndex(ComboBox1->findData(Input->inputKey()));
    updateDeviceSummary();

    if (Input->server() != recording::InputSession::Server::Connected)
        return;
    if (devices.isEmpty() && !m_noDeviceSaid && !m_inputKnown) {
        m_noDeviceSaid = true;
        showMessage(tr("无法获取录音设备！"));
    }
    const recording::InputChoice &choice = Input->choice();
    if (Input->input()) {
        if (!m_inputKnown || Mode == StatusMode::Detector || Mode == StatusMode::DetectorOff) {
            // Whatever the detector shows, the status line names the input it would show.
            if (!IsRecording)
                StatusText = tr("检测声音从 ") + inputName();
            setStatusText(StatusText);
        }
        m_inputKnown = true;
    }
    // The user's device or input is missing: what is used meanwhile is named on the
    // status line until the chosen one is back (or the user starts something else).
    const bool missing =
        !Input->choiceInUse() && !(choice.deviceName.isEmpty() && choice.deviceKey.isEmpty());
    if (missing && !m_choiceMissing && (Input->input() || m_inputKnownBefore)) {
        const bool deviceListed = std::any_of(devices.begin(), devices.end(), [&](const auto &d) {
            return choice.deviceKey.isEmpty() ? d.name == choice.deviceName
                                              : d.key == choice.deviceKey;
        });
        const bool atStart = !m_inputKnownBefore;
        showNotice(
            Notice::InputRemoved,
            deviceListed
                ? (atStart ? tr("找不到输入声道: ") : tr("输入声道已移除: ")) + choice.inputName
                : (atStart ? tr("找不到录制设备: ") : tr("录制设备已移除: ")) + choice.deviceName);
    } else if (!missing) {
        clearNotice(Notice::InputRemoved);
    }
    m_choiceMissing = missing;
    m_inputKnownBefore = m_inputKnown;
}

void TForm1::showInputLevel()
{
    // A level read from the input is shown, never written back. An input muted
    // elsewhere shows 0 with the mute button pressed; the stored level stays.
    const std::optional<int> volume = Input->volume();
    ValumePanel->setVisible(volume.has_value() ||
                            Input->server() == recording::InputSession::Server::Unavailable);
    if (!volume || TrackBar1->isSliderDown())
        return;
    m_showingVolume = true;
    TrackBar1->setValue(Input->muted() ? 0 : *volume);
    m_showingVolume = false;
    const bool silent = Input->muted() || *volume == 0;
    SpeedButton19->setChecked(silent);
    SpeedButton19->setIcon(appIcon(silent ? QStringLiteral("mute") : QStringLiteral("microphone")));
}

void TForm1::monitorChanged()
{
    if (Input->monitor())
        PosTimer->start();
}

void TForm1::inputFailed(recording::InputSession::Failure what, const QString &reason)
{
    using Failure = recording::InputSession::Failure;
    QString text;
    switch (what) {
    case Failure::Device:
        text = tr("无法使用录音设备: ") + Input->choice().deviceName;
        break;
    case Failure::Input:
        text = tr("无法使用输入声道: ") + Input->choice().inputName;
        break;
    case Failure::Volume:
        text = tr("无法设置录音音量");
        break;
    case Failure::Monitor:
        // The detector's own switch says it in the words of a recording start.
        text = m_monitorFromDetector ? recording::couldNotStartRecording() : tr("无法开始录制");
        break;
    }
    if (!reason.isEmpty())
        text += QStringLiteral("\n\n") + reason;
    showMessage(text);
}

void TForm1::storeInputChoice()
{
    const recording::InputChoice &choice = Input->choice();
    Config.chooseInput(choice.devicePosition, choice.deviceName, choice.inputPosition,
                       choice.inputName);
}

void TForm1::ComboBox2Change()
{
    const QString key = ComboBox2->currentData().toString();
    if (key.isEmpty())
        return;
    Input->chooseDevice(key);
    storeInputChoice();
    AfterInputChange();
}

void TForm1::ComboBox1Change()
{
    const QString key = ComboBox1->currentData().toString();
    if (key.isEmpty())
        return;
    Input->chooseInput(key);
    storeInputChoice();
    AfterInputChange();
}

void TForm1::AfterInputChange()
{
    // A file being played stops (and says so); the monitor opens on the new input
    // whatever the detector's state, and the status line names the input where it
    // shows the detector's text.
    StopAndFreeChannels();
    const bool started = StartMonitor();
    if (Mode == StatusMode::Playback && started) {
        // What played has stopped for the monitor: the window detects again.
        showDetecting(tr("检测声音从 ") + inputName());
    } else if (Mode == StatusMode::Detector || Mode == StatusMode::DetectorOff) {
        StatusText = tr("检测声音从 ") + inputName();
        setStatusText(StatusText);
    }
    updateDeviceSummary();
}

bool TForm1::StartMonitor()
{
    // Without a capture device there is nothing to open; start-up has said so once.
    m_monitorFromDetector = false;
    Input->openMonitor();
    return Input->server() != recording::InputSession::Server::Unavailable;
}

void TForm1::TrackBar1Change()
{
    const int position = TrackBar1->value();
    if (m_showingVolume)
        return;
    SpeedButton19->setChecked(position == 0);
    SpeedButton19->setIcon(
        appIcon(position == 0 ? QStringLiteral("mute") : QStringLiteral("microphone")));
    // The user's level: set on the input, and stored.
    Input->setVolume(position);
    Config.volume.choose(position);
}

void TForm1::SpeedButton19Click()
{
    // Whatever the button shows now, the input's own state decides: a silent input
    // (muted here or elsewhere) gets its level back, a sounding one is muted.
    const bool silent = Input->muted() || Input->volume().value_or(0) == 0;
    int level = 0;
    if (silent) {
        level =
            TrackBar1Tag > 0 ? TrackBar1Tag : (Input->muted() ? Input->volume().value_or(0) : 0);
    } else {
        TrackBar1Tag = Input->volume().value_or(TrackBar1->value());
    }
    if (!Input->volume() && Input->server() != recording::InputSession::Server::Connected) {
        SpeedButton19->setChecked(false);
        return;
    }
    Input->setVolume(level);
    Config.volume.choose(level);
    showInputLevel();
}

void TForm1::updateDeviceSummary()
{
    // Without a device (none found, or the audio layer not started yet) there is
    // nothing to name.
    const recording::DeviceEntry *device = Input->device();
    if (!device) {
        Label13->clear();
        Label13->setToolTip(QString());
        return;
    }
    Label13->setText(tr("录制从 ") + device->name + QStringLiteral(", ") + inputName());
    Label13->setToolTip(Label13->text());
}

void TForm1::SpeedButton20Click()
{
    DevicesOpen = !DevicesOpen;
    showDeviceSection();
}

void TForm1::showDeviceSection()
{
    // A collapsed section's controls are hidden, so the keyboard's focus never goes
    // where nothing can be seen; the volume stays in the header line.
    SpeedButton20->setChecked(DevicesOpen);
    for (QWidget *w :
         std::initializer_list<QWidget *>{Label1, ComboBox2, Label6, ComboBox1, Label14})
        w->setVisible(DevicesOpen);
    if (DevicesOpen) {
        SpeedButton20->setIcon(appIcon(QStringLiteral("expand")));
        Panel5->setFixedHeight(m_panel5Height);
        Label13->hide();
        ValumePanel->move(374, 57);
    } else {
        SpeedButton20->setIcon(appIcon(QStringLiteral("collapse")));
        Panel5->setFixedHeight(CollapsedHeight);
        updateDeviceSummary();
        Label13->show();
        ValumePanel->move(390, 3);
    }
    fitHeight();
}

// ---------------------------------------------------------------------------
// Output settings

void TForm1::buildFormatLists()
{
    const auto lists = options::buildFormatLists();
    for (size_t i = 0; i < lists.size(); ++i) {
        FormatRateLists[i] = {lists[i].rates, lists[i].channels, {}};
        for (const QString &rate : lists[i].rates)
            FormatRateLists[i].rateHz.append(options::rateFromItemText(rate));
    }
}

void TForm1::FillRateAndChannelLists()
{
    // Each rate item carries its rate in Hz.
    ComboBox4->clear();
    ComboBox5->clear();
    const FormatLists &lists = FormatRateLists[size_t(outputFormat())];
    for (qsizetype i = 0; i < lists.rates.size(); ++i)
        ComboBox4->addItem(lists.rates.at(i), lists.rateHz.at(i));
    ComboBox5->addItems(lists.channels);
    ComboBox4->setCurrentIndex(options::defaultRateIndex(lists.rates));
    ComboBox5->setCurrentIndex(ComboBox5->count() - 1);
}

void TForm1::applyOutputValues()
{
    // The stored positions where the format's lists hold them, else its defaults.
    const FormatLists &lists = FormatRateLists[size_t(outputFormat())];
    const int ratePosition = Config.sampleRate.value();
    const int rate = ratePosition >= 0 && ratePosition < lists.rateHz.size()
                         ? ratePosition
                         : options::defaultRateIndex(lists.rates);
    OutputRate = rate >= 0 && lists.rateHz.at(rate) > 0 ? lists.rateHz.at(rate) : 44100;
    const int channels = Config.channels.value();
    if (outputFormat() == 3)
        OutputChannels = channels >= 0 && channels < lists.channels.size() ? channels + 1 : 2;
    else
        OutputChannels = 2;
}

void TForm1::ComboBox3Change()
{
    const int format = ComboBox3->currentIndex();
    if (format < 0 || format > 3)
        return;
    Config.outputFormat.choose(format);
    SpeedButton22->setVisible(OutputOpen && format == 0);
    FillRateAndChannelLists();
    // The new format's lists start at their defaults.
    Config.sampleRate.choose(ComboBox4->currentIndex());
    Config.channels.choose(ComboBox5->currentIndex());
    applyOutputValues();
}

void TForm1::ComboBox4Change()
{
    Config.sampleRate.choose(ComboBox4->currentIndex());
    applyOutputValues();
}

void TForm1::ComboBox5Change()
{
    Config.channels.choose(ComboBox5->currentIndex());
    applyOutputValues();
}

void TForm1::SpeedButton11Click()
{
    OutputOpen = !OutputOpen;
    showOutputSection();
}

void TForm1::showOutputSection()
{
    SpeedButton11->setChecked(OutputOpen);
    for (QWidget *w :
         std::initializer_list<QWidget *>{Label4, ComboBox3, Label9, ComboBox4, Label10, ComboBox5})
        w->setVisible(OutputOpen);
    // The MP3 settings are there for MP3 only.
    SpeedButton22->setVisible(OutputOpen && outputFormat() == 0);
    if (OutputOpen) {
        SpeedButton11->setIcon(appIcon(QStringLiteral("expand")));
        Panel9->setFixedHeight(m_panel9Height);
        Label12->hide();
    } else {
        SpeedButton11->setIcon(appIcon(QStringLiteral("collapse")));
        Panel9->setFixedHeight(CollapsedHeight);
        Label12->setText(ComboBox3->currentText() + QStringLiteral(", ") +
                         ComboBox4->currentText() + QStringLiteral(", ") +
                         ComboBox5->currentText());
        Label12->setToolTip(Label12->text());
        Label12->show();
    }
    fitHeight();
}

void TForm1::SpeedButton22Click()
{
    if (Mp3Form)
        Mp3Form->exec();
}

// ---------------------------------------------------------------------------
// Sound detector

void TForm1::Label2Click()
{
    if (detectorOn()) {
        setPlainStyle(Label15, true);
        setModeIndicator(StatusMode::DetectorOff);
        setFontColour(Label2, Green);
        setFontColour(Label3, Green);
        setFontColour(Label7, Green);
        StopAndFreeChannels();
        return;
    }
    StopAndFreeChannels();
    if (Input->server() == recording::InputSession::Server::Unavailable || !Input->input()) {
        showMessage(recording::couldNotStartRecording() + QStringLiteral("\n\n") +
                    (Input->server() == recording::InputSession::Server::Unavailable
                         ? Input->unavailableReason()
                         : tr("没有可用的输入声道")));
        return;
    }
    Input->openMonitor();
    m_monitorFromDetector = true;
    showDetecting(tr("Detecting sound from ") + inputName());
}

void TForm1::showDetecting(const QString &status)
{
    PosTimer->start();
    setFontColour(Label8, Green);
    Label8->setText(QStringLiteral("00:00:00"));
    setFontColour(Label2, Lime);
    setFontColour(Label3, Green);
    setFontColour(Label7, Green);
    StatusText = status;
    setStatusText(StatusText);
    setPlainStyle(Label15);
    setModeIndicator(StatusMode::Detector);
}

// The label lights up under the pointer only while the indicator stands beside
// another mode label.
void TForm1::Label2MouseEnter()
{
    if (Mode == StatusMode::Recording || Mode == StatusMode::Playback)
        setFontColour(Label2, Lime);
}

void TForm1::Label2MouseLeave()
{
    if (Mode == StatusMode::Recording || Mode == StatusMode::Playback)
        setFontColour(Label2, Green);
}

} // namespace sonalto
