#include "audio/PulseLibrary.h"

#include "audio/LazyLibraries.h"

#include <pulse/pulseaudio.h>

namespace sonalto::audio {

namespace {

enum Library { Pulse };

// Every function of it that the program calls.
#define SONALTO_PULSE_FUNCTIONS(X)                                                                 \
    X(Pulse, pa_channel_map_init_auto)                                                             \
    X(Pulse, pa_context_connect)                                                                   \
    X(Pulse, pa_context_disconnect)                                                                \
    X(Pulse, pa_context_errno)                                                                     \
    X(Pulse, pa_context_get_card_info_list)                                                        \
    X(Pulse, pa_context_get_server_info)                                                           \
    X(Pulse, pa_context_get_sink_info_by_name)                                                     \
    X(Pulse, pa_context_get_sink_info_list)                                                        \
    X(Pulse, pa_context_get_source_info_by_name)                                                   \
    X(Pulse, pa_context_get_source_info_list)                                                      \
    X(Pulse, pa_context_get_state)                                                                 \
    X(Pulse, pa_context_new)                                                                       \
    X(Pulse, pa_context_set_sink_input_volume)                                                     \
    X(Pulse, pa_context_set_sink_volume_by_name)                                                   \
    X(Pulse, pa_context_set_source_mute_by_name)                                                   \
    X(Pulse, pa_context_set_source_port_by_name)                                                   \
    X(Pulse, pa_context_set_source_volume_by_name)                                                 \
    X(Pulse, pa_context_set_state_callback)                                                        \
    X(Pulse, pa_context_set_subscribe_callback)                                                    \
    X(Pulse, pa_context_subscribe)                                                                 \
    X(Pulse, pa_context_unref)                                                                     \
    X(Pulse, pa_cvolume_max)                                                                       \
    X(Pulse, pa_cvolume_scale)                                                                     \
    X(Pulse, pa_cvolume_set)                                                                       \
    X(Pulse, pa_gettimeofday)                                                                      \
    X(Pulse, pa_operation_cancel)                                                                  \
    X(Pulse, pa_operation_get_state)                                                               \
    X(Pulse, pa_operation_set_state_callback)                                                      \
    X(Pulse, pa_operation_unref)                                                                   \
    X(Pulse, pa_proplist_gets)                                                                     \
    X(Pulse, pa_sample_spec_valid)                                                                 \
    X(Pulse, pa_stream_begin_write)                                                                \
    X(Pulse, pa_stream_connect_playback)                                                           \
    X(Pulse, pa_stream_connect_record)                                                             \
    X(Pulse, pa_stream_cork)                                                                       \
    X(Pulse, pa_stream_disconnect)                                                                 \
    X(Pulse, pa_stream_drop)                                                                       \
    X(Pulse, pa_stream_flush)                                                                      \
    X(Pulse, pa_stream_get_index)                                                                  \
    X(Pulse, pa_stream_get_state)                                                                  \
    X(Pulse, pa_stream_get_time)                                                                   \
    X(Pulse, pa_stream_is_suspended)                                                               \
    X(Pulse, pa_stream_new)                                                                        \
    X(Pulse, pa_stream_peek)                                                                       \
    X(Pulse, pa_stream_readable_size)                                                              \
    X(Pulse, pa_stream_set_read_callback)                                                          \
    X(Pulse, pa_stream_set_state_callback)                                                         \
    X(Pulse, pa_stream_set_suspended_callback)                                                     \
    X(Pulse, pa_stream_set_write_callback)                                                         \
    X(Pulse, pa_stream_unref)                                                                      \
    X(Pulse, pa_stream_write)                                                                      \
    X(Pulse, pa_strerror)                                                                          \
    X(Pulse, pa_threaded_mainloop_free)                                                            \
    X(Pulse, pa_threaded_mainloop_get_api)                                                         \
    X(Pulse, pa_threaded_mainloop_in_thread)                                                       \
    X(Pulse, pa_threaded_mainloop_lock)                                                            \
    X(Pulse, pa_threaded_mainloop_new)                                                             \
    X(Pulse, pa_threaded_mainloop_signal)                                                          \
    X(Pulse, pa_threaded_mainloop_start)                                                           \
    X(Pulse, pa_threaded_mainloop_stop)                                                            \
    X(Pulse, pa_threaded_mainloop_unlock)                                                          \
    X(Pulse, pa_threaded_mainloop_wait)                                                            \
    X(Pulse, pa_timeval_add)                                                                       \
    X(Pulse, pa_usec_to_bytes)

enum class Function { SONALTO_PULSE_FUNCTIONS(SONALTO_LAZY_FUNCTION_INDEX) };

} // namespace

template <> struct LazyTable<Function>
{
    // By the name the program was built against.
    static constexpr const char *const fileNames[] = {"libpulse.so.0"};
    static constexpr LazyLibraries::Function functions[] = {
        SONALTO_PULSE_FUNCTIONS(SONALTO_LAZY_FUNCTION_ENTRY)};
};

bool loadPulseLibrary(std::string *error)
{
    return lazyLibraries<Function>().load(Pulse, error);
}

} // namespace sonalto::audio

