#include "echowatch/route/netlink_messages.h"

#include <linux/if.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace route {
namespace {

// Netlink's own words: each message a header, then its body; the body of a
// route or link message a fixed part, then attributes, each a length and
// a type before its value; every piece starts on a 4-byte boundary.
//
//   nlmsghdr: u32 length | u16 type | u16 flags | u32 sequence | u32 port
//   rtattr:   u16 length | u16 type | value ...
constexpr std::size_t Align = 4;

constexpr std::size_t aligned(std::size_t length) noexcept
{
    return (length + Align - 1) & ~(Align - 1);
}

template <typename Value>
Value valueAt(std::span<const std::byte> bytes, std::size_t offset = 0) noexcept
{
    Value value{};
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

template <typename Value> void append(std::vector<std::byte> &bytes, const Value &value)
{
    const auto *raw = reinterpret_cast<const std::byte *>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
    bytes.resize(aligned(bytes.size()));
}

template <typename Value>
void appendAttribute(std::vector<std::byte> &bytes, std::uint16_t type, const Value &value)
{
    append(bytes, rtattr{static_cast<std::uint16_t>(sizeof(rtattr) + sizeof value), type});
    append(bytes, value);
}

std::vector<std::byte> request(std::uint16_t type, std::uint32_t sequence)
{
    std::vector<std::byte> bytes;
    append(bytes, nlmsghdr{0, type, NLM_F_REQUEST, sequence, 0});
    return bytes;
}

void sealLength(std::vector<std::byte> &bytes)
{
    const auto length = static_cast<std::uint32_t>(bytes.size());
    std::memcpy(bytes.data(), &length, sizeof length);
}

struct Message
{
    std::uint16_t type;
    std::uint32_t sequence;
    std::span<const std::byte> body;
};

// Calls take for each message; false where a length cannot be. A
// message's length may leave off its last padding, nothing more.
bool forEachMessage(std::span<const std::byte> datagram,
                    const std::function<void(const Message &)> &take)
{
    while (!datagram.empty()) {
        if (datagram.size() < sizeof(nlmsghdr))
            return false;
        const auto header = valueAt<nlmsghdr>(datagram);
        if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > datagram.size())
            return false;
        take({header.nlmsg_type, header.nlmsg_seq,
              datagram.subspan(sizeof(nlmsghdr), header.nlmsg_len - sizeof(nlmsghdr))});
        datagram = datagram.subspan(std::min(aligned(header.nlmsg_len), datagram.size()));
    }
    return true;
}

// Calls take with each attribute's type and value; false where a length
// cannot be.
bool forEachAttribute(std::span<const std::byte> attributes,
                      const std::function<bool(std::uint16_t, std::span<const std::byte>)> &take)
{
    while (!attributes.empty()) {
        if (attributes.size() < sizeof(rtattr))
            return false;
        const auto attribute = valueAt<rtattr>(attributes);
        if (attribute.rta_len < sizeof(rtattr) || attribute.rta_len > attributes.size())
            return false;
        const auto value = attributes.subspan(sizeof(rtattr), attribute.rta_len - sizeof(rtattr));
        if (!take(attribute.rta_type & NLA_TYPE_MASK, value))
            return false;
        attributes = attributes.subspan(std::min(aligned(attribute.rta_len), attributes.size()));
    }
    return true;
}

// A refusal's errno, as the kernel's route look-up gives it: the same a
// send to that destination would fail with.
RouteKind kindOfRefusal(int error) noexcept
{
    switch (error) {
    case ENETUNREACH:
        return RouteKind::NoRoute;
    case EHOSTUNREACH:
        return RouteKind::Unreachable;
    case EACCES:
        return RouteKind::Prohibited;
    case EINVAL:
        return RouteKind::Blackhole;
    }
    return RouteKind::Unknown;
}

RouteKind kindOfType(std::uint8_t type) noexcept
{
    switch (type) {
    case RTN_UNICAST:
        return RouteKind::OnLink;
    case RTN_LOCAL:
        return RouteKind::Local;
    case RTN_UNREACHABLE:
        return RouteKind::Unreachable;
    case RTN_PROHIBIT:
        return RouteKind::Prohibited;
    case RTN_BLACKHOLE:
        return RouteKind::Blackhole;
    case RTN_THROW:
        return RouteKind::NoRoute;
    }
    return RouteKind::Other;
}

// An NLMSG_ERROR's errno (positive); 0 for an acknowledgement; nullopt
// where its body is too short to hold one.
std::optional<int> errorOf(const Message &message) noexcept
{
    if (message.body.size() < sizeof(std::int32_t))
        return std::nullopt;
    const auto error = valueAt<std::int32_t>(message.body);
    if (error > 0 || error == INT32_MIN)
        return std::nullopt;
    return -error;
}

// Fills facts from an RTM_NEWROUTE's attributes; false for one that
// cannot be.
bool readRoute(std::span<const std::byte> body, RouteFacts &facts)
{
    if (body.size() < sizeof(rtmsg))
        return false;
    const auto header = valueAt<rtmsg>(body);
    if (header.rtm_family != AF_INET)
        return false;
    facts.kind = kindOfType(header.rtm_type);
    bool via = false;
    const bool read =
        forEachAttribute(body.subspan(aligned(sizeof(rtmsg))), [&](std::uint16_t type, auto value) {
            if (type == RTA_OIF || type == RTA_GATEWAY) {
                if (value.size() != sizeof(std::uint32_t))
                    return false;
                if (type == RTA_OIF)
                    facts.outputInterface = valueAt<std::int32_t>(value);
                else
                    facts.gateway = valueAt<std::uint32_t>(value);
            }
            via = via || type == RTA_VIA;
            return true;
        });
    // A gateway of another family (RTA_VIA) is a gateway all the same, if
    // not one an IPv4 echo can ask.
    if (facts.kind == RouteKind::OnLink && (facts.gateway != 0 || via))
        facts.kind = RouteKind::Gateway;
    return read && facts.outputInterface >= 0;
}

// Control characters in a name would reach a person's screen as they are.
std::string printableName(std::span<const std::byte> value)
{
    std::string name;
    for (const std::byte byte : value) {
        const auto character = static_cast<unsigned char>(byte);
        if (character == 0)
            break;
        name += character < 0x20 || character == 0x7f ? '?' : static_cast<char>(character);
    }
    return name;
}

bool readLinkAttribute(std::uint16_t type, std::span<const std::byte> value, LinkFacts &link)
{
    if (type == IFLA_IFNAME) {
        if (value.empty() || value.size() > IFNAMSIZ)
            return false;
        link.name = printableName(value);
        return true;
    }
    if (type == IFLA_OPERSTATE) {
        if (value.size() != 1)
            return false;
        const auto state = static_cast<std::uint8_t>(value[0]);
        link.operState = state <= static_cast<std::uint8_t>(OperState::Up)
                             ? static_cast<OperState>(state)
                             : OperState::Unknown;
    }
    return true;
}

std::optional<LinkFacts> readLink(std::span<const std::byte> body, int interfaceIndex)
{
    if (body.size() < sizeof(ifinfomsg))
        return std::nullopt;
    const auto header = valueAt<ifinfomsg>(body);
    if (header.ifi_index != interfaceIndex)
        return std::nullopt;
    LinkFacts link;
    link.index = header.ifi_index;
    link.adminUp = (header.ifi_flags & IFF_UP) != 0;
    link.carrier = (header.ifi_flags & IFF_LOWER_UP) != 0;
    const bool read = forEachAttribute(
        body.subspan(aligned(sizeof(ifinfomsg))),
        [&link](std::uint16_t type, auto value) { return readLinkAttribute(type, value, link); });
    if (!read)
        return std::nullopt;
    return link;
}

// The answer to the request numbered sequence, in a datagram that may
// hold others too: the kernel's refusal (its errno to refused) or a
// message of answerType (its body to answered, false where it cannot be).
Reading readAnswer(std::span<const std::byte> datagram, std::uint32_t sequence,
                   std::uint16_t answerType, const std::function<void(int)> &refused,
                   const std::function<bool(std::span<const std::byte>)> &answered)
{
    Reading reading = Reading::NotYet;
    bool sound = true;
    const bool walked = forEachMessage(datagram, [&](const Message &message) {
        if (message.sequence != sequence || reading == Reading::Done)
            return;
        if (message.type == NLMSG_ERROR) {
            const auto error = errorOf(message);
            sound = sound && error.has_value();
            // 0 acknowledges, which nothing here asks for.
            if (error.value_or(0) == 0)
                return;
            refused(*error);
            reading = Reading::Done;
        } else if (message.type == answerType) {
            sound = sound && answered(message.body);
            reading = Reading::Done;
        }
    });
    return walked && sound ? reading : Reading::Malformed;
}

} // namespace

