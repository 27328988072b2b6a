#include "support/fake_services.h"

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
        if (m_library.script)
            m_library.script(replyBuffer);
        return 0;
    }

private:
    IcmpEchoLibrary &m_library;
};

} // namespace

int SocketsLibrary::WSAStartup(std::uint16_t version, std::span<std::byte> description) noexcept
{
    calls.emplace_back("WSAStartup");
    requestedVersion = version;
    descriptionSeen.assign(description.begin(), description.end());
    return startupResult;
}

int SocketsLibrary::WSACleanup() noexcept
{
    calls.emplace_back("WSACleanup");
    return cleanupResult;
}

void MessageBox::show(std::string_view text, probe::MessageIcon icon) noexcept
{
    shown.push_back({std::string(text), icon});
    if (whileOpen)
        whileOpen();
}

net::IcmpHandleOpening IcmpEchoLibrary::IcmpCreateFile() noexcept
{
    if (openFailure != 0)
        return {nullptr, openFailure};
    ++opened;
    return {std::make_unique<Handle>(*this), 0};
}

} // namespace fakes
