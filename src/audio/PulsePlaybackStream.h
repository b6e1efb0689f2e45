#pragma once

#include "audio/PulseConnection.h"

#include <memory>
#include <string>

namespace sonalto::audio::pulse {

// Opens a stream to the default output; main loop locked, not on its thread.
std::unique_ptr<RawPlaybackStream>
openPlaybackStream(std::shared_ptr<PulseBackend::Connection> connection, PcmFormat format,
                   PlaybackSource *source, std::string *error);

} // namespace sonalto::audio::pulse
