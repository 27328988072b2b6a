#pragma once

#include <cstdint>
#include <optional>

namespace net {

enum class IcmpSocketKind
{
    Datagram, // unprivileged "ping" socket; the kernel owns the identifier
    Raw,      // needs CAP_NET_RAW; sees every ICMP packet on the host
};

// Which way to send. Automatic is what the window uses: a ping socket, or
// where those are refused, the privileged probe helper. RawOnly is the
// helper's own way; the others let tests and the lab pin one path.
enum class SocketKindChoice
{
    Automatic,
    DatagramOnly,
    RawOnly,
    HelperOnly,
};

class IcmpSocket;
struct IcmpSocketOpening;

// An open, non-blocking ICMP socket with error reporting and, where the
// kernel allows, send and receive stamps switched on.
// Move-only; closes itself.
class IcmpSocket
{
public:
    static IcmpSocketOpening open(SocketKindChoice choice) noexcept;

    IcmpSocket(IcmpSocket &&other) noexcept;
    IcmpSocket &operator=(IcmpSocket &&other) noexcept;
    IcmpSocket(const IcmpSocket &) = delete;
    IcmpSocket &operator=(const IcmpSocket &) = delete;
    ~IcmpSocket();

    int descriptor() const noexcept { return m_descriptor; }
    IcmpSocketKind kind() const noexcept { return m_kind; }
    // Whether the kernel stamps what it sends and receives (kernel_time.h).
    bool timestamped() const noexcept { return m_timestamped; }

    // Switches IP_RECVERR. A raw socket needs it only while it sends, to
    // hear of a full queue; kept on, it would queue a copy of every ICMP
    // error on the host, which no kernel filter sees. Turning it off drops
    // the queued ICMP errors, not the send stamps.
    bool queueErrors(bool on) noexcept;

private:
    IcmpSocket(int descriptor, IcmpSocketKind kind) noexcept;
    static IcmpSocketOpening openKind(IcmpSocketKind kind, int &socketError) noexcept;

    int m_descriptor;
    IcmpSocketKind m_kind;
    bool m_timestamped = false;
    bool m_queuesErrors = true;
};

// Either an open socket, or the status that says why there is none.
struct IcmpSocketOpening
{
    std::optional<IcmpSocket> socket;
    std::int32_t failureStatus;
    // A ping socket was refused as such (not for want of descriptors), so
    // the probe helper is the way left.
    bool datagramRefused;
};

} // namespace net
