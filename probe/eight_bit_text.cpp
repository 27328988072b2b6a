#include "echowatch/probe/eight_bit_text.h"

bool writeEightBitText(std::u16string_view text, std::span<char> out) noexcept
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\0' || text[i] > 0xff)
            return false;
        out[i] = static_cast<char>(text[i]);
    }
    return true;
}

std::optional<std::string> toEightBitText(std::u16string_view text)
{
    std::string eightBit(text.size(), '\0');
    if (!writeEightBitText(text, eightBit))
        return std::nullopt;
    return eightBit;
}
