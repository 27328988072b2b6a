#include "echowatch/window/probe_runner.h"

#include "echowatch/window/form1_texts.h"

#include "echowatch/probe/echo_reply.h"

namespace window {

void ProbeCycle::KeptMessage::show(std::string_view text, probe::MessageIcon icon) noexcept
{
    shown = true;
    message = DeferredMessage{text, icon};
}

ProbeCycle::ProbeCycle(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp) noexcept
    : m_module(sockets, icmp, m_kept)
{}

ProbeResult ProbeCycle::run(const ProbeRequest &request) noexcept
{
    ProbeResult result;
    result.sequence = request.sequence;
    if (!m_module.StartSockets())
        return result;
    result.socketsStarted = true;
    EchoReply reply{};
    const std::u16string_view address(QStringView(request.address).utf16(),
                                      static_cast<std::size_t>(request.address.size()));
    result.status = m_module.EchoAddress(address, ProbePayload, reply, result.details);
    result.roundTripTime = static_cast<std::int32_t>(reply.header.roundTripTime);
    result.dataSize = reply.header.dataSize;
    m_kept.shown = false;
    m_module.StopSockets();
    result.cleanupFailed = m_kept.shown;
    result.cleanupWarning = m_kept.message;
    return result;
}

InlineProbeRunner::InlineProbeRunner(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp,
                                     QObject *parent)
    : ProbeRunner(parent), m_cycle(sockets, icmp)
{}

void InlineProbeRunner::start(const ProbeRequest &request)
{
    emit finished(m_cycle.run(request));
}

} // namespace window
