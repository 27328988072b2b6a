#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace net {

// The start/stop pair of the sockets library. Linux has nothing to start, but
// the program still reports a library that will not start or stop, so tests
// reach those paths through this interface.
class SocketsLibrary
{
public:
    virtual ~SocketsLibrary() = default;

    // Both return 0 on success, as the originals do.
    virtual int WSAStartup(std::uint16_t version, std::span<std::byte> description) noexcept = 0;
    virtual int WSACleanup() noexcept = 0;
};

class LinuxSocketsLibrary final : public SocketsLibrary
{
public:
    int WSAStartup(std::uint16_t version, std::span<std::byte> description) noexcept override;
    int WSACleanup() noexcept override;
};

} // namespace net
