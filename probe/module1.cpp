#include "echowatch/probe/module1.h"

#include "echowatch/probe/eight_bit_text.h"

#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/ip_status.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/message_box.h"

#include <arpa/inet.h>
#include <array>

Module1::Module1(net::SocketsLibrary &sockets, net::IcmpEchoLibrary &icmp,
                 probe::MessageBox &messageBox) noexcept
    : m_sockets(sockets), m_icmp(icmp), m_messageBox(messageBox)
{}

bool Module1::StartSockets() noexcept
{
    std::array<std::byte, SocketsDescriptionSize> description{};
    return m_sockets.WSAStartup(SocketsVersion, description) == 0;
}

void Module1::StopSockets() noexcept
{
    if (m_sockets.WSACleanup() != 0)
        m_messageBox.show(CleanupFailedText, probe::MessageIcon::Exclamation);
}

EchoStatus Module1::EchoAddress(std::u16string_view address, std::u16string_view requestData,
                                EchoReply &reply) noexcept
{
    std::optional<std::string> addressText;
    std::optional<std::string> data;
    try {
        addressText = toEightBitText(address);
        data = toEightBitText(requestData);
    } catch (const std::bad_alloc &) {
        return net::IpStatus::NoResources;
    }
    // The all-ones address is also inet_addr's failure value, so
    // 255.255.255.255 is refused with every other text that is no address.
    const in_addr_t destination = addressText ? ::inet_addr(addressText->c_str()) : INADDR_NONE;
    if (destination == INADDR_NONE)
        return BadAddressStatus;
    if (!data)
        return net::IpStatus::BadReq;

    const auto opening = m_icmp.IcmpCreateFile();
    if (!opening.handle)
        return opening.failureStatus;
    opening.handle->IcmpSendEcho(destination, std::as_bytes(std::span(*data)),
                                 std::as_writable_bytes(std::span(&reply, 1)), EchoTimeout);
    return static_cast<EchoStatus>(reply.header.status);
}
