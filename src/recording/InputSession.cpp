#include "recording/InputSession.h"

#include "audio/AudioEngine.h"
#include "audio/CaptureChannel.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace sonalto::recording {

namespace {

using Clock = std::chrono::steady_clock;

QString text(const std::string &s)
{
    return QString::fromStdString(s);
}

// An input's key: its source and its port (sources without ports are one input).
QString inputKeyOf(const audio::BackendInput &input)
{
    return text(input.sourceId) + QLatin1Char('#') + text(input.portId);
}

std::string sourceOfKey(const QString &key)
{
    return key.section(QLatin1Char('#'), 0, 0).toStdString();
}

std::string portOfKey(const QString &key)
{
    return key.section(QLatin1Char('#'), 1).toStdString();
}

QList<DeviceEntry> entriesOf(const std::vector<audio::BackendDevice> &model)
{
    QList<DeviceEntry> devices;
    for (const audio::BackendDevice &device : model) {
        if (!device.enabled)
            continue;
        DeviceEntry entry{text(device.id), text(device.name), {}};
        for (const audio::BackendInput &input : device.inputs)
            entry.inputs.append(
                {inputKeyOf(input), text(input.name),
                 (input.flags & audio::InputTypeMask) == audio::InputTypeOutputMix});
        devices.append(std::move(entry));
    }
    return devices;
}

// The input a change to the device picks: its last output mix, else its first input.
int defaultInput(const DeviceEntry &device)
{
    for (qsizetype i = device.inputs.size() - 1; i >= 0; --i)
        if (device.inputs.at(i).outputMix)
            return int(i);
    return device.inputs.isEmpty() ? -1 : 0;
}

template <typename List, typename Pred> int indexWhere(const List &list, Pred pred)
{
    for (qsizetype i = 0; i < list.size(); ++i)
        if (pred(list.at(i)))
            return int(i);
    return -1;
}

struct Target
{
    int device = -1;
    int input = -1;
};

// The device and input to use: the chosen ones where they are listed; else the ones in
// use while they are still there; else what the stored positions name, or the first.
Target resolve(const QList<DeviceEntry> &devices, const InputChoice &choice,
               const QString &currentDevice, const QString &currentInput)
{
    Target t;
    if (devices.isEmpty())
        return t;
    const bool named = !choice.deviceKey.isEmpty() || !choice.deviceName.isEmpty();
    if (!choice.deviceKey.isEmpty())
        t.device =
            indexWhere(devices, [&](const DeviceEntry &d) { return d.key == choice.deviceKey; });
    if (t.device < 0 && !choice.deviceName.isEmpty())
        t.device =
            indexWhere(devices, [&](const DeviceEntry &d) { return d.name == choice.deviceName; });
    if (t.device < 0 && !named && choice.devicePosition >= 0 &&
        choice.devicePosition < devices.size())
        t.device = choice.devicePosition;

    if (t.device >= 0) {
        const QList<InputEntry> &inputs = devices.at(t.device).inputs;
        const bool inputNamed = !choice.inputKey.isEmpty() || !choice.inputName.isEmpty();
        if (!choice.inputKey.isEmpty())
            t.input =
                indexWhere(inputs, [&](const InputEntry &i) { return i.key == choice.inputKey; });
        if (t.input < 0 && !choice.inputName.isEmpty())
            t.input =
                indexWhere(inputs, [&](const InputEntry &i) { return i.name == choice.inputName; });
        if (t.input < 0 && !inputNamed && choice.inputPosition >= 0 &&
            choice.inputPosition < inputs.size())
            t.input = choice.inputPosition;
        if (t.input < 0 && devices.at(t.device).key == currentDevice)
            t.input =
                indexWhere(inputs, [&](const InputEntry &i) { return i.key == currentInput; });
        if (t.input < 0)
            t.input = defaultInput(devices.at(t.device));
        return t;
    }

    // The chosen device is missing: what is in use stays while it is there.
    t.device = indexWhere(devices, [&](const DeviceEntry &d) { return d.key == currentDevice; });
    if (t.device >= 0) {
        t.input = indexWhere(devices.at(t.device).inputs,
                             [&](const InputEntry &i) { return i.key == currentInput; });
        if (t.input < 0)
            t.input = defaultInput(devices.at(t.device));
        return t;
    }
    t.device = choice.devicePosition >= 0 && choice.devicePosition < devices.size()
                   ? choice.devicePosition
                   : 0;
    const QList<InputEntry> &inputs = devices.at(t.device).inputs;
    t.input = choice.inputPosition >= 0 && choice.inputPosition < inputs.size()
                  ? choice.inputPosition
                  : defaultInput(devices.at(t.device));
    return t;
}

} // namespace

