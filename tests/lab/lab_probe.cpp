#include "lab_probe.h"

#include <string>

namespace lab {

LabProbe::LabProbe(platform::SocketKindChoice kind)
    : m_icmp(kind), m_module(m_sockets, m_icmp, m_messageBox)
{}

ProbeOutcome LabProbe::echo(std::string_view address)
{
    const std::u16string text(address.begin(), address.end());
    ProbeOutcome outcome{};
    const auto start = std::chrono::steady_clock::now();
    outcome.status = m_module.EchoAddress(text, RequestData, outcome.reply);
    outcome.took = std::chrono::steady_clock::now() - start;
    return outcome;
}

const char *socketKindName(platform::SocketKindChoice kind)
{
    switch (kind) {
    case platform::SocketKindChoice::DatagramOnly:
        return "Datagram";
    case platform::SocketKindChoice::RawOnly:
        return "Raw";
    case platform::SocketKindChoice::Automatic:
        break;
    }
    return "Automatic";
}

} // namespace lab
