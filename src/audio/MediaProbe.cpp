#include "audio/MediaProbe.h"

#include "audio/AudioFileDecoder.h"
#include "audio/AudioText.h"
#include "audio/Encoders.h"
#include "audio/FfmpegSupport.h"
#include "audio/WavHeader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
        return AudioText::tr("文件数据无效");
    case AVERROR_EOF:
        return AudioText::tr("文件意外结束");
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_DEMUXER_NOT_FOUND:
        return AudioText::tr("不支持这种文件格式");
    case AVERROR_ENCODER_NOT_FOUND:
    case AVERROR_MUXER_NOT_FOUND:
        return AudioText::tr("无法写入这种文件格式");
    default:
        break;
    }
    // Most errors are system errors in disguise.
    if (errorCode < 0 && errorCode > -4096)
        return systemErrorText(AVUNERROR(errorCode));
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(errorCode, text, sizeof text);
    return AudioText::tr("解码库错误（%1）", {text});
}

std::string ffmpegFileUrl(const std::string &path)
{
    return "file:" + path;
}

namespace {

using Clock = std::chrono::steady_clock;

// Work spent on one file beyond reading its header, so that a damaged or
// enormous file cannot hold up the list.
constexpr auto ProbeBudget = std::chrono::seconds(2);
// A header that claims more than this (about 115 days) is not to be believed.
constexpr double MaxCredibleSeconds = 1e7;
// How far a stated length may stray from what the file's size allows before
// the file is measured instead.
constexpr double SizeToleranceSeconds = 0.1;

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

bool credible(const std::optional<double> &seconds)
{
    return seconds && *seconds > 0 && *seconds <= MaxCredibleSeconds;
}

// Reads pieces of a file by position.
class FileReader
{
public:
    explicit FileReader(const std::string &path) : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        struct stat st
        {
        };
        if (m_fd >= 0 && fstat(m_fd, &st) == 0)
            m_size = uint64_t(st.st_size);
    }
    ~FileReader()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileReader(const FileReader &) = delete;
    FileReader &operator=(const FileReader &) = delete;

    uint64_t size() const { return m_size; }
    // Up to `n` bytes from `offset`; how many were read.
    size_t read(uint64_t offset, unsigned char *out, size_t n) const
    {
        if (m_fd < 0 || offset >= m_size)
            return 0;
        const ssize_t got = pread(m_fd, out, n, off_t(offset));
        return got > 0 ? size_t(got) : 0;
    }
    bool readExact(uint64_t offset, unsigned char *out, size_t n) const
    {
        return read(offset, out, n) == n;
    }

private:
    int m_fd;
    uint64_t m_size = 0;
};

