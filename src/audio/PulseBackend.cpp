#include "audio/PulseBackend.h"

#include "audio/AudioText.h"
#include "audio/PulseCaptureStream.h"
#include "audio/PulseConnection.h"
#include "audio/PulseDeviceList.h"
#include "audio/PulseLibrary.h"
#include "audio/PulsePlaybackStream.h"

#include <algorithm>
#include <utility>

namespace sonalto::audio {

using namespace pulse;

namespace {

struct VolumeResult
{
    pa_threaded_mainloop *loop;
    std::optional<pa_cvolume> volume;
    bool muted = false;
};

void onSourceVolume(pa_context *, const pa_source_info *info, int eol, void *userdata)
{
    auto *r = static_cast<VolumeResult *>(userdata);
    if (!eol && info) {
        r->volume = info->volume;
        r->muted = info->mute != 0;
    }
    signalLoop(r->loop);
}

void onSinkVolume(pa_context *, const pa_sink_info *info, int eol, void *userdata)
{
    auto *r = static_cast<VolumeResult *>(userdata);
    if (!eol && info)
        r->volume = info->volume;
    signalLoop(r->loop);
}

std::optional<pa_cvolume> readSourceVolume(PulseBackend::Connection &c, const std::string &id,
                                           bool *muted = nullptr)
{
    VolumeResult r{c.loop, std::nullopt};
    if (!finish(c.loop,
                pa_context_get_source_info_by_name(c.context, id.c_str(), onSourceVolume, &r)))
        return std::nullopt;
    if (muted)
        *muted = r.muted;
    return r.volume;
}

} // namespace

// --- Backend ----------------------------------------------------------------------------------

PulseBackend::PulseBackend() : m_shared(std::make_shared<Shared>()) {}

PulseBackend::~PulseBackend()
{
    std::shared_ptr<Connection> connection;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
        m_shared->wake.notify_all();
        connection = std::move(m_shared->connection);
    }
    if (m_reconnector.joinable())
        m_reconnector.join();
    if (connection) {
        connection->notifier.setHandler(nullptr);
        connection->volumeNotifier.setHandler(nullptr);
    }
}

std::shared_ptr<PulseBackend::Connection> PulseBackend::connection() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->connection;
}

bool PulseBackend::connect(std::string *error)
{
    if (auto current = connection(); current && current->ready())
        return true;
    std::string why;
    // Without the client library there is no sound server to talk to: said
    // like any other failed connection, rather than ending the program at the
    // first call into the library.
    if (!loadPulseLibrary(&why)) {
        if (error)
            *error = AudioText::tr("无法连接声音服务器：%1。", {why});
        return false;
    }
    auto fresh = openConnection(m_shared, &why);
    if (!fresh) {
        if (error)
            *error = AudioText::tr("无法连接声音服务器：%1。", {why});
        std::shared_ptr<Connection> old;
        {
            std::lock_guard lock(m_shared->mutex);
            old = std::move(m_shared->connection);
        }
        return false; // the old connection's thread stops without our lock held
    }
    std::function<void()> devicesChanged, volumesChanged;
    {
        std::lock_guard lock(m_shared->mutex);
        devicesChanged = m_shared->devicesChanged;
        volumesChanged = m_shared->volumesChanged;
    }
    fresh->notifier.setHandler(devicesChanged);
    fresh->volumeNotifier.setHandler(volumesChanged);
    std::shared_ptr<Connection> old;
    {
        std::lock_guard lock(m_shared->mutex);
        old = std::exchange(m_shared->connection, fresh);
        m_shared->lost = !fresh->ready();
    }
    if (!m_reconnector.joinable())
        m_reconnector = std::thread([this] { reconnectLoop(); });
    return true;
}

