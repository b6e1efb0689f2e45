#include "audio/Encoders.h"
#include "audio/FfmpegSupport.h"

#include <mutex>

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
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errorCode, text, sizeof text);
    return text;
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

std::optional<double> probeDurationSeconds(const std::string &path)
{
    quietFfmpegLog();
    AVFormatContext *context = nullptr;
    if (avformat_open_input(&context, ffmpegFileUrl(path).c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    // Opening alone reads the header, which gives the duration of WAV, OGG, WMA
    // and tagged MP3 at a fraction of a millisecond; reading the stream info
    // costs several milliseconds per file and is only needed when it does not.
    const AVStream *stream = audioStream(context);
    std::optional<double> duration;
    if (stream)
        duration = statedDuration(context, stream);
    if (!duration) {
        if (avformat_find_stream_info(context, nullptr) >= 0) {
            stream = audioStream(context);
            if (stream)
                duration = statedDuration(context, stream);
        }
    }
    avformat_close_input(&context);
    return stream ? duration : std::nullopt;
}

} // namespace sonalto::audio