uint32_t be32(const unsigned char *p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

uint32_t le32(const unsigned char *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// CRC-16 (polynomial 0x8005, bits reflected, starting at 0): the checksum of a
// LAME tag.
uint16_t crc16(const unsigned char *data, size_t n)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

// Bytes at the end of an MP3 file that are tags, not audio (ID3v1, APEv2).
uint64_t trailingTagBytes(const FileReader &file)
{
    constexpr size_t Tail = 128 + 32;
    unsigned char buf[Tail];
    const uint64_t size = file.size();
    if (size < Tail || !file.readExact(size - Tail, buf, Tail))
        return 0;
    size_t end = Tail;
    if (std::memcmp(buf + Tail - 128, "TAG", 3) == 0)
        end -= 128;
    const unsigned char *footer = buf + end - 32;
    if (std::memcmp(footer, "APETAGEX", 8) == 0) {
        // The size counts the footer and the items; a header of 32 bytes may precede them.
        const uint64_t ape = le32(footer + 12) + ((footer[23] & 0x80) ? 32 : 0);
        return std::min<uint64_t>(size, Tail - end + ape);
    }
    return Tail - end;
}

// The length an MP3 file's Info/Xing tag gives, when the tag carries a LAME
// extension whose checksum holds (the frame count is the one written) and the
// byte count it states is what the file holds (nothing was cut off or added).
// Exact: the encoder's delay and padding, which the decoder drops, do not count.
std::optional<double> verifiedTagSeconds(const std::string &path)
{
    const FileReader file(path);
    unsigned char buf[4096];
    uint64_t offset = 0;
    size_t got = file.read(0, buf, sizeof buf);
    if (got >= 10 && std::memcmp(buf, "ID3", 3) == 0) {
        const uint64_t size = uint64_t(buf[6] & 0x7f) << 21 | uint64_t(buf[7] & 0x7f) << 14 |
                              uint64_t(buf[8] & 0x7f) << 7 | uint64_t(buf[9] & 0x7f);
        offset = 10 + size + ((buf[5] & 0x10) ? 10 : 0);
        got = file.read(offset, buf, sizeof buf);
    }
    // The tag sits in the first frame, which may follow a little padding.
    size_t at = 0;
    while (at + 4 <= got && !(buf[at] == 0xFF && (buf[at + 1] & 0xE0) == 0xE0))
        ++at;
    if (at + 4 > got)
        return std::nullopt;
    offset += at;
    unsigned char frame[256];
    size_t frameBytes = std::min(got - at, sizeof frame);
    if (frameBytes < sizeof frame)
        frameBytes = file.read(offset, frame, sizeof frame);
    else
        std::memcpy(frame, buf + at, frameBytes);
    const int version = (frame[1] >> 3) & 3; // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layer = (frame[1] >> 1) & 3;   // 1: layer III
    const int rateIndex = (frame[2] >> 2) & 3;
    if (version == 1 || layer != 1 || rateIndex == 3 || (frame[2] >> 4) == 0 ||
        (frame[2] >> 4) == 15)
        return std::nullopt;
    static constexpr int baseRates[] = {44100, 48000, 32000};
    const int rate = baseRates[rateIndex] >> (version == 3 ? 0 : version == 2 ? 1 : 2);
    const bool mono = (frame[3] >> 6) == 3;
    const int samplesPerFrame = version == 3 ? 1152 : 576;
    const size_t xing = 4 + (version == 3 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (xing + 16 > frameBytes ||
        (std::memcmp(frame + xing, "Xing", 4) != 0 && std::memcmp(frame + xing, "Info", 4) != 0))
        return std::nullopt;
    const uint32_t flags = be32(frame + xing + 4);
    if ((flags & 3) != 3) // frame and byte counts
        return std::nullopt;
    const uint32_t frames = be32(frame + xing + 8);
    const uint32_t bytes = be32(frame + xing + 12);
    const size_t lame = xing + 16 + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
    if (lame + 36 > frameBytes)
        return std::nullopt;
    // The checksum covers the frame up to itself; some writers always take 190 bytes.
    const uint16_t stored = uint16_t(frame[lame + 34] << 8 | frame[lame + 35]);
    if (crc16(frame, lame + 34) != stored && crc16(frame, 190) != stored)
        return std::nullopt;
    const uint32_t delay = uint32_t(frame[lame + 21]) << 4 | frame[lame + 22] >> 4;
    const uint32_t padding = uint32_t(frame[lame + 22] & 0x0F) << 8 | frame[lame + 23];
    const uint64_t samples = uint64_t(frames) * samplesPerFrame;
    if (frames == 0 || bytes == 0 || delay + padding >= samples)
        return std::nullopt;
    const double seconds = double(samples - delay - padding) / rate;
    const uint64_t tags = trailingTagBytes(file);
    if (offset + tags >= file.size())
        return std::nullopt;
    const uint64_t present = file.size() - tags - offset;
    const double missing = seconds * std::fabs(double(present) - double(bytes)) / double(bytes);
    if (missing > SizeToleranceSeconds)
        return std::nullopt;
    return seconds;
}

// Whether an OGG file holds more than one logical stream: another stream's
// page, a second beginning or time going back among the pages of its last
// 64 KiB. Parts one after another (chained files) each start their time again,
// and the length FFmpeg reads from the last page is the last part's alone.
bool oggHasSeveralStreams(const std::string &path)
{
    const FileReader file(path);
    unsigned char head[27];
    if (!file.readExact(0, head, sizeof head) || std::memcmp(head, "OggS", 4) != 0)
        return true; // something before the first page: cannot tell
    const uint32_t serial = le32(head + 14);
    constexpr size_t Window = 65536;
    std::vector<unsigned char> tail(size_t(std::min<uint64_t>(file.size(), Window)));
    const uint64_t base = file.size() - tail.size();
    if (!file.readExact(base, tail.data(), tail.size()))
        return true;
    std::optional<int64_t> lastGranule;
    for (size_t at = 0; at + 27 <= tail.size();) {
        const unsigned char *page = tail.data() + at;
        if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0 || at + 27 + page[26] > tail.size()) {
            ++at;
            continue;
        }
        size_t body = 0;
        for (int i = 0; i < page[26]; ++i)
            body += page[27 + i];
        const size_t end = at + 27 + page[26] + body;
        if (base + end > file.size()) {
            ++at;
            continue;
        }
        int64_t granule = 0;
        for (int i = 7; i >= 0; --i)
            granule = granule << 8 | page[6 + i];
        if (le32(page + 14) != serial || ((page[5] & 2) && base + at > 0))
            return true;
        if (granule != -1) {
            if (lastGranule && granule < *lastGranule)
                return true;
            lastGranule = granule;
        }
        at = end;
    }
    return false;
}

// Whether a constant-rate container's stated length is what its size holds at
// its bit rate (headers and padding make the file a little larger).
bool agreesWithSize(const AVFormatContext *context, const AVStream *stream, double seconds)
{
    const int64_t bitRate =
        stream->codecpar->bit_rate > 0 ? stream->codecpar->bit_rate : context->bit_rate;
    const int64_t size = context->pb ? avio_size(context->pb) : -1;
    if (bitRate <= 0 || size <= 0)
        return true;
    const double held = double(size) * 8 / double(bitRate);
    return seconds <= held + 1.0 && seconds >= held * 0.9 - 1.0;
}

// Sum of the packet durations of the stream, without decoding: exact for MP3,
// whose every frame carries the same number of samples. When the deadline comes
// first, the rest is estimated from the bytes not yet read.
std::optional<double> sumPacketDurations(AVFormatContext *context, const AVStream *stream,
                                         Clock::time_point deadline)
{
    AVPacket *packet = av_packet_alloc();
    if (!packet)
        return std::nullopt;
    const int64_t start = avio_tell(context->pb), size = avio_size(context->pb);
    int64_t total = 0;
    double share = 1;
    for (int count = 1; av_read_frame(context, packet) >= 0; ++count) {
        if (packet->stream_index == stream->index && packet->duration > 0)
            total += packet->duration;
        av_packet_unref(packet);
        if (count % 256 == 0 && Clock::now() > deadline) {
            const int64_t at = avio_tell(context->pb);
            if (size > at && at > start)
                share = double(at - start) / double(size - start);
            break;
        }
    }
    av_packet_free(&packet);
    if (total <= 0)
        return std::nullopt;
    return double(total) * av_q2d(stream->time_base) / share;
}

// Length of what actually decodes; nullopt when nothing does.
std::optional<MediaLength> measuredLength(const std::string &path, Clock::time_point deadline)
{
    auto decoder = AudioFileDecoder::open(path, nullptr);
    if (!decoder)
        return std::nullopt;
    const auto measure = decoder->measureRest(deadline);
    if (!(measure.seconds > 0))
        return std::nullopt;
    return MediaLength{measure.seconds, true};
}

} // namespace

std::optional<MediaLength> probeMediaLength(const std::string &path)
{
    const auto deadline = Clock::now() + ProbeBudget;
    // A WAV file's length follows from its header and its size; FFmpeg would also
    // walk whatever follows the audio, 8 bytes at a time.
    if (looksLikeWav(path)) {
        const auto layout = readWavLayout(path);
        if (!layout)
            return std::nullopt;
        if (layout->exact)
            return MediaLength{layout->seconds, false};
        // Compressed (the byte rate of ADPCM is often written wrong) or self-contradicting.
        return measuredLength(path, deadline);
    }

    quietFfmpegLog();
    AVFormatContext *context = nullptr;
    if (avformat_open_input(&context, ffmpegFileUrl(path).c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    // Opening alone reads the header, which gives the duration of WAV, OGG, WMA
    // and tagged MP3 at a fraction of a millisecond.
    const AVStream *stream = audioStream(context);
    if (!stream && avformat_find_stream_info(context, nullptr) >= 0)
        stream = audioStream(context);
    if (!stream) {
        avformat_close_input(&context);
        return std::nullopt;
    }
    std::optional<double> duration = statedDuration(context, stream);
    bool trusted = credible(duration);
    const std::string format = context->iformat ? context->iformat->name : "";
    if (format == "mp3") {
        // Only a tag that is intact and matches the file is believed. Without
        // one, counting the frames is exact, where the length FFmpeg guesses
        // from the first frames' bit rate is not.
        duration = verifiedTagSeconds(path);
        trusted = bool(duration);
        if (!trusted) {
            const auto counted = sumPacketDurations(context, stream, deadline);
            avformat_close_input(&context);
            if (counted)
                return MediaLength{*counted, true};
            return measuredLength(path, deadline);
        }
    } else if (format == "ogg") {
        trusted = trusted && !oggHasSeveralStreams(path);
    } else if (format == "asf") {
        trusted = trusted && agreesWithSize(context, stream, *duration);
    }
    avformat_close_input(&context);
    if (trusted)
        return MediaLength{*duration, false};
    // Missing, impossible or contradicted by the file: the length is what decodes.
    return measuredLength(path, deadline);
}

std::optional<double> probeDurationSeconds(const std::string &path)
{
    const auto length = probeMediaLength(path);
    return length ? std::optional<double>(length->seconds) : std::nullopt;
}

} // namespace sonalto::audio
