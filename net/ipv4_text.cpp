#include "echowatch/net/ipv4_text.h"

#include <arpa/inet.h>

namespace net {

std::string ipv4Text(std::uint32_t address)
{
    const in_addr binary{address};
    char text[INET_ADDRSTRLEN] = {};
    // Cannot fail: the buffer holds the longest dotted quad.
    ::inet_ntop(AF_INET, &binary, text, sizeof text);
    return text;
}

} // namespace net