void PulseBackend::reconnectLoop()
{
    using Clock = std::chrono::steady_clock;
    std::unique_lock lock(m_shared->mutex);
    for (;;) {
        m_shared->wake.wait(lock, [&] { return m_shared->stopping || m_shared->lost; });
        if (m_shared->stopping)
            return;
        // Pauses grow from 0.1 s to 3 s: a restarting server is usually back
        // within a second, one that stays away costs next to nothing.
        auto pause = std::chrono::milliseconds(100);
        while (!m_shared->stopping && m_shared->lost) {
            m_shared->wake.wait_until(lock, Clock::now() + pause,
                                      [&] { return m_shared->stopping; });
            if (m_shared->stopping)
                return;
            pause = std::min<std::chrono::milliseconds>(pause * 2, std::chrono::seconds(3));
            const auto devicesChanged = m_shared->devicesChanged;
            const auto volumesChanged = m_shared->volumesChanged;
            std::shared_ptr<Connection> old;
            lock.unlock();
            auto fresh = openConnection(m_shared, nullptr);
            if (fresh) {
                fresh->notifier.setHandler(devicesChanged);
                fresh->volumeNotifier.setHandler(volumesChanged);
            }
            lock.lock();
            if (!fresh)
                continue;
            old = std::exchange(m_shared->connection, fresh);
            m_shared->lost = false;
            // The lists are read again from the new connection.
            fresh->notifier.notify();
            // The old connection's event thread is stopped without our lock held:
            // its callbacks take it.
            lock.unlock();
            old.reset();
            lock.lock();
        }
    }
}

std::vector<BackendDevice> PulseBackend::devices()
{
    const std::shared_ptr<Connection> conn = connection();
    Snapshot s;
    if (!conn || !readSnapshot(*conn, s))
        return {};
    return buildDevices(s);
}

bool PulseBackend::readDevices(std::vector<BackendDevice> &devices, std::string &defaultDevice,
                               std::string &defaultSource)
{
    const std::shared_ptr<Connection> conn = connection();
    Snapshot s;
    if (!conn || !readSnapshot(*conn, s))
        return false;
    devices = buildDevices(s);
    defaultSource = s.defaultSource;
    defaultDevice.clear();
    for (const BackendDevice &device : devices)
        for (const BackendInput &input : device.inputs)
            if (input.sourceId == s.defaultSource && defaultDevice.empty())
                defaultDevice = device.id;
    return true;
}

std::string PulseBackend::defaultDeviceId()
{
    const std::shared_ptr<Connection> conn = connection();
    Snapshot s;
    if (!conn || !readSnapshot(*conn, s))
        return {};
    for (const BackendDevice &device : buildDevices(s))
        for (const BackendInput &input : device.inputs)
            if (input.sourceId == s.defaultSource)
                return device.id;
    return {};
}

std::string PulseBackend::defaultSourceId()
{
    const std::shared_ptr<Connection> conn = connection();
    Snapshot s;
    if (!conn || !readSnapshot(*conn, s))
        return {};
    return s.defaultSource;
}

bool PulseBackend::activateInput(const BackendInput &input, std::string *error)
{
    const std::shared_ptr<Connection> conn = connection();
    auto fail = [&](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!conn)
        return fail(AudioText::tr("没有连接到声音服务器。"));
    Connection &c = *conn;
    LoopLock lock(c.loop);
    if (!lock.canWait() || !c.ready())
        return fail(AudioText::tr("没有连接到声音服务器。"));
    if (input.portId.empty()) {
        // Nothing to switch on a source without ports (the server would answer
        // "not implemented"); it only has to exist.
        if (!readSourceVolume(c, input.sourceId))
            return fail(AudioText::tr("输入“%1”已不可用。", {input.name}));
        return true;
    }
    SuccessResult r{c.loop};
    if (!finish(c.loop, pa_context_set_source_port_by_name(c.context, input.sourceId.c_str(),
                                                           input.portId.c_str(), onSuccess, &r)) ||
        !r.success)
        return fail(AudioText::tr("无法切换到“%1”：%2。", {input.name, c.lastError()}));
    return true;
}

std::optional<SourceLevel> PulseBackend::sourceLevel(const std::string &sourceId)
{
    const std::shared_ptr<Connection> conn = connection();
    if (!conn)
        return std::nullopt;
    LoopLock lock(conn->loop);
    if (!lock.canWait() || !conn->ready())
        return std::nullopt;
    bool muted = false;
    const auto volume = readSourceVolume(*conn, sourceId, &muted);
    if (!volume)
        return std::nullopt;
    return SourceLevel{fromPulseVolume(*volume), muted};
}

bool PulseBackend::setSourceVolume(const std::string &sourceId, float volume)
{
    const std::shared_ptr<Connection> conn = connection();
    if (!conn)
        return false;
    Connection &c = *conn;
    LoopLock lock(c.loop);
    if (!lock.canWait() || !c.ready())
        return false;
    bool muted = false;
    auto cv = readSourceVolume(c, sourceId, &muted);
    if (!cv)
        return false;
    // Scaling keeps the balance between the channels.
    pa_cvolume_scale(&*cv, toPulseVolume(volume));
    SuccessResult r{c.loop};
    if (!finish(c.loop, pa_context_set_source_volume_by_name(c.context, sourceId.c_str(), &*cv,
                                                             onSuccess, &r)) ||
        !r.success)
        return false;
    // Our mute is level 0: a level above it is meant to be heard.
    if (muted && volume > 0.f) {
        SuccessResult unmuted{c.loop};
        return finish(c.loop, pa_context_set_source_mute_by_name(c.context, sourceId.c_str(), 0,
                                                                 onSuccess, &unmuted)) &&
               unmuted.success;
    }
    return true;
}

