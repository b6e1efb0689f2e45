#include "audio/AudioFileDecoder.h"

#include "audio/AudioText.h"
#include "audio/FfmpegSupport.h"
#include "audio/WavHeader.h"

#include <algorithm>
#include <cmath>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace sonalto::audio {

namespace {
// A run of this many undecodable packets means the rest is not worth trying.
constexpr int MaxConsecutiveErrors = 500;
} // namespace

struct AudioFileDecoder::Private
{
    std::string path; // as the caller named it, for messages
    std::string url;  // what FFmpeg opens
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    SwrContext *resampler = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    int streamIndex = -1;
    AVStream *stream = nullptr;

    // What the resampler was set up for; a change mid-stream rebuilds it.
    int inRate = 0;
    int inFormat = -1;
    AVChannelLayout inLayout{};

    std::optional<uint64_t> knownLength;

    bool inputDone = false; // the decoder was sent its end-of-input
    bool ended = false;     // decoder and resampler fully drained
    int errors = 0;

    // After a seek: the frame asked for, until the first decoded frame says how
    // much of it lies before that point.
    std::optional<uint64_t> seekTarget;
    uint64_t dropFrames = 0;

    bool seekByDecoding = false;
    // Output frames made since the input was opened, dropped ones included.
    uint64_t produced = 0;

    ~Private()
    {
        closeInput();
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    void closeInput()
    {
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        inRate = 0;
        inFormat = -1;
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        stream = nullptr;
        streamIndex = -1;
    }

    // Opens `url` and its decoder from the start. False with *message.
    bool openInput(std::string *message)
    {
        auto fail = [&](const std::string &text) {
            *message = text;
            closeInput();
            return false;
        };
        int rc = avformat_open_input(&format, url.c_str(), nullptr, nullptr);
        if (rc < 0)
            return fail(AudioText::tr("无法打开“%1”：%2。", {path, ffmpegErrorText(rc)}));
        const AVCodec *decoder = nullptr;
        streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (streamIndex < 0 || format->streams[streamIndex]->codecpar->sample_rate <= 0 ||
            format->streams[streamIndex]->codecpar->ch_layout.nb_channels <= 0) {
            // Some containers only know their streams after reading a little.
            if (avformat_find_stream_info(format, nullptr) < 0)
                return fail(AudioText::tr("“%1”不是音频文件。", {path}));
            streamIndex = av_find_best_stream(format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        }
        if (streamIndex < 0 || !decoder)
            return fail(AudioText::tr("“%1”中没有可以播放的音频。", {path}));
        stream = format->streams[streamIndex];
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            if (int(i) != streamIndex)
                format->streams[i]->discard = AVDISCARD_ALL;
        }

        codec = avcodec_alloc_context3(decoder);
        if (!codec || avcodec_parameters_to_context(codec, stream->codecpar) < 0)
            return fail(AudioText::tr("无法为“%1”准备解码器。", {path}));
        codec->pkt_timebase = stream->time_base;
        rc = avcodec_open2(codec, decoder, nullptr);
        if (rc < 0)
            return fail(AudioText::tr("无法解码“%1”：%2。", {path, ffmpegErrorText(rc)}));
        inputDone = false;
        ended = false;
        errors = 0;
        seekTarget.reset();
        dropFrames = 0;
        produced = 0;
        return true;
    }

    // The next decoded frame, in `frame`; false at the end of the input (or
    // after too many damaged packets in a row).
    bool nextFrame()
    {
        while (true) {
            int rc = avcodec_receive_frame(codec, frame);
            if (rc == 0) {
                errors = 0;
                return true;
            }
            if (rc == AVERROR_EOF || (rc != AVERROR(EAGAIN) && ++errors > MaxConsecutiveErrors))
                return false;
            if (rc != AVERROR(EAGAIN))
                continue; // a damaged frame: skip it
            if (inputDone)
                return false; // the decoder wants input after its end: nothing more will come
            rc = av_read_frame(format, packet);
            if (rc < 0) {
                avcodec_send_packet(codec, nullptr);
                inputDone = true;
                continue;
            }
            if (packet->stream_index == streamIndex) {
                rc = avcodec_send_packet(codec, packet);
                if (rc < 0 && rc != AVERROR(EAGAIN) && ++errors > MaxConsecutiveErrors) {
                    avcodec_send_packet(codec, nullptr);
                    inputDone = true;
                }
            }
            av_packet_unref(packet);
        }
    }

    // A resampler for this frame's format; what the one it replaces still held
    // goes to `out` first.
    bool setUpResampler(const AVFrame *f, std::vector<int16_t> &out)
    {
        AVChannelLayout layout{};
        if (f->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC && f->ch_layout.nb_channels > 0)
            av_channel_layout_copy(&layout, &f->ch_layout);
        else if (f->ch_layout.nb_channels > 0)
            av_channel_layout_default(&layout, f->ch_layout.nb_channels);
        else
            return false;
        if (resampler && inRate == f->sample_rate && inFormat == f->format &&
            av_channel_layout_compare(&inLayout, &layout) == 0) {
            av_channel_layout_uninit(&layout);
            return true;
        }
        flushResampler(out);
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        inLayout = layout;
        inRate = f->sample_rate;
        inFormat = f->format;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        if (swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, OutputRate, &inLayout,
                                AVSampleFormat(inFormat), inRate, 0, nullptr) < 0 ||
            swr_init(resampler) < 0) {
            swr_free(&resampler);
            return false;
        }
        return true;
    }

