#include "audio/AudioFileDecoder.h"

#include "audio/AudioText.h"
#include "audio/FfmpegSupport.h"
#include "audio/WavHeader.h"

#include <algorithm>
#include <cmath>

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

    ~Private()
    {
        swr_free(&resampler);
        av_channel_layout_uninit(&inLayout);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
    }

    bool setUpResampler(const AVFrame *f)
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
        if (f->nb_samples <= 0 || f->sample_rate <= 0 || !setUpResampler(f))
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
    auto fail = [&](const std::string &message) -> std::unique_ptr<AudioFileDecoder> {
        if (error)
            *error = message;
        return nullptr;
    };
    std::unique_ptr<AudioFileDecoder> decoder(new AudioFileDecoder);
    Private &p = *decoder->d;
    std::string url = ffmpegFileUrl(path);
    if (looksLikeWav(path)) {
        // FFmpeg reads on past a WAV file's audio looking for further chunks, 8
        // bytes at a time through whatever follows; show it the audio alone.
        if (const auto layout = readWavLayout(path))
            url = "subfile,,start,0,end," + std::to_string(layout->dataOffset + layout->dataBytes) +
                  ",,:" + url;
    }
    int rc = avformat_open_input(&p.format, url.c_str(), nullptr, nullptr);
    if (rc < 0)
        return fail(tr("无法打开“%1”：%2。", {path, ffmpegErrorText(rc)}));
    const AVCodec *codec = nullptr;
    p.streamIndex = av_find_best_stream(p.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (p.streamIndex < 0 || p.format->streams[p.streamIndex]->codecpar->sample_rate <= 0 ||
        p.format->streams[p.streamIndex]->codecpar->ch_layout.nb_channels <= 0) {
        // Some containers only know their streams after reading a little.
        if (avformat_find_stream_info(p.format, nullptr) < 0)
            return fail(tr("“%1”不是音频文件。", {path}));
        p.streamIndex = av_find_best_stream(p.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    }
    if (p.streamIndex < 0 || !codec)
        return fail(tr("“%1”中没有可以播放的音频。", {path}));
    p.stream = p.format->streams[p.streamIndex];
    for (unsigned i = 0; i < p.format->nb_streams; ++i) {
        if (int(i) != p.streamIndex)
            p.format->streams[i]->discard = AVDISCARD_ALL;
    }

    p.codec = avcodec_alloc_context3(codec);
    if (!p.codec || avcodec_parameters_to_context(p.codec, p.stream->codecpar) < 0)
        return fail(tr("无法为“%1”准备解码器。", {path}));
    p.codec->pkt_timebase = p.stream->time_base;
    rc = avcodec_open2(p.codec, codec, nullptr);
    if (rc < 0)
        return fail(tr("无法解码“%1”：%2。", {path, ffmpegErrorText(rc)}));
    p.packet = av_packet_alloc();
    p.frame = av_frame_alloc();
    if (!p.packet || !p.frame)
        return fail(tr("内存不足。"));
    return decoder;
}

uint64_t AudioFileDecoder::lengthFrames() const
{
    if (d->knownLength)
        return *d->knownLength;
    double seconds = 0;
    const AVStream *s = d->stream;
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
    while (!p.ended) {
        int rc = avcodec_receive_frame(p.codec, p.frame);
        if (rc == 0) {
            p.errors = 0;
            p.convert(p.frame, out);
            av_frame_unref(p.frame);
            if (out.size() > before)
                return true;
            continue;
        }
        if (rc == AVERROR_EOF || (rc != AVERROR(EAGAIN) && ++p.errors > MaxConsecutiveErrors)) {
            p.flushResampler(out);
            p.ended = true;
            break;
        }
        if (rc != AVERROR(EAGAIN))
            continue; // a damaged frame: skip it
        if (p.inputDone) {
            // The decoder wants input after its end: nothing more will come.
            p.flushResampler(out);
            p.ended = true;
            break;
        }
        rc = av_read_frame(p.format, p.packet);
        if (rc < 0) {
            avcodec_send_packet(p.codec, nullptr);
            p.inputDone = true;
            continue;
        }
        if (p.packet->stream_index == p.streamIndex) {
            rc = avcodec_send_packet(p.codec, p.packet);
            if (rc < 0 && rc != AVERROR(EAGAIN) && ++p.errors > MaxConsecutiveErrors) {
                avcodec_send_packet(p.codec, nullptr);
                p.inputDone = true;
            }
        }
        av_packet_unref(p.packet);
    }
    return out.size() > before;
}

bool AudioFileDecoder::seekToFrame(uint64_t frame)
{
    Private &p = *d;
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
