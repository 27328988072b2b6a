#pragma once

#include <cstdint>
#include <string>

namespace net {

// "192.0.2.7": an IPv4 address in network byte order as dotted text, the one
// way every part of the program writes an address.
std::string ipv4Text(std::uint32_t address);

} // namespace net