struct InputSession::Snapshot
{
    Server server = Server::Starting;
    QString unavailableReason;
    audio::AudioEngine *engine = nullptr;
    QList<DeviceEntry> devices;
    QString deviceKey, inputKey;
    int choiceSerial = 0; // the choice they were resolved for
    int handled = 0;      // the session's requests carried out by then
    int volumeSet = 0;    // the last level request carried out by then
    std::optional<audio::SourceLevel> level;
};

// The worker thread and what the session asks of it. Requests are state, not a queue:
// the worker carries out the latest of each, so a server that hangs does not leave a
// pile of stale calls behind.
struct InputSession::Worker
{
    explicit Worker(Options o) : options(std::move(o)) {}

    const Options options;

    std::mutex mutex; // the requests and the relay
    std::condition_variable wake;
    bool stopping = false;
    bool dirty = false;
    bool refresh = true;   // the device lists may have changed
    bool readLevel = true; // the level of the input in use may have changed
    InputChoice choice;
    int choiceSerial = 0;
    std::optional<int> volume;
    QString volumeInput; // the input it is meant for (the one in use when it was set)
    int volumeSerial = 0;
    std::optional<int> outputVolume; // until carried out
    bool monitorWanted = false;
    int monitorSerial = 0;
    bool monitorLost = false; // the open monitor failed: a fresh one when the input allows
    bool recording = false;
    int requests = 0;                // how many the session has made
    InputSession *session = nullptr; // cleared when the session goes

    // When a call to the backend began (milliseconds of the steady clock), 0 while none
    // is under way: the session's watchdog reads it.
    std::atomic<qint64> busySince{0};

    // The worker thread's own.
    std::unique_ptr<audio::AudioEngine> engine;
    QString deviceKey, inputKey;
    int appliedChoice = -1;
    int appliedVolume = 0;
    int openedMonitor = 0;
    std::thread thread;

    template <typename F> void post(F f)
    {
        std::lock_guard lock(mutex);
        if (session)
            QMetaObject::invokeMethod(
                session, [s = session, f = std::move(f)]() mutable { f(*s); },
                Qt::QueuedConnection);
    }

    // The session's requests are counted, so that it knows when all it asked for has
    // been carried out; the backend's own events are not.
    void request(const std::function<void()> &change, bool fromSession = true)
    {
        {
            std::lock_guard lock(mutex);
            change();
            dirty = true;
            if (fromSession)
                ++requests;
        }
        wake.notify_one();
    }

    // A call to the server, timed for the watchdog.
    template <typename F> auto call(F f)
    {
        const auto began = Clock::now();
        busySince =
            std::chrono::duration_cast<std::chrono::milliseconds>(began.time_since_epoch()).count();
        auto result = f();
        busySince = 0;
        // A call that failed this late met a server that did not answer, not one that
        // refused: what it asked for is tried again, not reported.
        unanswered = Clock::now() - began >= std::chrono::milliseconds(options.noticeAfterMs);
        return result;
    }
    bool unanswered = false; // the last call took as long as a server that does not answer

    void run();
    bool connect();
    // One pass over everything asked; true when something must be tried again later.
    bool pass();
};

void InputSession::Worker::run()
{
    std::unique_lock lock(mutex);
    auto next = Clock::time_point::max();
    for (;;) {
        wake.wait_until(lock, next, [&] { return stopping || dirty; });
        if (stopping)
            return;
        dirty = false;
        lock.unlock();
        bool retry = false;
        if (!engine)
            retry = !connect();
        if (engine)
            retry = pass() || retry;
        lock.lock();
        next = retry ? Clock::now() + std::chrono::milliseconds(options.retryMs)
                     : Clock::time_point::max();
    }
}

