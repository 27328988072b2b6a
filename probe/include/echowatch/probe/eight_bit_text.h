#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

// Texts reach the network as 8-bit characters. A text that has no such form
// (a character above U+00FF, or a NUL that would silently cut it short) has
// none, rather than a lossy one.
std::optional<std::string> toEightBitText(std::u16string_view text);

// The same into out, which holds at least text.size() characters; false
// where the text has no 8-bit form. Lets a caller keep the text on its stack.
bool writeEightBitText(std::u16string_view text, std::span<char> out) noexcept;
