#pragma once

#include <string>

namespace sonalto::audio {

// FFmpeg prints a line for every damaged frame it meets; the program reports
// errors itself, so its log is silenced once before first use.
void quietFfmpegLog();

std::string ffmpegErrorText(int errorCode);

// A path as an FFmpeg URL that is always read as a plain file (a name with a
// colon must not select a protocol).
std::string ffmpegFileUrl(const std::string &path);

} // namespace sonalto::audio