bool InputSession::Worker::connect()
{
    std::unique_ptr<audio::AudioBackend> backend =
        options.makeBackend ? options.makeBackend() : nullptr;
    std::string why =
        QCoreApplication::translate("sonalto::recording", "没有可用的声音服务器").toStdString();
    std::unique_ptr<audio::AudioEngine> fresh;
    if (backend) {
        fresh = std::make_unique<audio::AudioEngine>(std::move(backend));
        if (!call([&] { return fresh->start(&why); }))
            fresh.reset();
    }
    if (!fresh) {
        // The session hears of each attempt (the window says it once); the server is
        // looked for again all the while.
        int handled;
        {
            std::lock_guard lock(mutex);
            handled = requests;
        }
        post([reason = text(why), handled](InputSession &s) {
            Snapshot snapshot;
            snapshot.server = Server::Unavailable;
            snapshot.unavailableReason = reason;
            snapshot.handled = handled;
            s.apply(snapshot);
        });
        return false;
    }
    engine = std::move(fresh);
    // Events come from the backend's threads: they only mark what to read again.
    engine->setDevicesChangedHandler([this] {
        request(
            [this] {
                refresh = true;
                readLevel = true;
            },
            false);
    });
    engine->setVolumesChangedHandler([this] { request([this] { readLevel = true; }, false); });
    std::lock_guard lock(mutex);
    refresh = false; // start() has just read them
    readLevel = true;
    return true;
}

