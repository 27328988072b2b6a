#include "support/fake_services.h"

#include <algorithm>
#include <memory>

namespace fakes {
namespace {

class Handle final : public net::IcmpEchoHandle
{
public:
    explicit Handle(IcmpEchoLibrary &library) : m_library(library) {}
    ~Handle() override { ++m_library.closed; }

    std::uint32_t IcmpSendEcho(std::uint32_t destination, std::span<const std::byte> requestData,
                               std::span<std::byte> replyBuffer, std::chrono::milliseconds timeout,
                               net::EchoOutcome &outcome) noexcept override
    {
        m_replySize = replyBuffer.size();
        return net::IcmpEchoHandle::IcmpSendEcho(destination, requestData, replyBuffer, timeout,
                                                 outcome);
    }

    using net::IcmpEchoHandle::echo;
    net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> requestData,
                          std::chrono::milliseconds timeout, net::TimeToLive ttl) noexcept override
    {
        m_library.sends.push_back({destination,
                                   std::vector<std::byte>(requestData.begin(), requestData.end()),
                                   m_replySize, timeout, ttl});
        if (m_library.outcome)
            return *m_library.outcome;
        const ScriptedEcho &echo = m_library.echo;
        net::EchoOutcome outcome;
        outcome.status = echo.status;
        outcome.roundTrip = std::chrono::milliseconds(echo.roundTripTime);
        m_data.assign(echo.dataSize, std::byte{'x'});
        outcome.data = m_data;
        return outcome;
    }

private:
    IcmpEchoLibrary &m_library;
    std::size_t m_replySize = 0;
    std::vector<std::byte> m_data;
};

} // namespace

int SocketsLibrary::WSAStartup(std::uint16_t version, std::span<std::byte> description) noexcept
{
    ++starts;
    requestedVersion = version;
    descriptionSeen.assign(description.begin(), description.end());
    return startupResult;
}

int SocketsLibrary::WSACleanup() noexcept
{
    ++cleanups;
    return cleanupResult;
}

void MessageBox::show(std::string_view text, probe::MessageIcon icon) noexcept
{
    shown.push_back({std::string(text), icon});
    deepestNesting = std::max(deepestNesting, ++m_open);
    if (whileOpen)
        whileOpen();
    --m_open;
}

net::IcmpHandleOpening IcmpEchoLibrary::IcmpCreateFile() noexcept
{
    if (openFailure != 0)
        return {nullptr, openFailure};
    ++opened;
    return {std::make_unique<Handle>(*this), 0};
}

} // namespace fakes
