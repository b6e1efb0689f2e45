#pragma once

#include "audio/AudioBackend.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sonalto::audio {
class AudioEngine;
class CaptureChannel;
} // namespace sonalto::audio

namespace sonalto::recording {

// One input of a capture device as the window lists it.
struct InputEntry
{
    QString key; // stable: the source and port it records from
    QString name;
    bool outputMix = false; // what the sound card plays
    bool operator==(const InputEntry &) const = default;
};

// One capture device (enabled ones only) with its inputs.
struct DeviceEntry
{
    QString key; // stable: the backend's id of the device
    QString name;
    QList<InputEntry> inputs;
    bool operator==(const DeviceEntry &) const = default;
};

// Which device and input the user wants: by key where the user picked them in this run,
// by name where they come from the stored settings, by list position where only that is
// stored (files brought from Windows).
struct InputChoice
{
    QString deviceKey, inputKey;
    QString deviceName, inputName;
    int devicePosition = 0, inputPosition = 0;
    bool operator==(const InputChoice &) const = default;
};

// The capture side of the program, without widgets: the audio layer and its sound server,
// the capture devices and their inputs, which input is used, its level and mute state, and
// the input monitor (a capture of the input while no recording runs, for the spectrum and
// the level meter).
//
// Everything that talks to the sound server runs on the session's worker thread; every
// call there has a deadline, and the commands below return at once. What the worker finds
// reaches this object's thread as a new state and a signal. A call left unanswered for a
// while (a server that hangs) is announced by notResponding(), and what was asked meanwhile
// is carried out once the server answers again.
//
// What the user chose is kept apart from what is used: while the chosen device or input is
// missing (not plugged in, removed, no sound server at all) another one is used, and the
// chosen one is taken again as soon as it is back. A server that is not there at start, or
// goes away, is looked for again until it answers.
class InputSession : public QObject
{
    Q_OBJECT
public:
    enum class Server { Starting, Connected, Unavailable };
    Q_ENUM(Server)
    // What failed, for the message the window shows with the reason.
    enum class Failure { Device, Input, Volume, Monitor };
    Q_ENUM(Failure)

    struct Options
    {
        // Makes the backend to connect with (the system's sound server by default); a
        // fresh one is made for each attempt while no server answers. Null: never any.
        std::function<std::unique_ptr<audio::AudioBackend>()> makeBackend;
        int retryMs = 1000;       // how soon a missing server or a failed call is tried again
        int noticeAfterMs = 1500; // a call unanswered this long is announced
    };

    explicit InputSession(Options options, QObject *parent = nullptr);
    ~InputSession() override;

    // Connects in the background; the devices follow.
    void start();
    // Everything asked so far has been carried out (or has failed and been said).
    bool settled() const;

    Server server() const { return m_server; }
    // The server has left a call unanswered for longer than the notice time.
    bool notResponding() const { return m_notResponding; }
    // The reason the server could not be reached, while it is Unavailable.
    QString unavailableReason() const { return m_unavailableReason; }
    // The audio layer, once connected; it lives as long as the session.
    audio::AudioEngine *engine() const { return m_engine; }

    const QList<DeviceEntry> &devices() const { return m_devices; }
    const DeviceEntry *device() const;
    const InputEntry *input() const;
    QString deviceKey() const { return m_deviceKey; }
    QString inputKey() const { return m_inputKey; }
    // The backend's id of the source the input in use records from; empty without one.
    std::string inputSource() const;
    const InputChoice &choice() const { return m_choice; }
    // The chosen device is in use (and its chosen input, where one was chosen).
    bool choiceInUse() const;

    // Level of the input in use as the server holds it, 0..100; nullopt until known.
    std::optional<int> volume() const { return m_volume; }
    bool muted() const { return m_muted; }

    // What the user wants recorded from. The stored choice at start, then each pick.
    void setChoice(const InputChoice &choice);
    // The user picks a device (its input as a device change picks it: the last output
    // mix, else the first) or an input of the device in use.
    void chooseDevice(const QString &deviceKey);
    void chooseInput(const QString &inputKey);
    // Sets the level of the input in use, 0..100; the latest request wins.
    void setVolume(int percent);

    // The playback volume: the output device's level, 0..100 (set by the same worker,
    // which owns the audio layer); the latest request wins.
    void setOutputVolume(int percent);

    // While a recording runs the input in use stays as it is and no monitor is opened.
    void setRecording(bool recording);

    // The input monitor. Opening asks the worker for a capture of the input in use (or
    // a fresh one); closing drops it at once. It follows the input in use while open.
    void openMonitor();
    void closeMonitor();
    bool monitorWanted() const { return m_monitorWanted; }
    audio::CaptureChannel *monitor() const { return m_monitor.get(); }

signals:
    void serverChanged();
    // The lists, or the device or input in use.
    void devicesChanged();
    void levelChanged();
    void monitorChanged();
    void failed(sonalto::recording::InputSession::Failure what, const QString &reason);

private:
    struct Worker;
    struct Snapshot;
    // Hands a change of what is asked to the worker (and counts it).
    void request(const std::function<void(Worker &)> &change);
    void apply(const Snapshot &snapshot);
    void monitorOpened(int serial, std::shared_ptr<audio::CaptureChannel> channel,
                       const QString &error);
    void watch();

    Options m_options;
    std::shared_ptr<Worker> m_worker;
    QTimer m_watchdog;

    Server m_server = Server::Starting;
    bool m_notResponding = false;
    QString m_unavailableReason;
    audio::AudioEngine *m_engine = nullptr;
    QList<DeviceEntry> m_devices;
    QString m_deviceKey, m_inputKey;
    InputChoice m_choice;
    int m_choiceSerial = 0;
    int m_requests = 0, m_handled = 0;
    int m_volumeSerial = 0;
    std::optional<int> m_volume;
    bool m_muted = false;
    bool m_recording = false;
    bool m_monitorWanted = false;
    int m_monitorSerial = 0;
    std::shared_ptr<audio::CaptureChannel> m_monitor;
};

} // namespace sonalto::recording