bool InputSession::Worker::pass()
{
    bool doRefresh, doReadLevel, wanted, lost, holding;
    InputChoice wantedChoice;
    int choiceAt, volumeAt, monitorAt, handled;
    std::optional<int> wantedVolume, wantedOutput;
    QString volumeFor;
    {
        std::lock_guard lock(mutex);
        doRefresh = std::exchange(refresh, false);
        doReadLevel = std::exchange(readLevel, false);
        wantedChoice = choice;
        choiceAt = choiceSerial;
        wantedVolume = volume;
        volumeFor = volumeInput;
        volumeAt = volumeSerial;
        wantedOutput = std::exchange(outputVolume, std::nullopt);
        wanted = monitorWanted;
        monitorAt = monitorSerial;
        lost = monitorLost;
        holding = recording;
        handled = requests;
    }
    bool retry = false;
    if (doRefresh && !call([&] { return engine->refreshDevices(); })) {
        // Asked again later: the lists stay as they were meanwhile.
        std::lock_guard lock(mutex);
        refresh = true;
        retry = true;
    }
    const QList<DeviceEntry> devices = entriesOf(engine->deviceModel());

    // The input to use. While a recording runs, the one it records from stays.
    bool inputChanged = false;
    const Target target = resolve(devices, wantedChoice, deviceKey, inputKey);
    const DeviceEntry *device = target.device >= 0 ? &devices.at(target.device) : nullptr;
    const InputEntry *input =
        device && target.input >= 0 ? &device->inputs.at(target.input) : nullptr;
    const QString newDevice = device ? device->key : QString();
    const QString newInput = input ? input->key : QString();
    if (!holding && (newDevice != deviceKey || newInput != inputKey || choiceAt != appliedChoice)) {
        if (input) {
            std::string why;
            const bool ok = call([&] {
                return engine->useInput(device->key.toStdString(), sourceOfKey(input->key),
                                        portOfKey(input->key), &why);
            });
            if (ok) {
                inputChanged = newDevice != deviceKey || newInput != inputKey;
                deviceKey = newDevice;
                inputKey = newInput;
                appliedChoice = choiceAt;
                doReadLevel = true;
            } else if (choiceAt != appliedChoice && !unanswered) {
                // The user's pick failed: said once, tried again with the next change.
                appliedChoice = choiceAt;
                post(
                    [what = device->key == wantedChoice.deviceKey && wantedChoice.inputKey.isEmpty()
                                ? Failure::Device
                                : Failure::Input,
                     reason = text(why)](InputSession &s) { emit s.failed(what, reason); });
                retry = true;
            } else {
                retry = true;
            }
        } else {
            inputChanged = !deviceKey.isEmpty() || !inputKey.isEmpty();
            deviceKey = newDevice;
            inputKey = newInput;
            appliedChoice = choiceAt;
        }
    }

    // A level is set on the input it was set for, even when another one is in use by
    // now; one set before any input was known is the level of the first one used.
    if (wantedVolume && volumeAt != appliedVolume && !inputKey.isEmpty()) {
        const QString target = volumeFor.isEmpty() ? inputKey : volumeFor;
        const bool ok = call([&] {
            return engine->backend().setSourceVolume(
                sourceOfKey(target), float(std::clamp(*wantedVolume, 0, 100)) / 100.f);
        });
        if (ok || !unanswered) {
            appliedVolume = volumeAt;
            doReadLevel = true;
        } else {
            retry = true;
        }
    }

    if (wantedOutput) {
        call([&] {
            engine->setOutputVolume(float(std::clamp(*wantedOutput, 0, 100)) / 100.f);
            return true;
        });
        if (unanswered) {
            std::lock_guard lock(mutex);
            if (!outputVolume)
                outputVolume = wantedOutput;
            retry = true;
        }
    }

    std::optional<audio::SourceLevel> level;
    bool levelRead = false;
    if (doReadLevel || inputChanged) {
        level = call([&] { return engine->currentInputLevel(); });
        levelRead = level.has_value() || inputKey.isEmpty();
        if (!levelRead) {
            // Not answered: the level shown stays, and is read again later.
            std::lock_guard lock(mutex);
            readLevel = true;
            retry = true;
        }
    }

    // The monitor follows the input in use; one asked for afresh, or one that failed,
    // is opened again.
    if (wanted && !holding && !inputKey.isEmpty() &&
        (monitorAt != openedMonitor || inputChanged || lost)) {
        std::string why;
        std::unique_ptr<audio::CaptureChannel> channel = call([&] {
            return engine->startCapture(
                audio::PcmFormat{44100, 2}, true, [](const int16_t *, size_t) { return true; },
                &why);
        });
        if (channel && !channel->play()) {
            why = channel->failureMessage();
            channel.reset();
        }
        // A monitor the user asked for says why it failed; one reopened after a change
        // of input fails quietly and is tried again with the next change. One the
        // server did not answer for is tried again until it does.
        if (!channel && unanswered)
            retry = true;
        else if (channel || monitorAt != openedMonitor) {
            openedMonitor = monitorAt;
            if (channel) {
                std::lock_guard lock(mutex);
                monitorLost = false;
            }
            std::shared_ptr<audio::CaptureChannel> opened(std::move(channel));
            post([monitorAt, opened, reason = text(why)](InputSession &s) {
                s.monitorOpened(monitorAt, opened, reason);
            });
        }
    }

    Snapshot snapshot;
    snapshot.server = Server::Connected;
    snapshot.engine = engine.get();
    snapshot.devices = devices;
    snapshot.deviceKey = deviceKey;
    snapshot.inputKey = inputKey;
    snapshot.choiceSerial = choiceAt;
    snapshot.handled = handled;
    snapshot.volumeSet = appliedVolume;
    snapshot.level = level;
    post([snapshot, levelRead](InputSession &s) {
        Snapshot next = snapshot;
        if (!levelRead && s.m_volume)
            next.level = audio::SourceLevel{float(*s.m_volume) / 100.f, s.m_muted};
        s.apply(next);
    });
    return retry;
}

// ---------------------------------------------------------------------------

InputSession::InputSession(Options options, QObject *parent)
    : QObject(parent), m_options(std::move(options))
{
    m_watchdog.setInterval(250);
    connect(&m_watchdog, &QTimer::timeout, this, &InputSession::watch);
}

InputSession::~InputSession()
{
    m_monitor.reset();
    if (!m_worker)
        return;
    {
        std::lock_guard lock(m_worker->mutex);
        m_worker->stopping = true;
        m_worker->session = nullptr;
    }
    m_worker->wake.notify_one();
    if (m_worker->thread.joinable())
        m_worker->thread.join();
    m_worker->engine.reset();
}

