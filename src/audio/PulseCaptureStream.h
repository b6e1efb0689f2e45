#pragma once

#include "audio/PulseConnection.h"

#include <memory>
#include <string>

namespace sonalto::audio::pulse {

// Opens a capture stream from the source; main loop locked, not on its thread.
// `inputName` names the source in messages.
std::unique_ptr<RawCaptureStream>
openCaptureStream(std::shared_ptr<PulseBackend::Connection> connection, const std::string &sourceId,
                  const std::string &inputName, PcmFormat format, CaptureSink *sink,
                  std::string *error);

} // namespace sonalto::audio::pulse
