#include "audio/CodecLibraries.h"

#include "audio/LazyLibraries.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
#include <libavutil/macros.h>
#include <libavutil/mem.h>
#include <libavutil/tx.h>
#include <libavutil/version.h>
#include <libswresample/swresample.h>
}
#include <sndfile.h>

namespace sonalto::audio {

namespace {

enum Library { AvUtil, SwResample, AvCodec, AvFormat, SndFile };

// Every function of theirs the program calls.
#define SONALTO_CODEC_FUNCTIONS(X)                                                                 \
    X(AvUtil, av_channel_layout_compare)                                                           \
    X(AvUtil, av_channel_layout_copy)                                                              \
    X(AvUtil, av_channel_layout_default)                                                           \
    X(AvUtil, av_channel_layout_uninit)                                                            \
    X(AvUtil, av_frame_alloc)                                                                      \
    X(AvUtil, av_frame_free)                                                                       \
    X(AvUtil, av_frame_get_buffer)                                                                 \
    X(AvUtil, av_frame_unref)                                                                      \
    X(AvUtil, av_free)                                                                             \
    X(AvUtil, av_log_set_level)                                                                    \
    X(AvUtil, av_malloc)                                                                           \
    X(AvUtil, av_rescale_q)                                                                        \
    X(AvUtil, av_strerror)                                                                         \
    X(AvUtil, av_tx_init)                                                                          \
    X(AvUtil, av_tx_uninit)                                                                        \
    X(SwResample, swr_alloc_set_opts2)                                                             \
    X(SwResample, swr_convert)                                                                     \
    X(SwResample, swr_free)                                                                        \
    X(SwResample, swr_get_out_samples)                                                             \
    X(SwResample, swr_init)                                                                        \
    X(AvCodec, av_packet_alloc)                                                                    \
    X(AvCodec, av_packet_free)                                                                     \
    X(AvCodec, av_packet_rescale_ts)                                                               \
    X(AvCodec, av_packet_unref)                                                                    \
    X(AvCodec, avcodec_alloc_context3)                                                             \
    X(AvCodec, avcodec_find_encoder)                                                               \
    X(AvCodec, avcodec_flush_buffers)                                                              \
    X(AvCodec, avcodec_free_context)                                                               \
    X(AvCodec, avcodec_open2)                                                                      \
    X(AvCodec, avcodec_parameters_from_context)                                                    \
    X(AvCodec, avcodec_parameters_to_context)                                                      \
    X(AvCodec, avcodec_receive_frame)                                                              \
    X(AvCodec, avcodec_receive_packet)                                                             \
    X(AvCodec, avcodec_send_frame)                                                                 \
    X(AvCodec, avcodec_send_packet)                                                                \
    X(AvFormat, av_find_best_stream)                                                               \
    X(AvFormat, av_read_frame)                                                                     \
    X(AvFormat, av_seek_frame)                                                                     \
    X(AvFormat, av_write_frame)                                                                    \
    X(AvFormat, av_write_trailer)                                                                  \
    X(AvFormat, avformat_alloc_output_context2)                                                    \
    X(AvFormat, avformat_close_input)                                                              \
    X(AvFormat, avformat_find_stream_info)                                                         \
    X(AvFormat, avformat_free_context)                                                             \
    X(AvFormat, avformat_new_stream)                                                               \
    X(AvFormat, avformat_open_input)                                                               \
    X(AvFormat, avformat_write_header)                                                             \
    X(AvFormat, avio_closep)                                                                       \
    X(AvFormat, avio_open)                                                                         \
    X(AvFormat, avio_seek)                                                                         \
    X(AvFormat, avio_size)                                                                         \
    X(SndFile, sf_close)                                                                           \
    X(SndFile, sf_command)                                                                         \
    X(SndFile, sf_error)                                                                           \
    X(SndFile, sf_error_number)                                                                    \
    X(SndFile, sf_open_fd)                                                                         \
    X(SndFile, sf_writef_short)

enum class Function { SONALTO_CODEC_FUNCTIONS(SONALTO_LAZY_FUNCTION_INDEX) };

} // namespace

template <> struct LazyTable<Function>
{
    // In the order they depend on one another, by the names the program was
    // built against.
    static constexpr const char *const fileNames[] = {
        "libavutil.so." AV_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
        "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
        "libavcodec.so." AV_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
        "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
        "libsndfile.so.1",
    };
    static constexpr LazyLibraries::Function functions[] = {
        SONALTO_CODEC_FUNCTIONS(SONALTO_LAZY_FUNCTION_ENTRY)};
};

bool loadCodecLibraries(std::string *error)
{
    return lazyLibraries<Function>().loadAll(error);
}

} // namespace sonalto::audio

using sonalto::audio::forward;
using Function = sonalto::audio::Function;