using sonalto::audio::forward;
using Function = sonalto::audio::Function;

extern "C" {

pa_channel_map *pa_channel_map_init_auto(pa_channel_map *m, unsigned channels,
                                         pa_channel_map_def_t def)
{
    return forward(&::pa_channel_map_init_auto, Function::pa_channel_map_init_auto, m, channels,
                   def);
}

int pa_context_connect(pa_context *c, const char *server, pa_context_flags_t flags,
                       const pa_spawn_api *api)
{
    return forward(&::pa_context_connect, Function::pa_context_connect, c, server, flags, api);
}

void pa_context_disconnect(pa_context *c)
{
    return forward(&::pa_context_disconnect, Function::pa_context_disconnect, c);
}

int pa_context_errno(const pa_context *c)
{
    return forward(&::pa_context_errno, Function::pa_context_errno, c);
}

pa_operation *pa_context_get_card_info_list(pa_context *c, pa_card_info_cb_t cb, void *userdata)
{
    return forward(&::pa_context_get_card_info_list, Function::pa_context_get_card_info_list, c, cb,
                   userdata);
}

pa_operation *pa_context_get_server_info(pa_context *c, pa_server_info_cb_t cb, void *userdata)
{
    return forward(&::pa_context_get_server_info, Function::pa_context_get_server_info, c, cb,
                   userdata);
}

pa_operation *pa_context_get_sink_info_by_name(pa_context *c, const char *name,
                                               pa_sink_info_cb_t cb, void *userdata)
{
    return forward(&::pa_context_get_sink_info_by_name, Function::pa_context_get_sink_info_by_name,
                   c, name, cb, userdata);
}

pa_operation *pa_context_get_sink_info_list(pa_context *c, pa_sink_info_cb_t cb, void *userdata)
{
    return forward(&::pa_context_get_sink_info_list, Function::pa_context_get_sink_info_list, c, cb,
                   userdata);
}

pa_operation *pa_context_get_source_info_by_name(pa_context *c, const char *name,
                                                 pa_source_info_cb_t cb, void *userdata)
{
    return forward(&::pa_context_get_source_info_by_name,
                   Function::pa_context_get_source_info_by_name, c, name, cb, userdata);
}

pa_operation *pa_context_get_source_info_list(pa_context *c, pa_source_info_cb_t cb, void *userdata)
{
    return forward(&::pa_context_get_source_info_list, Function::pa_context_get_source_info_list, c,
                   cb, userdata);
}

pa_context_state_t pa_context_get_state(const pa_context *c)
{
    return forward(&::pa_context_get_state, Function::pa_context_get_state, c);
}

pa_context *pa_context_new(pa_mainloop_api *mainloop, const char *name)
{
    return forward(&::pa_context_new, Function::pa_context_new, mainloop, name);
}

pa_operation *pa_context_set_sink_input_volume(pa_context *c, uint32_t idx,
                                               const pa_cvolume *volume, pa_context_success_cb_t cb,
                                               void *userdata)
{
    return forward(&::pa_context_set_sink_input_volume, Function::pa_context_set_sink_input_volume,
                   c, idx, volume, cb, userdata);
}

pa_operation *pa_context_set_sink_volume_by_name(pa_context *c, const char *name,
                                                 const pa_cvolume *volume,
                                                 pa_context_success_cb_t cb, void *userdata)
{
    return forward(&::pa_context_set_sink_volume_by_name,
                   Function::pa_context_set_sink_volume_by_name, c, name, volume, cb, userdata);
}

pa_operation *pa_context_set_source_mute_by_name(pa_context *c, const char *name, int mute,
                                                 pa_context_success_cb_t cb, void *userdata)
{
    return forward(&::pa_context_set_source_mute_by_name,
                   Function::pa_context_set_source_mute_by_name, c, name, mute, cb, userdata);
}

pa_operation *pa_context_set_source_port_by_name(pa_context *c, const char *name, const char *port,
                                                 pa_context_success_cb_t cb, void *userdata)
{
    return forward(&::pa_context_set_source_port_by_name,
                   Function::pa_context_set_source_port_by_name, c, name, port, cb, userdata);
}

pa_operation *pa_context_set_source_volume_by_name(pa_context *c, const char *name,
                                                   const pa_cvolume *volume,
                                                   pa_context_success_cb_t cb, void *userdata)
{
    return forward(&::pa_context_set_source_volume_by_name,
                   Function::pa_context_set_source_volume_by_name, c, name, volume, cb, userdata);
}

void pa_context_set_state_callback(pa_context *c, pa_context_notify_cb_t cb, void *userdata)
{
    return forward(&::pa_context_set_state_callback, Function::pa_context_set_state_callback, c, cb,
                   userdata);
}

void pa_context_set_subscribe_callback(pa_context *c, pa_context_subscribe_cb_t cb, void *userdata)
{
    return forward(&::pa_context_set_subscribe_callback,
                   Function::pa_context_set_subscribe_callback, c, cb, userdata);
}

pa_operation *pa_context_subscribe(pa_context *c, pa_subscription_mask_t m,
                                   pa_context_success_cb_t cb, void *userdata)
{
    return forward(&::pa_context_subscribe, Function::pa_context_subscribe, c, m, cb, userdata);
}

void pa_context_unref(pa_context *c)
{
    return forward(&::pa_context_unref, Function::pa_context_unref, c);
}

pa_volume_t pa_cvolume_max(const pa_cvolume *a)
{
    return forward(&::pa_cvolume_max, Function::pa_cvolume_max, a);
}

pa_cvolume *pa_cvolume_scale(pa_cvolume *v, pa_volume_t max)
{
    return forward(&::pa_cvolume_scale, Function::pa_cvolume_scale, v, max);
}

pa_cvolume *pa_cvolume_set(pa_cvolume *a, unsigned channels, pa_volume_t v)
{
    return forward(&::pa_cvolume_set, Function::pa_cvolume_set, a, channels, v);
}

struct timeval *pa_gettimeofday(struct timeval *tv)
{
    return forward(&::pa_gettimeofday, Function::pa_gettimeofday, tv);
}

pa_operation_state_t pa_operation_get_state(const pa_operation *o)
{
    return forward(&::pa_operation_get_state, Function::pa_operation_get_state, o);
}

void pa_operation_set_state_callback(pa_operation *o, pa_operation_notify_cb_t cb, void *userdata)
{
    return forward(&::pa_operation_set_state_callback, Function::pa_operation_set_state_callback, o,
                   cb, userdata);
}

void pa_operation_cancel(pa_operation *o)
{
    return forward(&::pa_operation_cancel, Function::pa_operation_cancel, o);
}

void pa_operation_unref(pa_operation *o)
{
    return forward(&::pa_operation_unref, Function::pa_operation_unref, o);
}

const char *pa_proplist_gets(const pa_proplist *p, const char *key)
{
    return forward(&::pa_proplist_gets, Function::pa_proplist_gets, p, key);
}

int pa_sample_spec_valid(const pa_sample_spec *spec)
{
    return forward(&::pa_sample_spec_valid, Function::pa_sample_spec_valid, spec);
}

int pa_stream_begin_write(pa_stream *p, void **data, size_t *nbytes)
{
    return forward(&::pa_stream_begin_write, Function::pa_stream_begin_write, p, data, nbytes);
}

int pa_stream_connect_playback(pa_stream *s, const char *dev, const pa_buffer_attr *attr,
                               pa_stream_flags_t flags, const pa_cvolume *volume,
                               pa_stream *sync_stream)
{
    return forward(&::pa_stream_connect_playback, Function::pa_stream_connect_playback, s, dev,
                   attr, flags, volume, sync_stream);
}

int pa_stream_connect_record(pa_stream *s, const char *dev, const pa_buffer_attr *attr,
                             pa_stream_flags_t flags)
{
    return forward(&::pa_stream_connect_record, Function::pa_stream_connect_record, s, dev, attr,
                   flags);
}

pa_operation *pa_stream_cork(pa_stream *s, int b, pa_stream_success_cb_t cb, void *userdata)
{
    return forward(&::pa_stream_cork, Function::pa_stream_cork, s, b, cb, userdata);
}

int pa_stream_disconnect(pa_stream *s)
{
    return forward(&::pa_stream_disconnect, Function::pa_stream_disconnect, s);
}

int pa_stream_drop(pa_stream *p)
{
    return forward(&::pa_stream_drop, Function::pa_stream_drop, p);
}

pa_operation *pa_stream_flush(pa_stream *s, pa_stream_success_cb_t cb, void *userdata)
{
    return forward(&::pa_stream_flush, Function::pa_stream_flush, s, cb, userdata);
}

uint32_t pa_stream_get_index(const pa_stream *s)
{
    return forward(&::pa_stream_get_index, Function::pa_stream_get_index, s);
}

pa_stream_state_t pa_stream_get_state(const pa_stream *p)
{
    return forward(&::pa_stream_get_state, Function::pa_stream_get_state, p);
}

int pa_stream_get_time(pa_stream *s, pa_usec_t *r_usec)
{
    return forward(&::pa_stream_get_time, Function::pa_stream_get_time, s, r_usec);
}

int pa_stream_is_suspended(const pa_stream *s)
{
    return forward(&::pa_stream_is_suspended, Function::pa_stream_is_suspended, s);
}

pa_stream *pa_stream_new(pa_context *c, const char *name, const pa_sample_spec *ss,
                         const pa_channel_map *map)
{
    return forward(&::pa_stream_new, Function::pa_stream_new, c, name, ss, map);
}

int pa_stream_peek(pa_stream *p, const void **data, size_t *nbytes)
{
    return forward(&::pa_stream_peek, Function::pa_stream_peek, p, data, nbytes);
}

size_t pa_stream_readable_size(const pa_stream *p)
{
    return forward(&::pa_stream_readable_size, Function::pa_stream_readable_size, p);
}

void pa_stream_set_read_callback(pa_stream *p, pa_stream_request_cb_t cb, void *userdata)
{
    return forward(&::pa_stream_set_read_callback, Function::pa_stream_set_read_callback, p, cb,
                   userdata);
}

void pa_stream_set_state_callback(pa_stream *s, pa_stream_notify_cb_t cb, void *userdata)
{
    return forward(&::pa_stream_set_state_callback, Function::pa_stream_set_state_callback, s, cb,
                   userdata);
}

void pa_stream_set_suspended_callback(pa_stream *p, pa_stream_notify_cb_t cb, void *userdata)
{
    return forward(&::pa_stream_set_suspended_callback, Function::pa_stream_set_suspended_callback,
                   p, cb, userdata);
}

void pa_stream_set_write_callback(pa_stream *p, pa_stream_request_cb_t cb, void *userdata)
{
    return forward(&::pa_stream_set_write_callback, Function::pa_stream_set_write_callback, p, cb,
                   userdata);
}

void pa_stream_unref(pa_stream *s)
{
    return forward(&::pa_stream_unref, Function::pa_stream_unref, s);
}

int pa_stream_write(pa_stream *p, const void *data, size_t nbytes, pa_free_cb_t free_cb,
                    int64_t offset, pa_seek_mode_t seek)
{
    return forward(&::pa_stream_write, Function::pa_stream_write, p, data, nbytes, free_cb, offset,
                   seek);
}

const char *pa_strerror(int error)
{
    return forward(&::pa_strerror, Function::pa_strerror, error);
}

void pa_threaded_mainloop_free(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_free, Function::pa_threaded_mainloop_free, m);
}

