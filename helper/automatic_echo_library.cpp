#include "echowatch/helper/automatic_echo_library.h"

namespace helper {

AutomaticEchoLibrary::AutomaticEchoLibrary(std::string helperPath)
    : m_datagram(net::IcmpSocketKind::Datagram), m_helper(std::move(helperPath))
{}

AutomaticEchoLibrary::AutomaticEchoLibrary(HelperSocket served)
    : m_datagram(net::IcmpSocketKind::Datagram), m_helper(std::move(served))
{}

net::IcmpHandleOpening AutomaticEchoLibrary::IcmpCreateFile() noexcept
{
    if (m_helperServes)
        return m_helper.IcmpCreateFile();
    auto opening = m_datagram.IcmpCreateFile();
    if (opening.handle || !opening.socketRefused)
        return opening;
    m_helperServes = true;
    return m_helper.IcmpCreateFile();
}

std::unique_ptr<net::IcmpEchoLibrary>
makeEchoLibrary(SocketKindChoice choice, const std::string &helperPath, net::SocketCalls *calls)
{
    switch (choice) {
    case SocketKindChoice::DatagramOnly:
        return std::make_unique<net::LinuxIcmpEchoLibrary>(net::IcmpSocketKind::Datagram, calls);
    case SocketKindChoice::RawOnly:
        return std::make_unique<net::LinuxIcmpEchoLibrary>(net::IcmpSocketKind::Raw, calls);
    case SocketKindChoice::HelperOnly:
        return std::make_unique<ProbeHelperLibrary>(helperPath);
    case SocketKindChoice::Automatic:
        break;
    }
    return std::make_unique<AutomaticEchoLibrary>(helperPath);
}

} // namespace helper
