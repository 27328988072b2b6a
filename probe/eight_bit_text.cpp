#include "echowatch/probe/eight_bit_text.h"

std::optional<std::string> toEightBitText(std::u16string_view text)
{
    std::string eightBit;
    eightBit.reserve(text.size());
    for (const char16_t character : text) {
        if (character == u'\0' || character > 0xff)
            return std::nullopt;
        eightBit.push_back(static_cast<char>(character));
    }
    return eightBit;
}
