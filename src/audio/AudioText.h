#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace sonalto::audio {

class AudioText
{
public:
    // A message of the audio layer in the user's language. `source` is the Chinese
    // text, looked up in the translation context "sonalto::audio::AudioText" (where
    // lupdate finds the AudioText::tr calls); %1 to %9 are then replaced by `args` in
    // one pass, so an argument that holds "%2" stays as it is. Arguments are UTF-8;
    // bytes that are not come out as U+FFFD.
    static std::string tr(const char *source, std::initializer_list<std::string_view> args = {});
};

// What a system error number means, in the user's language.
std::string systemErrorText(int error);

} // namespace sonalto::audio
