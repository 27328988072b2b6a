#pragma once

#include <cstdint>
#include <optional>

namespace net {

enum class IcmpSocketKind
{
    Datagram, // unprivileged "ping" socket; the kernel owns the identifier
    Raw,      // needs CAP_NET_RAW; sees every ICMP packet on the host
};

struct IcmpSocketOpening;

// An open, non-blocking ICMP socket, set up once for every probe it will
// carry: errors queued (IP_RECVERR), send and receive stamps where the kernel
// allows, TTL and TOS beside each reply of a ping socket, and on a raw socket
// a kernel filter on its identifier. Move-only; closes itself.
class IcmpSocket
{
public:
    // identifier: what a raw socket's requests carry and its filter admits;
    // a ping socket's identifier is the kernel's.
    static IcmpSocketOpening open(IcmpSocketKind kind, std::uint16_t identifier) noexcept;

    IcmpSocket(IcmpSocket &&other) noexcept;
    IcmpSocket &operator=(IcmpSocket &&other) noexcept;
    IcmpSocket(const IcmpSocket &) = delete;
    IcmpSocket &operator=(const IcmpSocket &) = delete;
    ~IcmpSocket();

    int descriptor() const noexcept { return m_descriptor; }
    IcmpSocketKind kind() const noexcept { return m_kind; }
    std::uint16_t identifier() const noexcept { return m_identifier; }
    // Whether the kernel stamps what it sends and receives (kernel_time.h).
    bool timestamped() const noexcept { return m_timestamped; }

    // A raw socket with IP_RECVERR on also queues a copy of every ICMP error
    // on the host, which no kernel filter sees. Once such noise shows, the
    // socket asks for errors only while it sends (to hear of a full queue):
    // turning IP_RECVERR off drops the queued ICMP errors, not send stamps.
    void hearErrorsOnlyWhileSending() noexcept;
    bool hearsErrorsOnlyWhileSending() const noexcept { return m_errorsOnlyWhileSending; }
    bool queueErrors(bool on) noexcept;

    // Wraps a descriptor opened elsewhere (a test's), taking ownership.
    static IcmpSocket adopt(int descriptor, IcmpSocketKind kind, std::uint16_t identifier,
                            bool timestamped) noexcept;

private:
    IcmpSocket(int descriptor, IcmpSocketKind kind, std::uint16_t identifier) noexcept;

    int m_descriptor;
    IcmpSocketKind m_kind;
    std::uint16_t m_identifier;
    bool m_timestamped = false;
    bool m_queuesErrors = true;
    bool m_errorsOnlyWhileSending = false;
};

// Either an open socket, or the status that says why there is none.
struct IcmpSocketOpening
{
    std::optional<IcmpSocket> socket;
    std::int32_t failureStatus;
    int error; // socket()'s errno, or 0
};

} // namespace net
