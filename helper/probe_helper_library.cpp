#include "echowatch/helper/probe_helper_library.h"

#include "echowatch/icmp/ip_status.h"

namespace helper {

class ProbeHelperLibrary::Handle final : public net::IcmpEchoHandle
{
public:
    explicit Handle(ProbeHelperClient &client) noexcept : m_client(client) {}

    using net::IcmpEchoHandle::echo;
    net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                          std::chrono::milliseconds timeout, net::TimeToLive ttl) noexcept override
    {
        return m_client.echo(destination, requestData, timeout, ttl);
    }
    net::EchoFlight *flight() noexcept override { return &m_client; }

private:
    ProbeHelperClient &m_client;
};

ProbeHelperLibrary::ProbeHelperLibrary(std::string helperPath)
    : m_client(std::move(helperPath)), m_handle(std::make_unique<Handle>(m_client))
{}

ProbeHelperLibrary::ProbeHelperLibrary(HelperSocket served)
    : m_client(std::move(served)), m_handle(std::make_unique<Handle>(m_client))
{}

ProbeHelperLibrary::~ProbeHelperLibrary() = default;

net::IcmpHandleOpening ProbeHelperLibrary::IcmpCreateFile() noexcept
{
    return {net::IcmpHandle(m_handle.get(), net::IcmpHandleCloser(net::keepLentHandle)),
            icmp::IpStatus::Success};
}

} // namespace helper
