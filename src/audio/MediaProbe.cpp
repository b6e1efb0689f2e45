#include "audio/AudioFileDecoder.h"
#include "audio/AudioText.h"
#include "audio/Encoders.h"
#include "audio/FfmpegSupport.h"
#include "audio/WavHeader.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

namespace sonalto::audio {

void quietFfmpegLog()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::string ffmpegErrorText(int errorCode)
{
    switch (errorCode) {
    case AVERROR_INVALIDDATA:
        return tr("文件数据无效");
    case AVERROR_EOF:
        return tr("文件意外结束");
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_DEMUXER_NOT_FOUND:
        return tr("不支持这种文件格式");
    case AVERROR_ENCODER_NOT_FOUND:
    case AVERROR_MUXER_NOT_FOUND:
        return tr("无法写入这种文件格式");
    default:
        break;
    }
    // Most errors are system errors in disguise.
    if (errorCode < 0 && errorCode > -4096)
        return systemErrorText(AVUNERROR(errorCode));
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errorCode, text, sizeof text);
    return tr("解码库错误（%1）", {text});
}

std::string ffmpegFileUrl(const std::string &path)
{
    return "file:" + path;
}

namespace {

// The duration the container states, preferring the audio stream's own.
std::optional<double> statedDuration(const AVFormatContext *context, const AVStream *stream)
{
    if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0 && stream->time_base.num > 0 &&
        stream->time_base.den > 0)
        return double(stream->duration) * av_q2d(stream->time_base);
    if (context->duration != AV_NOPTS_VALUE && context->duration > 0)
        return double(context->duration) / AV_TIME_BASE;
    return std::nullopt;
}

const AVStream *audioStream(const AVFormatContext *context)
{
    for (unsigned i = 0; i < context->nb_streams; ++i) {
        if (context->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return context->streams[i];
    }
    return nullptr;
}

} // namespace

namespace {

// Work spent on one file beyond reading its header, so that a damaged or
// enormous file cannot hold up the list.
constexpr auto ProbeBudget = std::chrono::seconds(2);
// A header that claims more than this (about 115 days) is not to be believed.
constexpr double MaxCredibleSeconds = 1e7;

using Clock = std::chrono::steady_clock;

// Sum of the packet durations of the stream, without decoding: exact for MP3,
// whose every frame carries the same number of samples. nullopt when the budget
// ran out first.
std::optional<double> sumPacketDurations(AVFormatContext *context, const AVStream *stream,
                                         Clock::time_point deadline)
{
    AVPacket *packet = av_packet_alloc();
    if (!packet)
        return std::nullopt;
    int64_t total = 0;
    bool timedOut = false;
    for (int count = 0; av_read_frame(context, packet) >= 0; ++count) {
        if (packet->stream_index == stream->index && packet->duration > 0)
            total += packet->duration;
        av_packet_unref(packet);
        if ((count & 255) == 255 && Clock::now() > deadline) {
            timedOut = true;
            break;
        }
    }
    av_packet_free(&packet);
    if (timedOut || total <= 0)
        return std::nullopt;
    return double(total) * av_q2d(stream->time_base);
}

// Length of what actually decodes; nullopt when nothing does or the budget ran out.
std::optional<double> decodedSeconds(const std::string &path, Clock::time_point deadline)
{
    auto decoder = AudioFileDecoder::open(path, nullptr);
    if (!decoder)
        return std::nullopt;
    uint64_t frames = 0;
    std::vector<int16_t> piece;
    while (decoder->decodeMore(piece)) {
        frames += piece.size() / AudioFileDecoder::OutputChannels;
        piece.clear();
        if (Clock::now() > deadline)
            return std::nullopt;
    }
    if (frames == 0)
        return std::nullopt;
    return double(frames) / AudioFileDecoder::OutputRate;
}

bool credible(const std::optional<double> &seconds)
{
    return seconds && *seconds > 0 && *seconds <= MaxCredibleSeconds;
}

} // namespace

std::optional<double> probeDurationSeconds(const std::string &path)
{
    // A WAV file's length follows from its header and its size; FFmpeg would also
    // walk whatever follows the audio, 8 bytes at a time.
    if (looksLikeWav(path)) {
        const auto layout = readWavLayout(path);
        return layout ? std::optional<double>(layout->seconds) : std::nullopt;
    }

    quietFfmpegLog();
    const auto deadline = Clock::now() + ProbeBudget;
    AVFormatContext *context = nullptr;
    if (avformat_open_input(&context, ffmpegFileUrl(path).c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    // Opening alone reads the header, which gives the duration of WAV, OGG, WMA
    // and tagged MP3 at a fraction of a millisecond.
    const AVStream *stream = audioStream(context);
    std::optional<double> duration;
    if (stream)
        duration = statedDuration(context, stream);
    const bool mp3 = context->iformat && std::strcmp(context->iformat->name, "mp3") == 0;
    if (stream && mp3 && stream->duration == AV_NOPTS_VALUE) {
        // No Xing or VBRI header: the length FFmpeg would guess from the first
        // frames' bit rate is wrong for variable bit rates, counting the frames is not.
        if (const auto counted = sumPacketDurations(context, stream, deadline))
            duration = counted;
    }
    if (!stream && avformat_find_stream_info(context, nullptr) >= 0)
        stream = audioStream(context);
    avformat_close_input(&context);
    if (!stream)
        return std::nullopt;
    if (!credible(duration)) {
        // Missing or impossible (a recording cut short by a crash, a damaged
        // header): the length is what decodes.
        return decodedSeconds(path, deadline);
    }
    return duration;
}

} // namespace sonalto::audio
