#include "echowatch/probe/module1.h"

#include "echowatch/probe/eight_bit_text.h"

#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/probe/message_box.h"
#include "echowatch/probe/shown_outcome.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace {

// Room on the stack for the texts of an ordinary probe, so that a probe
// allocates nothing; longer ones take the heap.
constexpr std::size_t AddressCapacity = 64;
constexpr std::size_t DataCapacity = 256;

// A text as 8-bit characters, on the stack where it fits.
template <std::size_t Capacity> class StackText
{
public:
    // Whether the text has an 8-bit form. May throw std::bad_alloc for a
    // text longer than Capacity.
    bool assign(std::u16string_view text)
    {
        if (text.size() > Capacity) {
            m_long = toEightBitText(text);
            m_view = m_long ? std::string_view(*m_long) : std::string_view();
            return m_long.has_value();
        }
        if (!writeEightBitText(text, m_short))
            return false;
        m_short[text.size()] = '\0';
        m_view = std::string_view(m_short.data(), text.size());
        return true;
    }

    const char *c_str() const noexcept { return m_view.data(); }
    std::span<const std::byte> bytes() const noexcept { return std::as_bytes(std::span(m_view)); }

private:
    std::array<char, Capacity + 1> m_short{};
    std::optional<std::string> m_long;
    std::string_view m_view;
};

} // namespace

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
    probe::ProbeDetails details;
    return EchoAddress(address, requestData, reply, details);
}

EchoStatus Module1::EchoAddress(std::u16string_view address, std::u16string_view requestData,
                                EchoReply &reply, probe::ProbeDetails &details) noexcept
{
    StackText<AddressCapacity> addressText;
    StackText<DataCapacity> data;
    bool addressConverted = false;
    bool dataConverted = false;
    try {
        addressConverted = addressText.assign(address);
        dataConverted = data.assign(requestData);
    } catch (const std::bad_alloc &) {
        return icmp::IpStatus::NoResources;
    }
    // The all-ones address is also inet_addr's failure value, so
    // 255.255.255.255 is refused with every other text that is no address.
    const in_addr_t destination = addressConverted ? ::inet_addr(addressText.c_str()) : INADDR_NONE;
    if (destination == INADDR_NONE)
        return BadAddressStatus;
    details.destination = destination;
    if (!dataConverted)
        return icmp::IpStatus::BadReq;

    const auto opening = m_icmp.IcmpCreateFile();
    if (!opening.handle)
        return opening.failureStatus;
    net::EchoOutcome outcome;
    opening.handle->IcmpSendEcho(destination, data.bytes(),
                                 std::as_writable_bytes(std::span(&reply, 1)), EchoTimeout,
                                 outcome);
    const auto status = static_cast<EchoStatus>(reply.header.status);
    details = probe::detailsOf(status, outcome, destination);
    return status;
}
