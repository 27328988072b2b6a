#include "echowatch/net/sockets_library.h"

namespace net {

int LinuxSocketsLibrary::WSAStartup(std::uint16_t, std::span<std::byte>) noexcept
{
    return 0;
}

int LinuxSocketsLibrary::WSACleanup() noexcept
{
    return 0;
}

} // namespace net
