#pragma once

#include <optional>
#include <string>

namespace sonalto::audio {

// How long an audio file plays.
struct MediaLength
{
    double seconds = 0;
    // The container's own timing could not be trusted (a header that
    // contradicts the file, chained OGG whose time starts again with every
    // part): the length was measured by reading what decodes, and positions in
    // the file are to be found the same way (AudioFileDecoder::setSeekByDecoding).
    bool measured = false;
};

// Where the container states a length that agrees with the file (WAV, MP3 with
// an intact LAME tag, OGG of one stream, WMA), that length, at a fraction of a
// millisecond. Otherwise what decodes, read in at most about two seconds
// (beyond them the rest is estimated from its size). nullopt when the file
// cannot be opened as audio or nothing in it decodes. Reads the file: never on
// the GUI thread.
std::optional<MediaLength> probeMediaLength(const std::string &path);

} // namespace sonalto::audio
