#include "audio/AudioText.h"
#include "audio/BufferedEncoder.h"
#include "audio/Encoders.h"
#include "audio/FfmpegSupport.h"

#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace sonalto::audio {

namespace {

AVCodecContext *openWmaCodec(int rate, int channels, int bitRate, bool globalHeader)
{
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec)
        return nullptr;
    AVCodecContext *context = avcodec_alloc_context3(codec);
    if (!context)
        return nullptr;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = rate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = bitRate;
    context->time_base = AVRational{1, rate};
    if (globalHeader)
        context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(context, codec, nullptr) < 0)
        avcodec_free_context(&context);
    return context;
}

// Encodes on the writer thread. The WMA v2 encoder takes float-planar frames of
// exactly frame_size (2048) samples; the block stream is cut into those.
class WmaFileEncoder : public BufferedEncoder
{
public:
    explicit WmaFileEncoder(PcmFormat format) : BufferedEncoder(format) {}
    ~WmaFileEncoder() override
    {
        stopWriter();
        release();
    }

    bool open(int bitRate, const std::string &path, std::string *error)
    {
        quietFfmpegLog();
        auto fail = [&](const std::string &message) {
            if (error)
                *error = message;
            release();
            return false;
        };
        const std::string url = ffmpegFileUrl(path);
        if (avformat_alloc_output_context2(&m_output, nullptr, "asf", url.c_str()) < 0 || !m_output)
            return fail(AudioText::tr("无法使用 WMA 文件格式。"));
        m_codec = openWmaCodec(m_format.rate, m_format.channels, bitRate,
                               m_output->oformat->flags & AVFMT_GLOBALHEADER);
        if (!m_codec)
            return fail(
                AudioText::tr("无法以 %1 Hz、%2 声道写入 WMA。",
                              {std::to_string(m_format.rate), std::to_string(m_format.channels)}));
        m_stream = avformat_new_stream(m_output, nullptr);
        if (!m_stream || avcodec_parameters_from_context(m_stream->codecpar, m_codec) < 0)
            return fail(AudioText::tr("无法准备 WMA 音频流。"));
        m_stream->time_base = m_codec->time_base;
        int rc = avio_open(&m_output->pb, url.c_str(), AVIO_FLAG_WRITE);
        if (rc < 0)
            return fail(AudioText::tr("无法创建“%1”：%2。", {path, ffmpegErrorText(rc)}));
        // Hand every packet to the file at once instead of keeping FFmpeg's
        // 256 KiB buffer: a killed recording then still leaves a playable file.
        m_output->flags |= AVFMT_FLAG_FLUSH_PACKETS;
        rc = avformat_write_header(m_output, nullptr);
        if (rc < 0)
            return fail(AudioText::tr("无法写入“%1”：%2。", {path, ffmpegErrorText(rc)}));
        m_headerWritten = true;

        m_frameSize = m_codec->frame_size > 0 ? m_codec->frame_size : 2048;
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        if (!m_frame || !m_packet)
            return fail(AudioText::tr("内存不足。"));
        m_planes.assign(size_t(m_format.channels), std::vector<float>(size_t(m_frameSize)));
        // The decoder drops the first frame it reads; let that be silence.
        m_filled = m_frameSize;
        std::string sendError;
        if (!sendFrame(&sendError))
            return fail(sendError);
        startWriter();
        return true;
    }

protected:
    bool writeSamples(const int16_t *samples, size_t frames, std::string *error) override
    {
        const size_t channels = size_t(m_format.channels);
        for (size_t f = 0; f < frames; ++f) {
            for (size_t c = 0; c < channels; ++c)
                m_planes[c][size_t(m_filled)] = float(samples[f * channels + c]) / 32768.0f;
            if (++m_filled == m_frameSize && !sendFrame(error))
                return false;
        }
        return true;
    }

