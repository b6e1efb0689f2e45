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

namespace {

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}
} // namespace

// ---------------------------------------------------------------------------
// Capture devices and inputs

void TForm1::captureStartup()
{
    fillDeviceList();
    if (Engine->currentDevice() < 0 || DeviceNumbers.empty()) {
        showMessage(QStringLiteral("无法获取录音设备！"));
    } else {
        ComboBox2->setCurrentIndex(0);
        Engine->selectDevice(DeviceNumbers.front());
    }
    FillInputList();
    Engine->setDevicesChangedHandler([this] {
        QMetaObject::invokeMethod(this, &TForm1::onDevicesChanged, Qt::QueuedConnection);
    });
    Engine->setVolumesChangedHandler([this] {
        QMetaObject::invokeMethod(this, &TForm1::onInputVolumeChanged, Qt::QueuedConnection);
    });
}

void TForm1::fillDeviceList()
{
    ComboBox2->clear();
    DeviceNumbers.clear();
    const std::vector<audio::DeviceInfo> devices = Engine->captureDevices();
    for (size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].enabled)
            continue;
        ComboBox2->addItem(text(devices[i].name));
        DeviceNumbers.push_back(int(i));
    }
}

int TForm1::currentDeviceNumber() const
{
    const int position = ComboBox2->currentIndex();
    if (position < 0 || position >= int(DeviceNumbers.size()))
        return -1;
    return DeviceNumbers[size_t(position)];
}

void TForm1::FillInputList()
{
    ComboBox1->clear();
    if (!Engine)
        return;
    int remembered = -1;
    const std::vector<audio::InputInfo> inputs = Engine->inputs();
    for (size_t i = 0; i < inputs.size(); ++i) {
        ComboBox1->addItem(text(inputs[i].name));
        if ((inputs[i].flags & audio::InputTypeMask) == audio::InputTypeOutputMix)
            remembered = int(i);
    }
    const int selected = remembered >= 0 ? remembered : 0;
    ComboBox1->setCurrentIndex(ComboBox1->count() > 0 ? selected : -1);
    if (ComboBox1->count() > 0)
        Engine->switchOnInput(selected);
}

void TForm1::ComboBox2Change()
{
    if (!Engine)
        return;
    const int device = currentDeviceNumber();
    if (device >= 0 && !Engine->selectDevice(device))
        showMessage(QStringLiteral("无法使用录音设备: ") + ComboBox2->currentText());
    FillInputList();
    AfterInputChange();
    m_chosenDevice = ComboBox2->currentText();
    m_chosenInput = ComboBox1->currentText();
}

void TForm1::ComboBox1Change()
{
    if (!Engine)
        return;
    if (ComboBox1->currentIndex() >= 0 && !Engine->switchOnInput(ComboBox1->currentIndex()))
        showMessage(QStringLiteral("无法使用输入声道: ") + ComboBox1->currentText());
    AfterInputChange();
    m_chosenDevice = ComboBox2->currentText();
    m_chosenInput = ComboBox1->currentText();
}

bool TForm1::selectByName(const QString &device, const QString &input)
{
    if (!Engine || device.isEmpty() || input.isEmpty())
        return false;
    const int devicePosition = ComboBox2->findText(device);
    if (devicePosition < 0)
        return false;
    const auto devices = Engine->captureDevices();
    const auto &names = devices[size_t(DeviceNumbers[size_t(devicePosition)])].inputNames;
    if (std::find(names.begin(), names.end(), input.toStdString()) == names.end())
        return false;
    ComboBox2->setCurrentIndex(devicePosition);
    ComboBox2Change();
    ComboBox1->setCurrentIndex(ComboBox1->findText(input));
    ComboBox1Change();
    return true;
}

void TForm1::showInputVolume(float volume)
{
    // Rounded to the nearest step: truncating would show 0.29 as 28, and the
    // next write would lower the input's level a little each time.
    m_showingVolume = true;
    TrackBar1->setValue(int(std::lround(double(volume) * 100.0)));
    m_showingVolume = false;
}

void TForm1::AfterInputChange()
{
    if (!Engine)
        return;
    float volume = 0.f;
    if (const auto info = Engine->input(ComboBox1->currentIndex()))
        volume = info->volume;
    showInputVolume(volume);
    StopAndFreeChannels();
    if (!m_creating && StartMonitor() &&
        (Mode == StatusMode::Detector || Mode == StatusMode::DetectorOff))
        Label15->setText(QStringLiteral("检测声音从 ") + ComboBox1->currentText());
    updateDeviceSummary();
}

