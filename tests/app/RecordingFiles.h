#pragma once

#include "audio/AudioTypes.h"
#include "common/TestSignals.h"

#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace sonalto::test {

// Writes the samples as a real recording in the format its extension names, any
// letter case: mp3 and ogg through lame and oggenc (at most 9 s), wma through the
// audio layer's writer, wav as plain PCM of any length. False with *error when the
// file could not be written.
bool writeRecording(const QString &path, const std::vector<int16_t> &samples,
                    audio::PcmFormat format, std::string *error);

// A file of the given size that is not audio.
bool writeJunk(const QString &path, qint64 bytes);

} // namespace sonalto::test