    void append(std::vector<int16_t> &out, const uint8_t **input, int inSamples)
    {
        const int capacity = swr_get_out_samples(resampler, inSamples);
        if (capacity <= 0)
            return;
        const size_t start = out.size();
        out.resize(start + size_t(capacity) * OutputChannels);
        auto *dst = reinterpret_cast<uint8_t *>(out.data() + start);
        const int got = swr_convert(resampler, &dst, capacity, input, inSamples);
        size_t frames = got > 0 ? size_t(got) : 0;
        produced += frames;
        size_t skip = std::min<uint64_t>(dropFrames, frames);
        dropFrames -= skip;
        if (skip > 0)
            std::copy(out.begin() + long(start + skip * OutputChannels),
                      out.begin() + long(start + frames * OutputChannels),
                      out.begin() + long(start));
        out.resize(start + (frames - skip) * OutputChannels);
    }

    void convert(const AVFrame *f, std::vector<int16_t> &out)
    {
        if (f->nb_samples <= 0 || f->sample_rate <= 0 || !setUpResampler(f, out))
            return;
        if (seekTarget) {
            const int64_t ts = f->best_effort_timestamp;
            if (ts != AV_NOPTS_VALUE) {
                int64_t start = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
                const double at = double(ts - start) * av_q2d(stream->time_base) * OutputRate;
                const double before = double(*seekTarget) - at;
                dropFrames = before > 0 ? uint64_t(std::llround(before)) : 0;
            }
            seekTarget.reset();
        }
        append(out, const_cast<const uint8_t **>(f->extended_data), f->nb_samples);
    }

    void flushResampler(std::vector<int16_t> &out)
    {
        if (resampler)
            append(out, nullptr, 0);
    }
};

AudioFileDecoder::AudioFileDecoder() : d(std::make_unique<Private>()) {}
AudioFileDecoder::~AudioFileDecoder() = default;

std::unique_ptr<AudioFileDecoder> AudioFileDecoder::open(const std::string &path,
                                                         std::string *error)
{
    quietFfmpegLog();
    std::unique_ptr<AudioFileDecoder> decoder(new AudioFileDecoder);
    Private &p = *decoder->d;
    p.path = path;
    p.url = ffmpegFileUrl(path);
    if (looksLikeWav(path)) {
        // FFmpeg reads on past a WAV file's audio looking for further chunks, 8
        // bytes at a time through whatever follows; show it the audio alone.
        if (const auto layout = readWavLayout(path))
            p.url = "subfile,,start,0,end," +
                    std::to_string(layout->dataOffset + layout->dataBytes) + ",,:" + p.url;
    }
    p.packet = av_packet_alloc();
    p.frame = av_frame_alloc();
    std::string message = AudioText::tr("内存不足。");
    if (!p.packet || !p.frame || !p.openInput(&message)) {
        if (error)
            *error = message;
        return nullptr;
    }
    return decoder;
}