bool TForm1::StartMonitor()
{
    if (!Engine)
        return false;
    // Without a capture device there is nothing to open; start-up has said so once.
    if (Engine->currentDevice() < 0 || Engine->inputCount() == 0)
        return false;
    std::string error;
    RecordChannel = Engine->startCapture(
        audio::PcmFormat{44100, 2}, true, [](const int16_t *, size_t) { return true; }, &error);
    if (!RecordChannel) {
        showMessage(QStringLiteral("无法开始录制"));
        return false;
    }
    RecordChannel->play();
    PosTimer->start();
    return true;
}

void TForm1::TrackBar1Change()
{
    const int position = TrackBar1->value();
    if (position == 0) {
        SpeedButton19->setChecked(true);
        SpeedButton19->setIcon(appIcon(QStringLiteral("mute")));
    } else if (SpeedButton19->isChecked()) {
        SpeedButton19->setChecked(false);
        SpeedButton19->setIcon(appIcon(QStringLiteral("microphone")));
    }
    // A level read from the input is shown, never written back.
    if (Engine && !m_showingVolume)
        Engine->setInputVolume(ComboBox1->currentIndex(), float(position * 0.01));
}

void TForm1::onInputVolumeChanged()
{
    // The input's level changed, here or in another program (the desktop's
    // sound settings, pactl): the bar follows, unless the user is dragging it.
    if (!Engine || TrackBar1->isSliderDown())
        return;
    if (const auto info = Engine->input(ComboBox1->currentIndex()))
        showInputVolume(info->volume);
}

void TForm1::SpeedButton19Click()
{
    const bool pressed = SpeedButton19->isChecked();
    SpeedButton19->setIcon(
        appIcon(pressed ? QStringLiteral("mute") : QStringLiteral("microphone")));
    if (pressed) {
        TrackBar1Tag = TrackBar1->value();
        TrackBar1->setValue(0);
    } else {
        TrackBar1->setValue(TrackBar1Tag);
    }
    if (Engine)
        Engine->setInputVolume(ComboBox1->currentIndex(), float(TrackBar1->value() * 0.01));
}

void TForm1::updateDeviceSummary()
{
    if (SpeedButton20->isChecked())
        return;
    // Without a device (none found, or the audio layer not started yet) there is
    // nothing to name.
    if (ComboBox2->count() == 0) {
        Label13->clear();
        Label13->setToolTip(QString());
        return;
    }
    Label13->setText(QStringLiteral("录制从 ") + ComboBox2->currentText() + QStringLiteral(", ") +
                     ComboBox1->currentText());
    Label13->setToolTip(Label13->text());
}

