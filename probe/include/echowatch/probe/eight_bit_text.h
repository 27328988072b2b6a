#pragma once

#include <optional>
#include <string>
#include <string_view>

// Texts reach the network as 8-bit characters. A text that has no such form
// (a character above U+00FF, or a NUL that would silently cut it short) has
// none, rather than a lossy one.
std::optional<std::string> toEightBitText(std::u16string_view text);
