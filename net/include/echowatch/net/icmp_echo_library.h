#pragma once

#include "echowatch/net/icmp_socket.h"
#include "echowatch/net/probe_helper_client.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

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
// sequence counter and its helper, and must not outlive it.
class LinuxIcmpEchoLibrary final : public IcmpEchoLibrary
{
public:
    // helperPath: the privileged probe helper, used where ping sockets are
    // refused; with none, such probes fail as a general failure.
    explicit LinuxIcmpEchoLibrary(SocketKindChoice choice = SocketKindChoice::Automatic,
                                  std::string helperPath = {});

    IcmpHandleOpening IcmpCreateFile() noexcept override;

private:
    IcmpHandleOpening openHelperHandle() noexcept;

    SocketKindChoice m_choice;
    bool m_helperServed = false;
    std::uint16_t m_identifier;
    std::uint16_t m_nextSequence = 1;
    ProbeHelperClient m_helper;
};

} // namespace net
