#pragma once

#include "echowatch/helper/probe_helper_library.h"
#include "echowatch/net/icmp_echo_library.h"

#include <memory>
#include <string>

namespace helper {

// The way the window probes: over a ping socket, or where those are refused
// (Debian opens none to users), through the probe helper. Once the helper
// has served, probes go straight to it: asking for a refused ping socket
// would only make the kernel say no again at every probe.
class AutomaticEchoLibrary final : public net::IcmpEchoLibrary
{
public:
    explicit AutomaticEchoLibrary(std::string helperPath);
    // The helper served at a socket rather than started.
    explicit AutomaticEchoLibrary(HelperSocket served);

    net::IcmpHandleOpening IcmpCreateFile() noexcept override;

private:
    net::LinuxIcmpEchoLibrary m_datagram;
    ProbeHelperLibrary m_helper;
    bool m_helperServes = false;
};

// Which way to send. Automatic is the window's; the others let tests, the
// lab and the benchmarks pin one path.
enum class SocketKindChoice
{
    Automatic,
    DatagramOnly,
    RawOnly,
    HelperOnly,
};

// calls reaches the in-process socket paths only.
std::unique_ptr<net::IcmpEchoLibrary> makeEchoLibrary(SocketKindChoice choice,
                                                      const std::string &helperPath,
                                                      net::SocketCalls *calls = nullptr);

} // namespace helper