void TForm1::SpeedButton20Click()
{
    if (SpeedButton20->isChecked()) {
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

void TForm1::onDevicesChanged()
{
    // Devices come and go while the program runs, and the sound server itself
    // may restart. During a recording the lists stay as they are (the
    // recording's own channel reports a vanished source itself); they are read
    // again once it has ended.
    if (!Engine)
        return;
    if (IsRecording) {
        if (!m_devicesChangedWhileRecording) {
            m_devicesChangedWhileRecording = true;
            QTimer::singleShot(200, this, [this] {
                m_devicesChangedWhileRecording = false;
                onDevicesChanged();
            });
        }
        return;
    }
    Engine->refreshDevices();
    const QString device = ComboBox2->currentText();
    const QString input = ComboBox1->currentText();
    fillDeviceList();
    auto position = [](QComboBox *box, const QString &name) {
        return name.isEmpty() ? -1 : box->findText(name);
    };
    const bool deviceGone = !device.isEmpty() && position(ComboBox2, device) < 0;

    // The user's own choice wins whenever it is listed (back after a lost
    // server or a re-plug); else the device in use; else the first one.
    int devicePosition = position(ComboBox2, m_chosenDevice);
    if (devicePosition < 0)
        devicePosition = position(ComboBox2, device);
    if (devicePosition < 0)
        devicePosition = ComboBox2->count() > 0 ? 0 : -1;
    ComboBox2->setCurrentIndex(devicePosition);
    if (devicePosition < 0) {
        // Nothing to record from now; a failed monitor stays until a device is back.
        ComboBox1->clear();
        if (deviceGone)
            Label15->setText(QStringLiteral("录制设备已移除: ") + device);
        updateDeviceSummary();
        return;
    }
    const int number = currentDeviceNumber();
    if (Engine->currentDevice() != number)
        Engine->selectDevice(number);
    const bool sameDevice = ComboBox2->currentText() == device;

    ComboBox1->clear();
    for (const audio::InputInfo &info : Engine->inputs())
        ComboBox1->addItem(text(info.name));
    const bool inputGone = sameDevice && !input.isEmpty() && position(ComboBox1, input) < 0;
    int inputPosition =
        ComboBox2->currentText() == m_chosenDevice ? position(ComboBox1, m_chosenInput) : -1;
    if (inputPosition < 0 && sameDevice)
        inputPosition = position(ComboBox1, input);
    if (inputPosition < 0) {
        FillInputList(); // chosen as on a device change
    } else {
        ComboBox1->setCurrentIndex(inputPosition);
        if (Engine->currentInput() != inputPosition)
            Engine->switchOnInput(inputPosition);
    }

    // The monitor follows a changed input, and one whose source went away and
    // came back is reopened.
    const bool changed = !sameDevice || ComboBox1->currentText() != input;
    if (changed || (RecordChannel && RecordChannel->failed()))
        AfterInputChange();
    // The notice stays until the user acts: the window now names what is used.
    if (inputGone)
        Label15->setText(QStringLiteral("输入声道已移除: ") + input);
    else if (deviceGone)
        Label15->setText(QStringLiteral("录制设备已移除: ") + device);
    updateDeviceSummary();
}

// ---------------------------------------------------------------------------
// Output settings

void TForm1::buildFormatLists()
{
    const auto lists = options::buildFormatLists();
    for (size_t i = 0; i < lists.size(); ++i)
        FormatRateLists[i] = {lists[i].rates, lists[i].channels};
}

int TForm1::outputFormat() const
{
    const int format = ComboBox3->currentIndex();
    return format >= 0 && format <= 3 ? format : 0;
}

void TForm1::FillRateAndChannelLists()
{
    ComboBox4->clear();
    ComboBox5->clear();
    const int format = ComboBox3->currentIndex();
    if (format < 0 || format > 3)
        return;
    ComboBox4->addItems(FormatRateLists[size_t(format)].rates);
    ComboBox5->addItems(FormatRateLists[size_t(format)].channels);
    ComboBox4->setCurrentIndex(options::defaultRateIndex(FormatRateLists[size_t(format)].rates));
    ComboBox5->setCurrentIndex(ComboBox5->count() - 1);
}

void TForm1::applyOutputValues()
{
    ComboBox5Change();
    ComboBox4Change();
}

void TForm1::ComboBox3Change()
{
    SpeedButton22->setVisible(ComboBox3->currentIndex() == 0);
    FillRateAndChannelLists();
    applyOutputValues();
}

void TForm1::ComboBox4Change()
{
    OutputRate = options::rateFromItemText(ComboBox4->currentText());
    if (OutputRate <= 0)
        OutputRate = 44100;
}

void TForm1::ComboBox5Change()
{
    if (ComboBox3->currentIndex() == 3)
        OutputChannels = ComboBox5->currentIndex() >= 0 ? ComboBox5->currentIndex() + 1 : 2;
    else
        OutputChannels = 2;
}

void TForm1::SpeedButton11Click()
{
    if (SpeedButton11->isChecked()) {
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
    if (!Engine) {
        showMessage(recording::couldNotStartRecording());
        return;
    }
    std::string error;
    RecordChannel = Engine->startCapture(
        audio::PcmFormat{44100, 2}, true, [](const int16_t *, size_t) { return true; }, &error);
    if (!RecordChannel) {
        showMessage(recording::couldNotStartRecording());
        return;
    }
    RecordChannel->play();
    PosTimer->start();
    setFontColour(Label8, Green);
    Label8->setText(QStringLiteral("00:00:00"));
    setFontColour(Label2, Lime);
    setFontColour(Label3, Green);
    setFontColour(Label7, Green);
    Label15->setText(QStringLiteral("Detecting sound from ") + ComboBox1->currentText());
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