void InputSession::start()
{
    if (m_worker)
        return;
    m_worker = std::make_shared<Worker>(m_options);
    m_worker->session = this;
    m_worker->choice = m_choice;
    m_worker->choiceSerial = m_choiceSerial;
    m_worker->monitorWanted = m_monitorWanted;
    m_worker->monitorSerial = m_monitorSerial;
    m_worker->recording = m_recording;
    // A level set before the start (the stored one) is set once there is an input.
    if (m_volume) {
        m_worker->volume = m_volume;
        m_worker->volumeSerial = m_volumeSerial;
    }
    m_worker->dirty = true;
    m_worker->thread = std::thread([w = m_worker.get()] { w->run(); });
    m_watchdog.start();
}

void InputSession::request(const std::function<void(Worker &)> &change)
{
    if (!m_worker)
        return;
    ++m_requests;
    m_worker->request([w = m_worker.get(), change] { change(*w); });
}

bool InputSession::settled() const
{
    return m_server != Server::Starting && m_handled == m_requests;
}

const DeviceEntry *InputSession::device() const
{
    for (const DeviceEntry &d : m_devices)
        if (d.key == m_deviceKey)
            return &d;
    return nullptr;
}

std::string InputSession::inputSource() const
{
    return m_inputKey.isEmpty() ? std::string() : sourceOfKey(m_inputKey);
}

const InputEntry *InputSession::input() const
{
    if (const DeviceEntry *d = device())
        for (const InputEntry &i : d->inputs)
            if (i.key == m_inputKey)
                return &i;
    return nullptr;
}

bool InputSession::choiceInUse() const
{
    const DeviceEntry *d = device();
    const InputEntry *i = input();
    if (!d)
        return false;
    const bool deviceMatches = m_choice.deviceKey.isEmpty() ? d->name == m_choice.deviceName
                                                            : d->key == m_choice.deviceKey;
    if (!deviceMatches && !(m_choice.deviceKey.isEmpty() && m_choice.deviceName.isEmpty()))
        return false;
    if (m_choice.inputKey.isEmpty() && m_choice.inputName.isEmpty())
        return true;
    return i && (m_choice.inputKey.isEmpty() ? i->name == m_choice.inputName
                                             : i->key == m_choice.inputKey);
}

void InputSession::setChoice(const InputChoice &choice)
{
    m_choice = choice;
    // What was picked is shown as used at once; the worker's answer confirms it, or
    // puts back what is really used and says why.
    if (!m_recording) {
        const Target t = resolve(m_devices, choice, m_deviceKey, m_inputKey);
        const QString device = t.device >= 0 ? m_devices.at(t.device).key : QString();
        const QString input =
            t.input >= 0 ? m_devices.at(t.device).inputs.at(t.input).key : QString();
        if (device != m_deviceKey || input != m_inputKey) {
            m_deviceKey = device;
            m_inputKey = input;
            emit devicesChanged();
        }
    }
    ++m_choiceSerial;
    request([choice, serial = m_choiceSerial](Worker &w) {
        w.choice = choice;
        w.choiceSerial = serial;
    });
}

void InputSession::chooseDevice(const QString &deviceKey)
{
    const int position =
        indexWhere(m_devices, [&](const DeviceEntry &d) { return d.key == deviceKey; });
    if (position < 0)
        return;
    const DeviceEntry &d = m_devices.at(position);
    const int input = defaultInput(d);
    InputChoice choice;
    choice.deviceKey = d.key;
    choice.deviceName = d.name;
    choice.devicePosition = position;
    choice.inputPosition = input;
    if (input >= 0) {
        choice.inputKey = d.inputs.at(input).key;
        choice.inputName = d.inputs.at(input).name;
    }
    setChoice(choice);
}

void InputSession::chooseInput(const QString &inputKey)
{
    const DeviceEntry *d = device();
    if (!d)
        return;
    const int input = indexWhere(d->inputs, [&](const InputEntry &i) { return i.key == inputKey; });
    if (input < 0)
        return;
    InputChoice choice;
    choice.deviceKey = d->key;
    choice.deviceName = d->name;
    choice.devicePosition = int(d - m_devices.constData());
    choice.inputKey = inputKey;
    choice.inputName = d->inputs.at(input).name;
    choice.inputPosition = input;
    setChoice(choice);
}

