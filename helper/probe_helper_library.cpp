#include "echowatch/helper/probe_helper_library.h"

#include "echowatch/icmp/ip_status.h"

namespace net {

class ProbeHelperLibrary::Handle final : public IcmpEchoHandle
{
public:
    explicit Handle(ProbeHelperClient &client) noexcept : m_client(client) {}

    EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                     std::chrono::milliseconds timeout) noexcept override
    {
        return m_client.echo(destination, requestData, timeout);
    }

private:
    ProbeHelperClient &m_client;
};

ProbeHelperLibrary::ProbeHelperLibrary(std::string helperPath)
    : m_client(std::move(helperPath)), m_handle(std::make_unique<Handle>(m_client))
{}

ProbeHelperLibrary::~ProbeHelperLibrary() = default;

IcmpHandleOpening ProbeHelperLibrary::IcmpCreateFile() noexcept
{
    return {IcmpHandle(m_handle.get(), IcmpHandleCloser(keepLentHandle)), IpStatus::Success};
}

} // namespace net