extern "C" {

int av_channel_layout_compare(const AVChannelLayout *chl, const AVChannelLayout *chl1)
{
    return forward(&::av_channel_layout_compare, Function::av_channel_layout_compare, chl, chl1);
}

int av_channel_layout_copy(AVChannelLayout *dst, const AVChannelLayout *src)
{
    return forward(&::av_channel_layout_copy, Function::av_channel_layout_copy, dst, src);
}

void av_channel_layout_default(AVChannelLayout *ch_layout, int nb_channels)
{
    return forward(&::av_channel_layout_default, Function::av_channel_layout_default, ch_layout,
                   nb_channels);
}

void av_channel_layout_uninit(AVChannelLayout *channel_layout)
{
    return forward(&::av_channel_layout_uninit, Function::av_channel_layout_uninit, channel_layout);
}

AVFrame *av_frame_alloc()
{
    return forward(&::av_frame_alloc, Function::av_frame_alloc);
}

void av_frame_free(AVFrame **frame)
{
    return forward(&::av_frame_free, Function::av_frame_free, frame);
}

int av_frame_get_buffer(AVFrame *frame, int align)
{
    return forward(&::av_frame_get_buffer, Function::av_frame_get_buffer, frame, align);
}

void av_frame_unref(AVFrame *frame)
{
    return forward(&::av_frame_unref, Function::av_frame_unref, frame);
}

void av_free(void *ptr)
{
    return forward(&::av_free, Function::av_free, ptr);
}

void av_log_set_level(int level)
{
    return forward(&::av_log_set_level, Function::av_log_set_level, level);
}

void *av_malloc(size_t size)
{
    return forward(&::av_malloc, Function::av_malloc, size);
}

int64_t av_rescale_q(int64_t a, AVRational bq, AVRational cq)
{
    return forward(&::av_rescale_q, Function::av_rescale_q, a, bq, cq);
}

int av_strerror(int errnum, char *errbuf, size_t errbuf_size)
{
    return forward(&::av_strerror, Function::av_strerror, errnum, errbuf, errbuf_size);
}

int av_tx_init(AVTXContext **ctx, av_tx_fn *tx, enum AVTXType type, int inv, int len,
               const void *scale, uint64_t flags)
{
    return forward(&::av_tx_init, Function::av_tx_init, ctx, tx, type, inv, len, scale, flags);
}

void av_tx_uninit(AVTXContext **ctx)
{
    return forward(&::av_tx_uninit, Function::av_tx_uninit, ctx);
}

int swr_alloc_set_opts2(struct SwrContext **ps, AVChannelLayout *out_ch_layout,
                        enum AVSampleFormat out_sample_fmt, int out_sample_rate,
                        AVChannelLayout *in_ch_layout, enum AVSampleFormat in_sample_fmt,
                        int in_sample_rate, int log_offset, void *log_ctx)
{
    return forward(&::swr_alloc_set_opts2, Function::swr_alloc_set_opts2, ps, out_ch_layout,
                   out_sample_fmt, out_sample_rate, in_ch_layout, in_sample_fmt, in_sample_rate,
                   log_offset, log_ctx);
}

int swr_convert(struct SwrContext *s, uint8_t **out, int out_count, const uint8_t **in,
                int in_count)
{
    return forward(&::swr_convert, Function::swr_convert, s, out, out_count, in, in_count);
}

void swr_free(struct SwrContext **s)
{
    return forward(&::swr_free, Function::swr_free, s);
}

int swr_get_out_samples(struct SwrContext *s, int in_samples)
{
    return forward(&::swr_get_out_samples, Function::swr_get_out_samples, s, in_samples);
}

int swr_init(struct SwrContext *s)
{
    return forward(&::swr_init, Function::swr_init, s);
}

AVPacket *av_packet_alloc()
{
    return forward(&::av_packet_alloc, Function::av_packet_alloc);
}

void av_packet_free(AVPacket **pkt)
{
    return forward(&::av_packet_free, Function::av_packet_free, pkt);
}

void av_packet_rescale_ts(AVPacket *pkt, AVRational tb_src, AVRational tb_dst)
{
    return forward(&::av_packet_rescale_ts, Function::av_packet_rescale_ts, pkt, tb_src, tb_dst);
}

void av_packet_unref(AVPacket *pkt)
{
    return forward(&::av_packet_unref, Function::av_packet_unref, pkt);
}

AVCodecContext *avcodec_alloc_context3(const AVCodec *codec)
{
    return forward(&::avcodec_alloc_context3, Function::avcodec_alloc_context3, codec);
}

const AVCodec *avcodec_find_encoder(enum AVCodecID id)
{
    return forward(&::avcodec_find_encoder, Function::avcodec_find_encoder, id);
}

void avcodec_flush_buffers(AVCodecContext *avctx)
{
    return forward(&::avcodec_flush_buffers, Function::avcodec_flush_buffers, avctx);
}

void avcodec_free_context(AVCodecContext **avctx)
{
    return forward(&::avcodec_free_context, Function::avcodec_free_context, avctx);
}

int avcodec_open2(AVCodecContext *avctx, const AVCodec *codec, AVDictionary **options)
{
    return forward(&::avcodec_open2, Function::avcodec_open2, avctx, codec, options);
}

int avcodec_parameters_from_context(AVCodecParameters *par, const AVCodecContext *codec)
{
    return forward(&::avcodec_parameters_from_context, Function::avcodec_parameters_from_context,
                   par, codec);
}

int avcodec_parameters_to_context(AVCodecContext *codec, const AVCodecParameters *par)
{
    return forward(&::avcodec_parameters_to_context, Function::avcodec_parameters_to_context, codec,
                   par);
}

int avcodec_receive_frame(AVCodecContext *avctx, AVFrame *frame)
{
    return forward(&::avcodec_receive_frame, Function::avcodec_receive_frame, avctx, frame);
}

int avcodec_receive_packet(AVCodecContext *avctx, AVPacket *avpkt)
{
    return forward(&::avcodec_receive_packet, Function::avcodec_receive_packet, avctx, avpkt);
}

int avcodec_send_frame(AVCodecContext *avctx, const AVFrame *frame)
{
    return forward(&::avcodec_send_frame, Function::avcodec_send_frame, avctx, frame);
}

int avcodec_send_packet(AVCodecContext *avctx, const AVPacket *avpkt)
{
    return forward(&::avcodec_send_packet, Function::avcodec_send_packet, avctx, avpkt);
}

int av_find_best_stream(AVFormatContext *ic, enum AVMediaType type, int wanted_stream_nb,
                        int related_stream, const AVCodec **decoder_ret, int flags)
{
    return forward(&::av_find_best_stream, Function::av_find_best_stream, ic, type,
                   wanted_stream_nb, related_stream, decoder_ret, flags);
}

int av_read_frame(AVFormatContext *s, AVPacket *pkt)
{
    return forward(&::av_read_frame, Function::av_read_frame, s, pkt);
}

int av_seek_frame(AVFormatContext *s, int stream_index, int64_t timestamp, int flags)
{
    return forward(&::av_seek_frame, Function::av_seek_frame, s, stream_index, timestamp, flags);
}

int av_write_frame(AVFormatContext *s, AVPacket *pkt)
{
    return forward(&::av_write_frame, Function::av_write_frame, s, pkt);
}

int av_write_trailer(AVFormatContext *s)
{
    return forward(&::av_write_trailer, Function::av_write_trailer, s);
}

int avformat_alloc_output_context2(AVFormatContext **ctx, const AVOutputFormat *oformat,
                                   const char *format_name, const char *filename)
{
    return forward(&::avformat_alloc_output_context2, Function::avformat_alloc_output_context2, ctx,
                   oformat, format_name, filename);
}

void avformat_close_input(AVFormatContext **s)
{
    return forward(&::avformat_close_input, Function::avformat_close_input, s);
}

int avformat_find_stream_info(AVFormatContext *ic, AVDictionary **options)
{
    return forward(&::avformat_find_stream_info, Function::avformat_find_stream_info, ic, options);
}

void avformat_free_context(AVFormatContext *s)
{
    return forward(&::avformat_free_context, Function::avformat_free_context, s);
}

AVStream *avformat_new_stream(AVFormatContext *s, const AVCodec *c)
{
    return forward(&::avformat_new_stream, Function::avformat_new_stream, s, c);
}

int avformat_open_input(AVFormatContext **ps, const char *url, const AVInputFormat *fmt,
                        AVDictionary **options)
{
    return forward(&::avformat_open_input, Function::avformat_open_input, ps, url, fmt, options);
}

int avformat_write_header(AVFormatContext *s, AVDictionary **options)
{
    return forward(&::avformat_write_header, Function::avformat_write_header, s, options);
}

int avio_closep(AVIOContext **s)
{
    return forward(&::avio_closep, Function::avio_closep, s);
}

int avio_open(AVIOContext **s, const char *url, int flags)
{
    return forward(&::avio_open, Function::avio_open, s, url, flags);
}

int64_t avio_seek(AVIOContext *s, int64_t offset, int whence)
{
    return forward(&::avio_seek, Function::avio_seek, s, offset, whence);
}

int64_t avio_size(AVIOContext *s)
{
    return forward(&::avio_size, Function::avio_size, s);
}

int sf_close(SNDFILE *sndfile)
{
    return forward(&::sf_close, Function::sf_close, sndfile);
}

int sf_command(SNDFILE *sndfile, int command, void *data, int datasize)
{
    return forward(&::sf_command, Function::sf_command, sndfile, command, data, datasize);
}

int sf_error(SNDFILE *sndfile)
{
    return forward(&::sf_error, Function::sf_error, sndfile);
}

const char *sf_error_number(int errnum)
{
    return forward(&::sf_error_number, Function::sf_error_number, errnum);
}

SNDFILE *sf_open_fd(int fd, int mode, SF_INFO *sfinfo, int close_desc)
{
    return forward(&::sf_open_fd, Function::sf_open_fd, fd, mode, sfinfo, close_desc);
}

sf_count_t sf_writef_short(SNDFILE *sndfile, const short *ptr, sf_count_t frames)
{
    return forward(&::sf_writef_short, Function::sf_writef_short, sndfile, ptr, frames);
}

} // extern "C"