void InputSession::setVolume(int percent)
{
    percent = std::clamp(percent, 0, 100);
    // Shown at once; the server's answer confirms it.
    const bool changed = m_volume != percent || (m_muted && percent > 0);
    m_volume = percent;
    if (percent > 0)
        m_muted = false;
    if (changed)
        emit levelChanged();
    ++m_volumeSerial;
    request([percent, serial = m_volumeSerial, input = m_inputKey](Worker &w) {
        w.volume = percent;
        w.volumeInput = input;
        w.volumeSerial = serial;
    });
}

void InputSession::setOutputVolume(int percent)
{
    request([percent](Worker &w) { w.outputVolume = percent; });
}

void InputSession::setRecording(bool recording)
{
    m_recording = recording;
    if (recording)
        closeMonitor();
    request([recording](Worker &w) { w.recording = recording; });
}

void InputSession::openMonitor()
{
    m_monitorWanted = true;
    ++m_monitorSerial;
    request([serial = m_monitorSerial](Worker &w) {
        w.monitorWanted = true;
        w.monitorSerial = serial;
    });
}

void InputSession::closeMonitor()
{
    const bool had = m_monitor != nullptr;
    m_monitorWanted = false;
    ++m_monitorSerial;
    // Stopping a capture does not wait for the server.
    m_monitor.reset();
    request([serial = m_monitorSerial](Worker &w) {
        w.monitorWanted = false;
        w.monitorSerial = serial;
    });
    if (had)
        emit monitorChanged();
}

void InputSession::monitorOpened(int serial, std::shared_ptr<audio::CaptureChannel> channel,
                                 const QString &error)
{
    if (serial != m_monitorSerial || !m_monitorWanted)
        return; // closed or asked for again meanwhile; a channel dropped here just stops
    if (!channel) {
        emit failed(Failure::Monitor, error);
        return;
    }
    m_monitor = std::move(channel);
    emit monitorChanged();
}

void InputSession::apply(const Snapshot &snapshot)
{
    m_handled = snapshot.handled;
    const bool serverChange =
        snapshot.server != m_server || snapshot.unavailableReason != m_unavailableReason;
    m_server = snapshot.server;
    m_unavailableReason = snapshot.unavailableReason;
    if (snapshot.engine)
        m_engine = snapshot.engine;
    // Keys resolved for an earlier choice would put back what the user has just left.
    const bool current = snapshot.choiceSerial >= m_choiceSerial;
    const QString deviceKey = current ? snapshot.deviceKey : m_deviceKey;
    const QString inputKey = current ? snapshot.inputKey : m_inputKey;
    const bool deviceChange =
        snapshot.devices != m_devices || deviceKey != m_deviceKey || inputKey != m_inputKey;
    m_devices = snapshot.devices;
    m_deviceKey = deviceKey;
    m_inputKey = inputKey;
    std::optional<int> volume;
    bool muted = false;
    if (snapshot.level) {
        volume = int(std::lround(double(snapshot.level->volume) * 100.0));
        muted = snapshot.level->muted;
    }
    // A level the user has just set stays shown until the server has it.
    if (snapshot.volumeSet < m_volumeSerial && m_server == Server::Connected) {
        volume = m_volume;
        muted = m_muted;
    }
    const bool levelChange = volume != m_volume || muted != m_muted;
    m_volume = volume;
    m_muted = muted;
    if (serverChange)
        emit serverChanged();
    if (deviceChange)
        emit devicesChanged();
    if (levelChange)
        emit levelChanged();
}

void InputSession::watch()
{
    if (m_monitor && m_monitor->failed()) {
        // Its source went away (or the server did): a fresh one once the input is back.
        m_monitor.reset();
        emit monitorChanged();
        request([](Worker &w) { w.monitorLost = true; });
    }
    const qint64 since = m_worker ? m_worker->busySince.load() : 0;
    const qint64 now =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count();
    const bool late = since > 0 && now - since >= m_options.noticeAfterMs;
    if (late != m_notResponding) {
        m_notResponding = late;
        emit serverChanged();
    }
}

} // namespace sonalto::recording