uint64_t AudioFileDecoder::lengthFrames() const
{
    if (d->knownLength)
        return *d->knownLength;
    const AVStream *s = d->stream;
    if (!s)
        return 0;
    double seconds = 0;
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0 && s->time_base.num > 0 &&
        s->time_base.den > 0)
        seconds = double(s->duration) * av_q2d(s->time_base);
    else if (d->format->duration != AV_NOPTS_VALUE && d->format->duration > 0)
        seconds = double(d->format->duration) / AV_TIME_BASE;
    if (!(seconds > 0) || seconds > 1e7)
        return 0;
    return uint64_t(std::llround(seconds * OutputRate));
}

void AudioFileDecoder::setLengthFrames(uint64_t frames)
{
    d->knownLength = frames;
}

bool AudioFileDecoder::decodeMore(std::vector<int16_t> &out)
{
    Private &p = *d;
    const size_t before = out.size();
    if (!p.codec)
        p.ended = true; // the input could not be opened again
    if (!p.ended) {
        if (p.nextFrame()) {
            p.convert(p.frame, out);
            av_frame_unref(p.frame);
            // Also when all of it was dropped: a seek by decoding advances one
            // frame per call, so that the caller can stop or seek elsewhere.
            return true;
        }
        p.flushResampler(out);
        p.ended = true;
    }
    return out.size() > before;
}

bool AudioFileDecoder::seekToFrame(uint64_t frame)
{
    Private &p = *d;
    if (p.seekByDecoding) {
        if (frame < p.produced || !p.codec) {
            std::string message;
            p.closeInput();
            if (!p.openInput(&message))
                return false;
        }
        p.dropFrames = frame - p.produced;
        return true;
    }
    if (!p.codec)
        return false;
    const AVRational tb = p.stream->time_base;
    if (tb.num <= 0 || tb.den <= 0)
        return false;
    int64_t ts = av_rescale_q(int64_t(frame), AVRational{1, OutputRate}, tb);
    if (p.stream->start_time != AV_NOPTS_VALUE)
        ts += p.stream->start_time;
    if (av_seek_frame(p.format, p.streamIndex, ts, AVSEEK_FLAG_BACKWARD) < 0 &&
        av_seek_frame(p.format, p.streamIndex, ts, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_ANY) < 0)
        return false;
    avcodec_flush_buffers(p.codec);
    swr_free(&p.resampler); // its buffered samples belong to the old position
    p.inputDone = false;
    p.ended = false;
    p.errors = 0;
    p.dropFrames = 0;
    p.seekTarget = frame;
    return true;
}

void AudioFileDecoder::setSeekByDecoding(bool byDecoding)
{
    d->seekByDecoding = byDecoding;
}

AudioFileDecoder::Measure
AudioFileDecoder::measureRest(std::chrono::steady_clock::time_point deadline)
{
    Private &p = *d;
    Measure measure;
    if (!p.codec || p.ended) {
        measure.complete = true;
        return measure;
    }
    const int64_t size = avio_size(p.format->pb);
    const int64_t start = avio_tell(p.format->pb);
    for (unsigned count = 1; p.nextFrame(); ++count) {
        if (p.frame->nb_samples > 0 && p.frame->sample_rate > 0)
            measure.seconds += double(p.frame->nb_samples) / p.frame->sample_rate;
        av_frame_unref(p.frame);
        if (count % 32 == 0 && std::chrono::steady_clock::now() > deadline) {
            // As much again for every share of the input read so far.
            const int64_t at = avio_tell(p.format->pb);
            if (size > at && at > start)
                measure.seconds *= double(size - start) / double(at - start);
            return measure;
        }
    }
    p.ended = true;
    measure.complete = true;
    return measure;
}

std::optional<std::vector<int16_t>> decodeAudioFile(const std::string &path, std::string *error,
                                                    uint64_t maxFrames)
{
    auto decoder = AudioFileDecoder::open(path, error);
    if (!decoder)
        return std::nullopt;
    std::vector<int16_t> samples;
    while (samples.size() / AudioFileDecoder::OutputChannels < maxFrames &&
           decoder->decodeMore(samples)) {
    }
    if (samples.size() / AudioFileDecoder::OutputChannels > maxFrames)
        samples.resize(size_t(maxFrames) * AudioFileDecoder::OutputChannels);
    return samples;
}

} // namespace sonalto::audio
