#include "audio/PulseCaptureStream.h"

#include "audio/AudioText.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace sonalto::audio::pulse {

namespace {

class PulseCaptureStream : public RawCaptureStream
{
public:
    PulseCaptureStream(std::shared_ptr<PulseBackend::Connection> connection, CaptureSink *sink,
                       PcmFormat format, std::string sourceId, std::string inputName)
        : m_connection(std::move(connection)), m_sink(sink), m_rate(format.rate),
          m_bytesPerFrame(format.bytesPerFrame()), m_sourceId(std::move(sourceId)),
          m_inputName(std::move(inputName))
    {
    }

    ~PulseCaptureStream() override
    {
        LoopLock lock(m_connection->loop);
        if (m_stream) {
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_read_callback(m_stream, nullptr, nullptr);
            pa_stream_set_suspended_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
    }

    // Main loop locked, not on its thread.
    bool open(PcmFormat format, std::string *error)
    {
        pa_context *context = m_connection->context;
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(format.rate), uint8_t(format.channels)};
        pa_channel_map map;
        if (!pa_sample_spec_valid(&spec) ||
            !pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT)) {
            *error = tr("不支持这种录音格式。");
            return false;
        }
        m_stream = pa_stream_new(context, "Capture", &spec, &map);
        if (!m_stream) {
            *error = m_connection->lastError();
            return false;
        }
        pa_stream_set_state_callback(m_stream, onState, this);
        pa_stream_set_read_callback(m_stream, onRead, this);
        pa_stream_set_suspended_callback(m_stream, onSuspended, this);
        // Small fragments, or the server hands audio over in two-second lumps;
        // a generous maximum, so that a source that delivers in bursts loses
        // nothing while we catch up.
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(50 * PA_USEC_PER_MSEC, &spec));
        // DONT_MOVE: when the source goes away the stream must fail, not carry on
        // silently recording another input.
        const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                             PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_stream, m_sourceId.c_str(), &attr, flags) < 0) {
            *error = m_connection->lastError();
            return false;
        }
        for (;;) {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            if (state == PA_STREAM_READY)
                break;
            if (!PA_STREAM_IS_GOOD(state)) {
                *error = tr("无法从“%1”录音：%2。", {m_inputName, m_connection->lastError()});
                return false;
            }
            pa_threaded_mainloop_wait(m_connection->loop);
        }
        m_ready = true;
        return true;
    }

    bool setRunning(bool running) override
    {
        LoopLock lock(m_connection->loop);
        if (!m_stream || pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return false;
        pa_operation *op = pa_stream_cork(m_stream, running ? 0 : 1, nullptr, nullptr);
        if (!op)
            return false;
        pa_operation_unref(op);
        m_running = running;
        // A stopped stream keeps no timeline, and a source that wakes up when
        // the stream starts loses nothing: only a suspension after audio flowed
        // is a gap.
        m_suspendedSince.reset();
        m_flowing = false;
        return true;
    }

private:
    static void onState(pa_stream *stream, void *userdata)
    {
        auto *self = static_cast<PulseCaptureStream *>(userdata);
        signalLoop(self->m_connection->loop);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (PA_STREAM_IS_GOOD(state) || !self->m_ready || self->m_failed)
            return;
        self->m_failed = true;
        std::string message;
        const int error = pa_context_errno(self->m_connection->context);
        if (!self->m_connection->ready())
            message = tr("与声音服务器的连接已断开。");
        else if (error == PA_ERR_KILLED || error == PA_ERR_NOENTITY)
            message = tr("输入“%1”已不可用。", {self->m_inputName});
        else
            message = tr("从“%1”录音时出错：%2。", {self->m_inputName, errorText(error)});
        self->m_sink->onCaptureFailed(message);
    }

    static void onRead(pa_stream *stream, size_t, void *userdata)
    {
        auto *self = static_cast<PulseCaptureStream *>(userdata);
        for (;;) {
            const void *data = nullptr;
            size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
                return;
            if (data) {
                self->m_flowing = self->m_running;
                self->deliver(static_cast<const uint8_t *>(data), bytes);
            } else // a null block with a size is a hole in the server's data
                self->hole(bytes);
            pa_stream_drop(stream);
        }
    }

    // A suspended source delivers nothing, and after it resumes the stream goes
    // on as if no time had passed: the time it was away is the gap.
    static void onSuspended(pa_stream *stream, void *userdata)
    {
        auto *self = static_cast<PulseCaptureStream *>(userdata);
        const auto now = std::chrono::steady_clock::now();
        if (pa_stream_is_suspended(stream) == 1) {
            if (self->m_running && self->m_flowing && !self->m_suspendedSince)
                self->m_suspendedSince = now;
            return;
        }
        if (!self->m_suspendedSince)
            return;
        const double seconds = std::chrono::duration<double>(now - *self->m_suspendedSince).count();
        self->m_suspendedSince.reset();
        const auto frames = size_t(std::llround(seconds * self->m_rate));
        if (frames > 0)
            self->m_sink->onCaptureLost(frames, LossKind::Hole);
    }

    // Holes are silence of their length; a hole that starts inside a frame
    // completes the frame waiting for its rest.
    void hole(size_t bytes)
    {
        const size_t bpf = size_t(m_bytesPerFrame);
        if (!m_pending.empty()) {
            const size_t fill = std::min(bytes, bpf - m_pending.size() % bpf);
            const std::vector<uint8_t> zeros(fill, 0);
            deliver(zeros.data(), fill);
            bytes -= fill;
            if (bytes == 0)
                return;
        }
        if (bytes / bpf > 0)
            m_sink->onCaptureLost(bytes / bpf, LossKind::Hole);
        m_pending.assign(bytes % bpf, 0);
    }

    // Blocks can end in the middle of a frame: such a tail waits for the rest.
    void deliver(const uint8_t *data, size_t bytes)
    {
        const size_t bpf = size_t(m_bytesPerFrame);
        if (m_pending.empty() && bytes % bpf == 0 &&
            reinterpret_cast<uintptr_t>(data) % alignof(int16_t) == 0) {
            m_sink->onCaptured(reinterpret_cast<const int16_t *>(data), bytes / bpf);
            return;
        }
        m_pending.insert(m_pending.end(), data, data + bytes);
        const size_t whole = m_pending.size() / bpf * bpf;
        if (whole == 0)
            return;
        m_aligned.resize(whole / sizeof(int16_t));
        std::memcpy(m_aligned.data(), m_pending.data(), whole);
        m_pending.erase(m_pending.begin(), m_pending.begin() + std::ptrdiff_t(whole));
        m_sink->onCaptured(m_aligned.data(), whole / bpf);
    }

    std::shared_ptr<PulseBackend::Connection> m_connection;
    CaptureSink *m_sink;
    const int m_rate;
    const int m_bytesPerFrame;
    const std::string m_sourceId;
    const std::string m_inputName;
    pa_stream *m_stream = nullptr;
    bool m_ready = false;  // failures before this are open()'s to report
    bool m_failed = false; // reported once
    // Guarded by the main loop's lock.
    bool m_running = false;
    bool m_flowing = false; // audio arrived since the stream was started
    std::optional<std::chrono::steady_clock::time_point> m_suspendedSince;
    std::vector<uint8_t> m_pending;
    std::vector<int16_t> m_aligned;
};

} // namespace

std::unique_ptr<RawCaptureStream>
openCaptureStream(std::shared_ptr<PulseBackend::Connection> connection, const std::string &sourceId,
                  const std::string &inputName, PcmFormat format, CaptureSink *sink,
                  std::string *error)
{
    auto stream = std::make_unique<PulseCaptureStream>(std::move(connection), sink, format,
                                                       sourceId, inputName);
    if (!stream->open(format, error))
        return nullptr;
    return stream;
}

} // namespace sonalto::audio::pulse