pa_mainloop_api *pa_threaded_mainloop_get_api(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_get_api, Function::pa_threaded_mainloop_get_api, m);
}

int pa_threaded_mainloop_in_thread(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_in_thread, Function::pa_threaded_mainloop_in_thread, m);
}

void pa_threaded_mainloop_lock(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_lock, Function::pa_threaded_mainloop_lock, m);
}

pa_threaded_mainloop *pa_threaded_mainloop_new()
{
    return forward(&::pa_threaded_mainloop_new, Function::pa_threaded_mainloop_new);
}

void pa_threaded_mainloop_signal(pa_threaded_mainloop *m, int wait_for_accept)
{
    return forward(&::pa_threaded_mainloop_signal, Function::pa_threaded_mainloop_signal, m,
                   wait_for_accept);
}

int pa_threaded_mainloop_start(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_start, Function::pa_threaded_mainloop_start, m);
}

void pa_threaded_mainloop_stop(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_stop, Function::pa_threaded_mainloop_stop, m);
}

void pa_threaded_mainloop_unlock(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_unlock, Function::pa_threaded_mainloop_unlock, m);
}

void pa_threaded_mainloop_wait(pa_threaded_mainloop *m)
{
    return forward(&::pa_threaded_mainloop_wait, Function::pa_threaded_mainloop_wait, m);
}

struct timeval *pa_timeval_add(struct timeval *tv, pa_usec_t v)
{
    return forward(&::pa_timeval_add, Function::pa_timeval_add, tv, v);
}

size_t pa_usec_to_bytes(pa_usec_t t, const pa_sample_spec *spec)
{
    return forward(&::pa_usec_to_bytes, Function::pa_usec_to_bytes, t, spec);
}

} // extern "C"
