#pragma once

#include "echowatch/probe/echo_reply.h"
#include "echowatch/probe/echo_status.h"
#include "echowatch/probe/probe_details.h"

#include <chrono>
#include <cstdint>
#include <string_view>

namespace net {
class IcmpEchoLibrary;
class SocketsLibrary;
} // namespace net

namespace probe {
class MessageBox;
} // namespace probe

inline constexpr std::uint16_t SocketsVersion = 0x0101;
inline constexpr std::size_t SocketsDescriptionSize = 404;
inline constexpr std::chrono::milliseconds EchoTimeout{500};
inline constexpr std::string_view CleanupFailedText = "Windows Sockets error occurred in Cleanup.";

// The network half of the program: start the sockets library, probe one
// address, stop the library. Holds no state between calls of its own; the
// services it is built on are the caller's and must outlive it.
class Module1
{
public:
    Module1(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp,
            probe::MessageBox &messageBox) noexcept;

    bool StartSockets() noexcept;
    // Warns the user itself when the library does not stop.
    void StopSockets() noexcept;

    // Sends one echo request carrying requestData to the IPv4 address in
    // address (dotted notation, as inet_addr reads it) and waits at most
    // EchoTimeout. The caller zero-fills reply; it is left untouched when
    // nothing is sent. Status 0 is returned only with the reply the echo
    // service reports, never for a record it did not write. Allocates
    // nothing for texts of up to 64 (address) and 256 (data) characters.
    EchoStatus EchoAddress(std::u16string_view address, std::u16string_view requestData,
                           EchoReply &reply) noexcept;
    // The same probe, also telling what the record cannot hold.
    EchoStatus EchoAddress(std::u16string_view address, std::u16string_view requestData,
                           EchoReply &reply, probe::ProbeDetails &details) noexcept;

private:
    net::SocketsLibrary &m_sockets;
    net::IcmpEchoLibrary &m_icmp;
    probe::MessageBox &m_messageBox;
};
