#pragma once

#include <cstdint>

namespace khook {

// The X keysym of a Windows virtual-key code (US key positions), 0 when the key
// has no X counterpart. Letters give their lower-case keysym.
uint32_t keysymForVirtualKey(uint8_t virtualKey);

} // namespace khook
