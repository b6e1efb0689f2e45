#pragma once

#include <string>

namespace sonalto::audio {

// The sound server's client library is opened on first use rather than with
// the program: with what it pulls in (its common part, libsndfile and the
// codecs behind that) it takes several milliseconds before the program's first
// line runs, at every start. The audio engine is started on a worker once the
// window has been painted, so its first call loads the library there. Its
// functions are called as usual.
// While it loads, the dynamic loader makes any other thread that opens a
// library (Qt loading a plugin for the window's icons) wait for it.

// Loads it now, on the calling thread. False, with the reason, when it is
// missing.
bool loadPulseLibrary(std::string *error = nullptr);

} // namespace sonalto::audio
