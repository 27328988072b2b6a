#include "echowatch/helper/automatic_echo_library.h"

namespace net {

AutomaticEchoLibrary::AutomaticEchoLibrary(std::string helperPath)
    : m_datagram(IcmpSocketKind::Datagram), m_helper(std::move(helperPath))
{}

IcmpHandleOpening AutomaticEchoLibrary::IcmpCreateFile() noexcept
{
    if (m_helperServes)
        return m_helper.IcmpCreateFile();
    auto opening = m_datagram.IcmpCreateFile();
    if (opening.handle || !opening.socketRefused)
        return opening;
    m_helperServes = true;
    return m_helper.IcmpCreateFile();
}

std::unique_ptr<IcmpEchoLibrary> makeEchoLibrary(SocketKindChoice choice,
                                                 const std::string &helperPath, SocketCalls *calls)
{
    switch (choice) {
    case SocketKindChoice::DatagramOnly:
        return std::make_unique<LinuxIcmpEchoLibrary>(IcmpSocketKind::Datagram, calls);
    case SocketKindChoice::RawOnly:
        return std::make_unique<LinuxIcmpEchoLibrary>(IcmpSocketKind::Raw, calls);
    case SocketKindChoice::HelperOnly:
        return std::make_unique<ProbeHelperLibrary>(helperPath);
    case SocketKindChoice::Automatic:
        break;
    }
    return std::make_unique<AutomaticEchoLibrary>(helperPath);
}

} // namespace net