std::vector<std::byte> routeRequest(std::uint32_t destination, std::uint32_t sequence)
{
    std::vector<std::byte> bytes = request(RTM_GETROUTE, sequence);
    rtmsg body{};
    body.rtm_family = AF_INET;
    body.rtm_dst_len = 32;
    append(bytes, body);
    appendAttribute(bytes, RTA_DST, destination);
    sealLength(bytes);
    return bytes;
}

std::vector<std::byte> linkRequest(int interfaceIndex, std::uint32_t sequence)
{
    std::vector<std::byte> bytes = request(RTM_GETLINK, sequence);
    ifinfomsg body{};
    body.ifi_family = AF_UNSPEC;
    body.ifi_index = interfaceIndex;
    append(bytes, body);
    appendAttribute(bytes, IFLA_EXT_MASK, std::uint32_t{RTEXT_FILTER_SKIP_STATS});
    sealLength(bytes);
    return bytes;
}

RouteReading readRouteReply(std::span<const std::byte> datagram, std::uint32_t sequence)
{
    RouteReading result;
    result.reading = readAnswer(
        datagram, sequence, RTM_NEWROUTE,
        [&result](int error) {
            result.facts.kind = kindOfRefusal(error);
            result.facts.error = result.facts.kind == RouteKind::Unknown ? error : 0;
        },
        [&result](std::span<const std::byte> body) { return readRoute(body, result.facts); });
    if (result.reading == Reading::Malformed)
        result.facts = {};
    return result;
}

LinkReading readLinkReply(std::span<const std::byte> datagram, std::uint32_t sequence,
                          int interfaceIndex)
{
    LinkReading result;
    result.reading = readAnswer(
        datagram, sequence, RTM_NEWLINK, [&result](int error) { result.error = error; },
        [&](std::span<const std::byte> body) {
            result.link = readLink(body, interfaceIndex);
            return result.link.has_value();
        });
    if (result.reading == Reading::Malformed)
        result = {Reading::Malformed, std::nullopt, 0};
    return result;
}

} // namespace route
