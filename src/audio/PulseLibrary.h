#pragma once

#include <string>

namespace sonalto::audio {

// The sound server's client library is opened on first use rather than with
// the program: with what it pulls in (its common part, libsndfile and the
// codecs behind that, X11) it would delay the window by several milliseconds.
// The audio engine is started on a worker while the window is built, so its
// first call loads the library there. Its functions are called as usual.

// Loads it now, on the calling thread. False, with the reason, when it is
// missing.
bool loadPulseLibrary(std::string *error = nullptr);

} // namespace sonalto::audio
