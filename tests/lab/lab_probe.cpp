#include "lab_probe.h"

#include <string>

namespace lab {

LabProbe::LabProbe(net::SocketKindChoice kind)
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

const char *socketKindName(net::SocketKindChoice kind)
{
    switch (kind) {
    case net::SocketKindChoice::DatagramOnly:
        return "Datagram";
    case net::SocketKindChoice::RawOnly:
        return "Raw";
    case net::SocketKindChoice::Automatic:
        break;
    }
    return "Automatic";
}

} // namespace lab
