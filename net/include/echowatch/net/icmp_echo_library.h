#pragma once

#include "echowatch/net/icmp_socket.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// The echo service: open a handle, send echo requests through it, close it by
// destroying it. The reply lands in the caller's buffer as an IcmpEchoReply
// followed by the echoed data.
namespace net {

class IcmpEchoHandle
{
public:
    virtual ~IcmpEchoHandle() = default;

    // Sends one echo request to destination (network byte order) and waits
    // for its outcome, at most timeout. Returns the number of echo replies
    // received (0 or 1); the outcome itself is the status in the buffer.
    virtual std::uint32_t IcmpSendEcho(std::uint32_t destination,
                                       std::span<const std::byte> requestData,
                                       std::span<std::byte> replyBuffer,
                                       std::chrono::milliseconds timeout) noexcept = 0;
};

// Either a handle, or the status that says why none could be opened.
struct IcmpHandleOpening
{
    std::unique_ptr<IcmpEchoHandle> handle;
    std::int32_t failureStatus;
};

class IcmpEchoLibrary
{
public:
    virtual ~IcmpEchoLibrary() = default;
    virtual IcmpHandleOpening IcmpCreateFile() noexcept = 0;
};

// The real service over Linux ICMP sockets. Handles it opens share its
// sequence counter and must not outlive it.
class LinuxIcmpEchoLibrary final : public IcmpEchoLibrary
{
public:
    explicit LinuxIcmpEchoLibrary(SocketKindChoice choice = SocketKindChoice::Automatic) noexcept;

    IcmpHandleOpening IcmpCreateFile() noexcept override;

private:
    IcmpSocketOpening openSocket() noexcept;

    SocketKindChoice m_choice;
    bool m_rawServed = false;
    std::uint16_t m_identifier;
    std::uint16_t m_nextSequence = 1;
};

} // namespace net
