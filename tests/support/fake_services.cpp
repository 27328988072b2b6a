#include "support/fake_services.h"

#include "echowatch/net/icmp_echo_reply.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace fakes {
namespace {

class Handle final : public net::IcmpEchoHandle
{
public:
    explicit Handle(IcmpEchoLibrary &library) : m_library(library) {}
    ~Handle() override { ++m_library.closed; }

    std::uint32_t IcmpSendEcho(std::uint32_t destination, std::span<const std::byte> requestData,
                               std::span<std::byte> replyBuffer,
                               std::chrono::milliseconds timeout) noexcept override
    {
        m_library.sends.push_back({destination,
                                   std::vector<std::byte>(requestData.begin(), requestData.end()),
                                   replyBuffer.size(), timeout});
        const ScriptedEcho &echo = m_library.echo;
        if (!m_library.writesRecord)
            return 0;
        net::IcmpEchoReply header{};
        header.status = static_cast<std::uint32_t>(echo.status);
        header.roundTripTime = echo.roundTripTime;
        header.dataSize = echo.dataSize;
        std::memcpy(replyBuffer.data(), &header, std::min(sizeof header, replyBuffer.size()));
        return echo.status == 0 ? 1 : 0;
    }

private:
    IcmpEchoLibrary &m_library;
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
