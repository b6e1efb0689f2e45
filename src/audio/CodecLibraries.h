#pragma once

#include <string>

namespace sonalto::audio {

// FFmpeg and libsndfile are opened on first use rather than with the program:
// together with what they pull in they are well over a hundred libraries, which
// would double the time until the window appears. Their functions are called as
// usual; the first call of one library's functions loads it.

// Loads them all now, on the calling thread (a worker, right after start-up, so
// that the first real use does not wait). False, with the reason, when one of
// them is missing.
bool loadCodecLibraries(std::string *error = nullptr);

} // namespace sonalto::audio
