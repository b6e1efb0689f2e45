#include "audio/PulsePlaybackStream.h"

#include "audio/AudioText.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <optional>

namespace sonalto::audio::pulse {

namespace {

class PulsePlaybackStream : public RawPlaybackStream
{
public:
    PulsePlaybackStream(std::shared_ptr<PulseBackend::Connection> connection,
                        PlaybackSource *source, PcmFormat format)
        : m_connection(std::move(connection)), m_source(source), m_format(format)
    {
    }

    ~PulsePlaybackStream() override
    {
        LoopLock lock(m_connection->loop);
        if (m_stream) {
            pa_stream_set_state_callback(m_stream, nullptr, nullptr);
            pa_stream_set_write_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
        }
    }

    bool open(std::string *error)
    {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(m_format.rate),
                                  uint8_t(m_format.channels)};
        pa_channel_map map;
        if (!pa_sample_spec_valid(&spec) ||
            !pa_channel_map_init_auto(&map, spec.channels, PA_CHANNEL_MAP_DEFAULT)) {
            *error = AudioText::tr("不支持这种播放格式。");
            return false;
        }
        m_stream = pa_stream_new(m_connection->context, "Playback", &spec, &map);
        if (!m_stream) {
            *error = m_connection->lastError();
            return false;
        }
        pa_stream_set_state_callback(
            m_stream,
            [](pa_stream *, void *userdata) {
                signalLoop(static_cast<PulsePlaybackStream *>(userdata)->m_connection->loop);
            },
            this);
        pa_stream_set_write_callback(m_stream, onWrite, this);
        // A short queue keeps pause, seek and volume changes prompt.
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(pa_usec_to_bytes(100 * PA_USEC_PER_MSEC, &spec));
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        const auto flags =
            pa_stream_flags_t(PA_STREAM_START_CORKED | PA_STREAM_INTERPOLATE_TIMING |
                              PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
        pa_cvolume volume;
        pa_cvolume_set(&volume, spec.channels, toPulseVolume(m_volume));
        if (pa_stream_connect_playback(m_stream, nullptr, &attr, flags, &volume, nullptr) < 0) {
            *error = m_connection->lastError();
            return false;
        }
        const bool settled = waitUntil(m_connection->loop, [this] {
            const pa_stream_state_t state = pa_stream_get_state(m_stream);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
        if (settled && pa_stream_get_state(m_stream) == PA_STREAM_READY)
            return true;
        *error = AudioText::tr(
            "无法在默认输出设备上播放：%1。",
            {settled ? m_connection->lastError() : AudioText::tr("声音服务器没有回答")});
        return false;
    }

    bool setRunning(bool running) override
    {
        LoopLock lock(m_connection->loop);
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return false;
        pa_operation *op = pa_stream_cork(m_stream, running ? 0 : 1, nullptr, nullptr);
        if (!op)
            return false;
        pa_operation_unref(op);
        m_started = m_started || running;
        return true;
    }

    void setVolume(float volume) override
    {
        LoopLock lock(m_connection->loop);
        m_volume = volume;
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return;
        pa_cvolume cv;
        pa_cvolume_set(&cv, uint8_t(m_format.channels), toPulseVolume(volume));
        pa_operation *op = pa_context_set_sink_input_volume(
            m_connection->context, pa_stream_get_index(m_stream), &cv, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }

    void flush() override
    {
        LoopLock lock(m_connection->loop);
        if (pa_stream_get_state(m_stream) != PA_STREAM_READY)
            return;
        // What is written from now on starts where the server reads now: a new
        // count of played frames begins there.
        m_base = streamFrames().value_or(m_base + m_written);
        m_written = 0;
        m_content = 0;
        m_silence.clear();
        m_silenceBefore = 0;
        m_lastPlayed = 0;
        pa_operation *op = pa_stream_flush(m_stream, nullptr, nullptr);
        if (op)
            pa_operation_unref(op);
    }

    uint64_t playedFrames() const override
    {
        LoopLock lock(m_connection->loop);
        // The clock of a stream that never ran can show a few frames of latency
        // correction; nothing has been heard yet.
        const auto now = streamFrames();
        if (!now || !m_started)
            return m_lastPlayed;
        // Frames of the stream heard since the last flush, less the silence we
        // filled in when the source had nothing.
        const uint64_t heard = std::min(*now > m_base ? *now - m_base : 0, m_written);
        while (!m_silence.empty() && m_silence.front().second <= heard) {
            m_silenceBefore += m_silence.front().second - m_silence.front().first;
            m_silence.pop_front();
        }
        uint64_t silence = m_silenceBefore;
        if (!m_silence.empty() && m_silence.front().first < heard)
            silence += heard - m_silence.front().first;
        const uint64_t played = std::min(heard - std::min(silence, heard), m_content);
        m_lastPlayed = std::max(m_lastPlayed, played);
        return m_lastPlayed;
    }

private:
    // Playback position of the stream in frames, since it was created.
    std::optional<uint64_t> streamFrames() const
    {
        pa_usec_t usec = 0;
        if (pa_stream_get_time(m_stream, &usec) < 0)
            return std::nullopt;
        return uint64_t(usec) * uint64_t(m_format.rate) / PA_USEC_PER_SEC;
    }

    static void onWrite(pa_stream *stream, size_t bytes, void *userdata)
    {
        auto *self = static_cast<PulsePlaybackStream *>(userdata);
        const size_t bpf = size_t(self->m_format.bytesPerFrame());
        while (bytes >= bpf) {
            void *buffer = nullptr;
            size_t size = bytes / bpf * bpf;
            if (pa_stream_begin_write(stream, &buffer, &size) < 0 || !buffer || size < bpf)
                return;
            const size_t frames = size / bpf;
            auto *out = static_cast<int16_t *>(buffer);
            const size_t got = std::min(frames, self->m_source->pull(out, frames));
            if (got < frames) {
                std::memset(out + got * size_t(self->m_format.channels), 0, (frames - got) * bpf);
                const uint64_t start = self->m_written + got;
                const uint64_t end = self->m_written + frames;
                if (!self->m_silence.empty() && self->m_silence.back().second == start)
                    self->m_silence.back().second = end;
                else
                    self->m_silence.emplace_back(start, end);
            }
            if (pa_stream_write(stream, buffer, frames * bpf, nullptr, 0, PA_SEEK_RELATIVE) < 0)
                return;
            self->m_written += frames;
            self->m_content += got;
            bytes -= frames * bpf;
        }
    }

    std::shared_ptr<PulseBackend::Connection> m_connection;
    PlaybackSource *m_source;
    const PcmFormat m_format;
    pa_stream *m_stream = nullptr;
    float m_volume = 1.f;
    bool m_started = false;

    // Guarded by the main loop lock. Counts in frames, since the last flush.
    uint64_t m_base = 0;    // stream position where the count starts
    uint64_t m_written = 0; // frames written, silence included
    uint64_t m_content = 0; // frames that came from the source
    // Stretches of filled-in silence [begin, end), in written frames.
    mutable std::deque<std::pair<uint64_t, uint64_t>> m_silence;
    mutable uint64_t m_silenceBefore = 0; // silence of stretches already heard
    mutable uint64_t m_lastPlayed = 0;
};

} // namespace

std::unique_ptr<RawPlaybackStream>
openPlaybackStream(std::shared_ptr<PulseBackend::Connection> connection, PcmFormat format,
                   PlaybackSource *source, std::string *error)
{
    auto stream = std::make_unique<PulsePlaybackStream>(std::move(connection), source, format);
    if (!stream->open(error))
        return nullptr;
    return stream;
}

} // namespace sonalto::audio::pulse