    bool closeOutput(bool failed, std::string *error) override
    {
        bool ok = true;
        if (!failed && m_codec) {
            if (m_filled > 0) {
                for (auto &plane : m_planes)
                    std::fill(plane.begin() + m_filled, plane.end(), 0.f);
                m_filled = m_frameSize;
                ok = sendFrame(error);
            }
            if (ok)
                ok = encode(nullptr, error);
        }
        if (m_headerWritten) {
            // Even after a failure the trailer is worth a try: it carries the
            // duration and index.
            const int rc = av_write_trailer(m_output);
            if (rc < 0 && ok && !failed) {
                ok = false;
                if (error)
                    *error = AudioText::tr("无法完成 WMA 文件：%1。", {ffmpegErrorText(rc)});
            }
            m_headerWritten = false;
        }
        if (m_output && m_output->pb) {
            if (m_output->pb->error < 0 && ok && !failed) {
                ok = false;
                if (error)
                    *error = AudioText::tr("无法写入 WMA 文件：%1。",
                                           {ffmpegErrorText(m_output->pb->error)});
            }
            avio_closep(&m_output->pb);
        }
        return ok;
    }

private:
    bool sendFrame(std::string *error)
    {
        m_frame->nb_samples = m_frameSize;
        m_frame->format = AV_SAMPLE_FMT_FLTP;
        m_frame->sample_rate = m_format.rate;
        av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout);
        m_frame->pts = m_pts;
        if (av_frame_get_buffer(m_frame, 0) < 0) {
            if (error)
                *error = AudioText::tr("内存不足。");
            return false;
        }
        for (size_t c = 0; c < m_planes.size(); ++c)
            std::copy(m_planes[c].begin(), m_planes[c].end(),
                      reinterpret_cast<float *>(m_frame->extended_data[c]));
        m_pts += m_frameSize;
        m_filled = 0;
        const bool ok = encode(m_frame, error);
        av_frame_unref(m_frame);
        return ok;
    }

    bool encode(const AVFrame *frame, std::string *error)
    {
        int rc = avcodec_send_frame(m_codec, frame);
        if (rc < 0) {
            if (error)
                *error = AudioText::tr("无法编码 WMA 音频：%1。", {ffmpegErrorText(rc)});
            return false;
        }
        for (;;) {
            rc = avcodec_receive_packet(m_codec, m_packet);
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return true;
            if (rc < 0) {
                if (error)
                    *error = AudioText::tr("无法编码 WMA 音频：%1。", {ffmpegErrorText(rc)});
                return false;
            }
            m_packet->stream_index = m_stream->index;
            // The ASF muxer counts in milliseconds whatever the stream asked for.
            av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
            rc = av_write_frame(m_output, m_packet);
            av_packet_unref(m_packet);
            if (rc < 0 || (m_output->pb && m_output->pb->error < 0)) {
                if (error)
                    *error = AudioText::tr("无法写入 WMA 文件：%1。",
                                           {ffmpegErrorText(rc < 0 ? rc : m_output->pb->error)});
                return false;
            }
        }
    }

    void release()
    {
        if (m_output && m_output->pb)
            avio_closep(&m_output->pb);
        avformat_free_context(m_output);
        m_output = nullptr;
        avcodec_free_context(&m_codec);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
    }

    AVFormatContext *m_output = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVStream *m_stream = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    bool m_headerWritten = false;
    int m_frameSize = 2048;
    int m_filled = 0;
    int64_t m_pts = 0;
    std::vector<std::vector<float>> m_planes;
};

class WmaWriterImpl : public WmaWriter
{
public:
    explicit WmaWriterImpl(std::unique_ptr<WmaFileEncoder> encoder) : m_encoder(std::move(encoder))
    {
    }
    ~WmaWriterImpl() override { close(); }

    bool write(const int16_t *samples, size_t bytes) override
    {
        if (m_closed)
            return false;
        const size_t frameBytes = size_t(m_encoder->format().bytesPerFrame());
        m_encoder->write(samples, bytes / frameBytes);
        return m_encoder->isActive();
    }

    bool close() override
    {
        if (!m_closed) {
            m_closed = true;
            m_encoder->finish();
        }
        return m_encoder->errorMessage().empty();
    }

    std::string errorMessage() const override { return m_encoder->errorMessage(); }
    AudioLoss lostAudio() const override { return m_encoder->lostAudio(); }

private:
    std::unique_ptr<WmaFileEncoder> m_encoder;
    bool m_closed = false;
};

} // namespace

bool WmaWriter::available(int rate, int channels)
{
    if (rate <= 0 || channels <= 0)
        return false;
    quietFfmpegLog();
    AVCodecContext *context = openWmaCodec(rate, channels, 128000, true);
    const bool ok = context != nullptr;
    avcodec_free_context(&context);
    return ok;
}

std::unique_ptr<WmaWriter> WmaWriter::open(PcmFormat format, int bitRate, const std::string &path,
                                           std::string *error)
{
    auto encoder = std::make_unique<WmaFileEncoder>(format);
    if (!encoder->open(bitRate, path, error))
        return nullptr;
    return std::make_unique<WmaWriterImpl>(std::move(encoder));
}

} // namespace sonalto::audio
