#pragma once

#include "echowatch/net/echo_flight.h"
#include "echowatch/net/echo_outcome.h"
#include "echowatch/net/icmp_socket.h"
#include "echowatch/net/socket_calls.h"
#include "echowatch/net/time_to_live.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

// The echo service: open a handle, send echo requests through it, close it by
// letting go of it. The reply lands in the caller's buffer as an IcmpEchoReply
// followed by the echoed data.
namespace net {

class IcmpEchoHandle
{
public:
    virtual ~IcmpEchoHandle() = default;

    // Sends one echo request to destination (network byte order) and waits
    // for its outcome, at most timeout. A request limited to ttl hops that
    // runs out on the way is answered by the router that dropped it
    // (TtlExpiredTransit, that router the responder).
    virtual EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                             std::chrono::milliseconds timeout, TimeToLive ttl) noexcept = 0;
    // Requests in flight several at a time, where the service can keep them
    // so (none where it serves one at a time: SequentialFlight then does).
    // Not to be mixed with echo() while requests are in flight: a single
    // probe clears what earlier requests left before it sends.
    virtual EchoFlight *flight() noexcept { return nullptr; }

    // The same with the system's default TTL, as the window probes.
    EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                     std::chrono::milliseconds timeout) noexcept
    {
        return echo(destination, requestData, timeout, SystemTtl);
    }

    // The same probe, told as the platform tells it: returns the number of
    // echo replies received, 1 with status 0 in the record, or 0 with a
    // failure status in it. Whenever the buffer can hold the record, a record
    // is written, whatever happens; a buffer too small for one is left
    // untouched, nothing is sent, and 0 is returned. outcome, where given,
    // receives the typed outcome the record was written from.
    std::uint32_t IcmpSendEcho(std::uint32_t destination, std::span<const std::byte> requestData,
                               std::span<std::byte> replyBuffer,
                               std::chrono::milliseconds timeout) noexcept;
    // Virtual only so that a test can see what it was asked; the record is
    // always written by this base, from echo()'s outcome.
    virtual std::uint32_t IcmpSendEcho(std::uint32_t destination,
                                       std::span<const std::byte> requestData,
                                       std::span<std::byte> replyBuffer,
                                       std::chrono::milliseconds timeout,
                                       EchoOutcome &outcome) noexcept;
};

// Closes a handle when its holder lets go of it: destroys it, or hands back
// one that its library lends out for probe after probe.
class IcmpHandleCloser
{
public:
    using HandBack = void (*)(IcmpEchoHandle &handle) noexcept;

    IcmpHandleCloser() noexcept = default;
    explicit IcmpHandleCloser(HandBack handBack) noexcept : m_handBack(handBack) {}
    // A handle made for its holder alone is destroyed, as std::unique_ptr
    // would, so one can be handed over as any std::unique_ptr of its type.
    template <typename Handle> IcmpHandleCloser(std::default_delete<Handle>) noexcept {}

    void operator()(IcmpEchoHandle *handle) const noexcept
    {
        if (m_handBack != nullptr)
            m_handBack(*handle);
        else
            delete handle;
    }

private:
    HandBack m_handBack = nullptr;
};

using IcmpHandle = std::unique_ptr<IcmpEchoHandle, IcmpHandleCloser>;

// Hands a lent handle back without destroying it.
void keepLentHandle(IcmpEchoHandle &handle) noexcept;

// Either a handle, or the status that says why none could be opened.
struct IcmpHandleOpening
{
    IcmpHandle handle;
    std::int32_t failureStatus;
    // A ping socket was refused as such (not for want of descriptors), so a
    // privileged helper is the way left.
    bool socketRefused = false;
};

class IcmpEchoLibrary
{
public:
    virtual ~IcmpEchoLibrary() = default;
    virtual IcmpHandleOpening IcmpCreateFile() noexcept = 0;
};

class IcmpEchoFlight;
class LinuxIcmpEchoHandle;

// The real service over one Linux ICMP socket of one kind, which it opens at
// the first probe, keeps for its life with its options set once, and opens
// again after a fatal error. Every handle it opens is the same light object
// over that socket, lent out and handed back, so opening one allocates and
// costs nothing; it is not for use from two threads at once.
class LinuxIcmpEchoLibrary final : public IcmpEchoLibrary
{
public:
    // calls: the system calls the wait for an answer makes; the real ones
    // when null.
    explicit LinuxIcmpEchoLibrary(IcmpSocketKind kind, SocketCalls *calls = nullptr);
    // Serves over a socket opened already, which is never opened again: the
    // probe helper opens its socket before it gives up the right to.
    LinuxIcmpEchoLibrary(IcmpSocket socket, SocketCalls *calls = nullptr);
    ~LinuxIcmpEchoLibrary() override;
    LinuxIcmpEchoLibrary(const LinuxIcmpEchoLibrary &) = delete;
    LinuxIcmpEchoLibrary &operator=(const LinuxIcmpEchoLibrary &) = delete;

    IcmpHandleOpening IcmpCreateFile() noexcept override;

    // Whether the kept socket is open (it closes after a fatal error).
    bool hasSocket() const noexcept;
    // The requests in flight on the kept socket, for a server that waits on
    // it beside other descriptors.
    IcmpEchoFlight &flight() noexcept;

private:
    IcmpSocketKind m_kind;
    bool m_reopens;
    std::uint16_t m_nextSequence;
    SocketCalls m_systemCalls;
    std::unique_ptr<LinuxIcmpEchoHandle> m_handle;
};

// Raw sockets share the identifier space with every other pinger on the
// host; a random start keeps two instances of this program apart.
std::uint16_t randomIdentifier() noexcept;

} // namespace net
