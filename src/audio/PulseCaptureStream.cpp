#include "audio/PulseCaptureStream.h"

#include "audio/AudioText.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
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
            *error = AudioText::tr("不支持这种录音格式。");
            return false;
        }
        // A source the server suspended for being idle comes back as soon as a
        // stream is made for it, before the stream could see it suspended; but it
        // may take a while to deliver once the take starts.
        m_suspendedAtOpen = sourceSuspended();
        m_stream = pa_stream_new(context, "Capture", &spec, &map);
        if (!m_stream) {
            *error = m_connection->lastError();
            return false;
        }
        pa_stream_set_state_callback(m_stream, onState, this);
        pa_stream_set_read_callback(m_stream, onRead, this);
        pa_stream_set_suspended_callback(m_stream, onSuspended, this);
        // Fragments of 100 ms: the server would otherwise hand audio over in
        // two-second lumps, and smaller ones wake the program more often than
        // the spectrum (ten frames a second) or an encoder needs; the level meter
        // reads the peaks of every block anyway. A generous maximum, so that a
        // source that delivers in bursts loses nothing while we catch up.
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(-1);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(pa_usec_to_bytes(100 * PA_USEC_PER_MSEC, &spec));
        // DONT_MOVE: when the source goes away the stream must fail, not carry on
        // silently recording another input.
        const auto flags = pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_ADJUST_LATENCY |
                                             PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(m_stream, m_sourceId.c_str(), &attr, flags) < 0) {
            *error = m_connection->lastError();
            return false;
        }
        const bool settled = waitUntil(m_connection->loop, [this] {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
        if (!settled || pa_stream_get_state(m_stream) != PA_STREAM_READY) {
            *error = AudioText::tr("无法从“%1”录音：%2。",
                                   {m_inputName, settled ? m_connection->lastError()
                                                         : AudioText::tr("声音服务器没有回答")});
            return false;
        }
        m_ready = true;
        return true;
    }

    // Main loop locked, not on its thread.
    bool sourceSuspended()
    {
        struct Result
        {
            pa_threaded_mainloop *loop;
            bool suspended = false;
        } result{m_connection->loop};
        finish(m_connection->loop,
               pa_context_get_source_info_by_name(
                   m_connection->context, m_sourceId.c_str(),
                   [](pa_context *, const pa_source_info *info, int eol, void *userdata) {
                       auto *r = static_cast<Result *>(userdata);
                       if (!eol && info)
                           r->suspended = info->state == PA_SOURCE_SUSPENDED;
                       signalLoop(r->loop);
                   },
                   &result));
        return result.suspended;
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
        const auto now = std::chrono::steady_clock::now();
        // Stopped while its source is away: the gap lasts up to the stop.
        if (m_running && !running && m_awaySince) {
            const auto away = now - *m_awaySince;
            if (!m_awayFromStart)
                reportGap(away);
            else if (away > m_startSlack)
                startGap(away);
        }
        m_running = running;
        m_flowing = false;
        m_resumedAt.reset();
        // Until the first audio arrives, the time since the start is watched: a
        // source that is suspended when the stream starts (an output nobody plays
        // to) delivers nothing until it is back, and a server may hold the first
        // audio back (an output's monitor whose last listener has just gone waits
        // for the output's next, long block). That time is a gap like a suspension
        // during the take, so what follows keeps its place.
        const bool suspended =
            pa_stream_is_suspended(m_stream) == 1 || std::exchange(m_suspendedAtOpen, false);
        m_startSlack = suspended ? SuspendedStartSlack : StartSlack;
        m_awayFromStart = running;
        if (running)
            m_awaySince = now;
        else
            m_awaySince.reset();
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
            message = AudioText::tr("与声音服务器的连接已断开。");
        else if (error == PA_ERR_KILLED || error == PA_ERR_NOENTITY)
            message = AudioText::tr("输入“%1”已不可用。", {self->m_inputName});
        else
            message =
                AudioText::tr("从“%1”录音时出错：%2。", {self->m_inputName, errorText(error)});
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
            if (self->m_running && self->m_awayFromStart)
                self->endGapFromStart(pa_stream_readable_size(stream));
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
            if (self->m_running && self->m_flowing && !self->m_awaySince)
                self->m_awaySince = now;
            return;
        }
        if (!self->m_awaySince)
            return;
        // Away since the start: the gap ends when audio arrives.
        if (self->m_awayFromStart) {
            if (!self->m_resumedAt)
                self->m_resumedAt = now;
            return;
        }
        self->reportGap(now - *self->m_awaySince);
        self->m_awaySince.reset();
    }

    // The first audio after a start: everything before what is here now
    // (`readable` bytes) is missing, and from a suspended source at least the time
    // until it was back.
    void endGapFromStart(size_t readable)
    {
        using Seconds = std::chrono::duration<double>;
        const Seconds here(double(readable) / (double(m_bytesPerFrame) * m_rate));
        Seconds away = std::chrono::steady_clock::now() - *m_awaySince - here;
        if (m_resumedAt)
            away = std::max(away, Seconds(*m_resumedAt - *m_awaySince));
        // The server's own delivery (a fragment, its scheduling) is not a gap.
        if (away > m_startSlack)
            startGap(away);
        m_awayFromStart = false;
        m_awaySince.reset();
        m_resumedAt.reset();
    }

    // A suspended source was away: audio is missing, and the take says so. A
    // server that held the first audio back gave none for that time, so the
    // take starts with silence of its length and nothing was lost on our side.
    void startGap(std::chrono::duration<double> away)
    {
        if (m_startSlack == SuspendedStartSlack) {
            reportGap(away);
            return;
        }
        const size_t channels = size_t(m_bytesPerFrame) / sizeof(int16_t);
        const std::vector<int16_t> zeros(size_t(m_rate / 10) * channels, 0);
        auto frames = size_t(std::max(0LL, std::llround(away.count() * m_rate)));
        while (frames > 0) {
            const size_t n = std::min(frames, zeros.size() / channels);
            m_sink->onCaptured(zeros.data(), n);
            frames -= n;
        }
    }

    void reportGap(std::chrono::duration<double> away)
    {
        const double seconds = away.count();
        const auto frames = size_t(std::max(0LL, std::llround(seconds * m_rate)));
        if (frames > 0)
            m_sink->onCaptureLost(frames, LossKind::Hole);
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
    // A gap in progress: since when the source is away, whether that was already
    // so at the start, and when such a source was back.
    std::optional<std::chrono::steady_clock::time_point> m_awaySince;
    bool m_awayFromStart = false;
    bool m_suspendedAtOpen = false; // until the first start
    // How late the first audio may be before the wait counts as a gap: from a
    // suspended source any wait is one; otherwise a fragment (100 ms) and the
    // scheduling of a busy machine are not.
    static constexpr std::chrono::milliseconds SuspendedStartSlack{10};
    static constexpr std::chrono::milliseconds StartSlack{300};
    std::chrono::milliseconds m_startSlack = StartSlack;
    std::optional<std::chrono::steady_clock::time_point> m_resumedAt;
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