std::optional<float> PulseBackend::outputVolume()
{
    const std::shared_ptr<Connection> conn = connection();
    Snapshot s;
    if (!conn || !readSnapshot(*conn, s) || s.defaultSink.empty())
        return std::nullopt;
    Connection &c = *conn;
    LoopLock lock(c.loop);
    if (!lock.canWait())
        return std::nullopt;
    VolumeResult r{c.loop, std::nullopt};
    if (!finish(c.loop, pa_context_get_sink_info_by_name(c.context, s.defaultSink.c_str(),
                                                         onSinkVolume, &r)) ||
        !r.volume)
        return std::nullopt;
    return fromPulseVolume(*r.volume);
}

bool PulseBackend::setOutputVolume(float volume)
{
    const std::shared_ptr<Connection> conn = connection();
    Snapshot s;
    if (!conn || !readSnapshot(*conn, s) || s.defaultSink.empty())
        return false;
    Connection &c = *conn;
    LoopLock lock(c.loop);
    if (!lock.canWait())
        return false;
    VolumeResult current{c.loop, std::nullopt};
    if (!finish(c.loop, pa_context_get_sink_info_by_name(c.context, s.defaultSink.c_str(),
                                                         onSinkVolume, &current)) ||
        !current.volume)
        return false;
    pa_cvolume cv = *current.volume;
    pa_cvolume_scale(&cv, toPulseVolume(volume));
    SuccessResult r{c.loop};
    return finish(c.loop, pa_context_set_sink_volume_by_name(c.context, s.defaultSink.c_str(), &cv,
                                                             onSuccess, &r)) &&
           r.success;
}

std::unique_ptr<RawCaptureStream> PulseBackend::openCapture(const std::string &sourceId,
                                                            PcmFormat format, CaptureSink *sink,
                                                            std::string *error)
{
    const std::shared_ptr<Connection> conn = connection();
    std::string why;
    if (!conn || !sink) {
        why = AudioText::tr("没有连接到声音服务器。");
    } else {
        // Messages name the input as the user knows it: the one of the source
        // whose port is active, else its first.
        std::string inputName;
        for (const BackendDevice &device : devices()) {
            for (const BackendInput &input : device.inputs) {
                if (input.sourceId == sourceId && (inputName.empty() || input.portActive))
                    inputName = input.name;
            }
        }
        if (inputName.empty())
            inputName = sourceId;
        LoopLock lock(conn->loop);
        if (!lock.canWait() || !conn->ready())
            why = AudioText::tr("没有连接到声音服务器。");
        else if (auto stream = openCaptureStream(conn, sourceId, inputName, format, sink, &why))
            return stream;
    }
    if (error)
        *error = why;
    return nullptr;
}

std::unique_ptr<RawPlaybackStream>
PulseBackend::openPlayback(PcmFormat format, PlaybackSource *source, std::string *error)
{
    const std::shared_ptr<Connection> conn = connection();
    std::string why;
    if (!conn || !source) {
        why = AudioText::tr("没有连接到声音服务器。");
    } else {
        LoopLock lock(conn->loop);
        if (!lock.canWait() || !conn->ready())
            why = AudioText::tr("没有连接到声音服务器。");
        else if (auto stream = openPlaybackStream(conn, format, source, &why))
            return stream;
    }
    if (error)
        *error = why;
    return nullptr;
}

void PulseBackend::setDevicesChangedHandler(std::function<void()> handler)
{
    std::shared_ptr<Connection> current;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->devicesChanged = handler;
        current = m_shared->connection;
    }
    if (current)
        current->notifier.setHandler(std::move(handler));
}

void PulseBackend::setVolumesChangedHandler(std::function<void()> handler)
{
    std::shared_ptr<Connection> current;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->volumesChanged = handler;
        current = m_shared->connection;
    }
    if (current)
        current->volumeNotifier.setHandler(std::move(handler));
}

} // namespace sonalto::audio
