// The rtnetlink answers the kernel's view is read from: answers captured
// from a real kernel in a namespace (fixtures/*.hex), then the same cut
// short, grown, and made of lengths and fields that cannot be.
#include "echowatch/route/netlink_messages.h"
#include "support/packet_builder.h"

#include <linux/if.h>
#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using Bytes = std::vector<std::byte>;
using route::Reading;
using route::RouteKind;

// The sequences the captured requests had.
constexpr std::uint32_t RouteSequence = 7;
constexpr std::uint32_t LinkSequence = 8;
// The captured link's index.
constexpr int CapturedIndex = 3;

Bytes fixture(const std::string &name)
{
    std::ifstream file(std::string(ROUTE_FIXTURES) + "/" + name + ".hex");
    Bytes bytes;
    std::string line;
    while (std::getline(file, line)) {
        for (std::size_t at = 0; at + 1 < line.size(); at += 2)
            bytes.push_back(static_cast<std::byte>(std::stoi(line.substr(at, 2), nullptr, 16)));
    }
    return bytes;
}

template <typename Value> void put(Bytes &bytes, std::size_t offset, const Value &value)
{
    std::memcpy(bytes.data() + offset, &value, sizeof value);
}

template <typename Value> void append(Bytes &bytes, const Value &value)
{
    const auto *raw = reinterpret_cast<const std::byte *>(&value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
}

// One message around a body, its length set.
Bytes message(std::uint16_t type, std::uint32_t sequence, const Bytes &body)
{
    Bytes bytes;
    append(bytes, nlmsghdr{static_cast<std::uint32_t>(sizeof(nlmsghdr) + body.size()), type, 0,
                           sequence, 0});
    bytes.insert(bytes.end(), body.begin(), body.end());
    return bytes;
}

void appendAttribute(Bytes &body, std::uint16_t type, const Bytes &value,
                     std::optional<std::uint16_t> statedLength = std::nullopt)
{
    append(body, rtattr{statedLength.value_or(static_cast<std::uint16_t>(4 + value.size())), type});
    body.insert(body.end(), value.begin(), value.end());
    body.resize((body.size() + 3) & ~std::size_t{3});
}

template <typename Value> Bytes bytesOf(const Value &value)
{
    Bytes bytes;
    append(bytes, value);
    return bytes;
}

Bytes routeBody(std::uint8_t family = AF_INET, std::uint8_t type = RTN_UNICAST)
{
    rtmsg header{};
    header.rtm_family = family;
    header.rtm_dst_len = 32;
    header.rtm_type = type;
    return bytesOf(header);
}

Bytes errorBody(std::int32_t error)
{
    Bytes body = bytesOf(error);
    append(body, nlmsghdr{});
    return body;
}

Bytes linkBody(int index, unsigned flags)
{
    ifinfomsg header{};
    header.ifi_index = index;
    header.ifi_flags = flags;
    return bytesOf(header);
}

Bytes text(const char *characters, std::size_t length)
{
    const auto *raw = reinterpret_cast<const std::byte *>(characters);
    return Bytes(raw, raw + length);
}

// --- Captured answers ----------------------------------------------------

struct CapturedRoute
{
    const char *file;
    RouteKind kind;
    const char *gateway; // nullptr: none
    int outputInterface;
};

class RealRouteAnswer : public testing::TestWithParam<CapturedRoute>
{};

TEST_P(RealRouteAnswer, ReadsAsTheKernelMeantIt)
{
    const CapturedRoute &row = GetParam();
    const Bytes answer = fixture(row.file);
    ASSERT_FALSE(answer.empty()) << row.file;
    const route::RouteReading read = route::readRouteReply(answer, RouteSequence);
    ASSERT_EQ(read.reading, Reading::Done);
    EXPECT_EQ(read.facts.kind, row.kind);
    EXPECT_EQ(read.facts.gateway, row.gateway ? testpackets::address(row.gateway) : 0u);
    EXPECT_EQ(read.facts.outputInterface, row.outputInterface);
    EXPECT_EQ(read.facts.error, 0);
    // An answer to some other request is read past.
    EXPECT_EQ(route::readRouteReply(answer, RouteSequence + 1).reading, Reading::NotYet);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealRouteAnswer,
    testing::Values(CapturedRoute{"route-gateway", RouteKind::Gateway, "192.0.2.1", 3},
                    CapturedRoute{"route-on-link", RouteKind::OnLink, nullptr, 3},
                    CapturedRoute{"route-local", RouteKind::Local, nullptr, 1},
                    CapturedRoute{"route-none", RouteKind::NoRoute, nullptr, 0},
                    CapturedRoute{"route-unreachable", RouteKind::Unreachable, nullptr, 0},
                    CapturedRoute{"route-prohibit", RouteKind::Prohibited, nullptr, 0},
                    CapturedRoute{"route-blackhole", RouteKind::Blackhole, nullptr, 0}),
    [](const auto &info) {
        std::string name = info.param.file;
        std::erase(name, '-');
        return name;
    });

struct CapturedLink
{
    const char *file;
    bool adminUp;
    bool carrier;
    route::OperState state;
    route::LinkTrouble trouble;
};

class RealLinkAnswer : public testing::TestWithParam<CapturedLink>
{};

TEST_P(RealLinkAnswer, ReadsAsTheKernelMeantIt)
{
    const CapturedLink &row = GetParam();
    const route::LinkReading read =
        route::readLinkReply(fixture(row.file), LinkSequence, CapturedIndex);
    ASSERT_EQ(read.reading, Reading::Done);
    ASSERT_TRUE(read.link.has_value());
    EXPECT_EQ(read.link->index, CapturedIndex);
    EXPECT_EQ(read.link->name, "c0");
    EXPECT_EQ(read.link->adminUp, row.adminUp);
    EXPECT_EQ(read.link->carrier, row.carrier);
    EXPECT_EQ(read.link->operState, row.state);
    EXPECT_EQ(route::linkTrouble(*read.link), row.trouble);
}

using route::LinkTrouble;
using route::OperState;
INSTANTIATE_TEST_SUITE_P(
    Fixtures, RealLinkAnswer,
    testing::Values(CapturedLink{"link-up", true, true, OperState::Up, LinkTrouble::None},
                    // Its veth peer down: the cable pulled out.
                    CapturedLink{"link-no-carrier", true, false, OperState::LowerLayerDown,
                                 LinkTrouble::NoCarrier},
                    CapturedLink{"link-down", false, false, OperState::Down,
                                 LinkTrouble::SwitchedOff}),
    [](const auto &info) {
        std::string name = info.param.file;
        std::erase(name, '-');
        return name;
    });

TEST(RealLinkAnswer, AMissingInterfaceIsTheKernelsRefusal)
{
    const route::LinkReading read = route::readLinkReply(fixture("link-missing"), LinkSequence, 99);
    EXPECT_EQ(read.reading, Reading::Done);
    EXPECT_FALSE(read.link.has_value());
    EXPECT_EQ(read.error, ENODEV);
}

// --- Cut short -----------------------------------------------------------

// Every length short of the whole: nothing is read from a part.
TEST(CutShort, NoPartOfAnAnswerIsRead)
{
    for (const char *file : {"route-gateway", "route-none", "link-up"}) {
        const Bytes whole = fixture(file);
        for (std::size_t length = 1; length < whole.size(); ++length) {
            const std::span<const std::byte> part(whole.data(), length);
            EXPECT_EQ(route::readRouteReply(part, RouteSequence).reading, Reading::Malformed)
                << file << " cut to " << length;
            EXPECT_EQ(route::readLinkReply(part, LinkSequence, CapturedIndex).reading,
                      Reading::Malformed)
                << file << " cut to " << length;
        }
        EXPECT_EQ(route::readRouteReply({}, RouteSequence).reading, Reading::NotYet);
    }
}

// --- Lengths and fields that cannot be -------------------------------------

struct Hostile
{
    const char *name;
    Bytes datagram;
    Reading reading;
};

Bytes gatewayRoute(const Bytes &gateway, std::optional<std::uint16_t> statedLength = {})
{
    Bytes body = routeBody();
    appendAttribute(body, RTA_OIF, bytesOf(std::int32_t{3}));
    appendAttribute(body, RTA_GATEWAY, gateway, statedLength);
    return message(RTM_NEWROUTE, RouteSequence, body);
}

Bytes withLength(Bytes bytes, std::uint32_t length)
{
    put(bytes, 0, length);
    return bytes;
}

Bytes twoMessages(const Bytes &first, const Bytes &second)
{
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    return both;
}

const Bytes Gateway = bytesOf(testpackets::address("192.0.2.1"));
const Bytes SoundRoute = gatewayRoute(Gateway);

class HostileRouteAnswer : public testing::TestWithParam<Hostile>
{};

TEST_P(HostileRouteAnswer, IsNeverReadAsARoute)
{
    const Hostile &row = GetParam();
    const route::RouteReading read = route::readRouteReply(row.datagram, RouteSequence);
    EXPECT_EQ(read.reading, row.reading);
    if (read.reading != Reading::Done) {
        EXPECT_EQ(read.facts, route::RouteFacts{});
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileRouteAnswer,
    testing::Values(
        Hostile{"soundForComparison", SoundRoute, Reading::Done},
        Hostile{"lengthBelowTheHeader", withLength(SoundRoute, 8), Reading::Malformed},
        Hostile{"lengthPastTheDatagram", withLength(SoundRoute, 4096), Reading::Malformed},
        Hostile{"zeroLength", withLength(SoundRoute, 0), Reading::Malformed},
        Hostile{"attributeShorterThanItsHeader", gatewayRoute(Gateway, 2), Reading::Malformed},
        Hostile{"attributePastTheMessage", gatewayRoute(Gateway, 200), Reading::Malformed},
        Hostile{"gatewayOfSixteenBytes", gatewayRoute(Bytes(16)), Reading::Malformed},
        Hostile{"gatewayOfTwoBytes", gatewayRoute(Bytes(2)), Reading::Malformed},
        Hostile{"anotherFamily", message(RTM_NEWROUTE, RouteSequence, routeBody(AF_INET6)),
                Reading::Malformed},
        Hostile{"bodyShorterThanARouteHeader", message(RTM_NEWROUTE, RouteSequence, Bytes(6)),
                Reading::Malformed},
        Hostile{"errorWithoutItsNumber", message(NLMSG_ERROR, RouteSequence, Bytes(2)),
                Reading::Malformed},
        Hostile{"errorOfPositiveNumber", message(NLMSG_ERROR, RouteSequence, errorBody(5)),
                Reading::Malformed},
        Hostile{"errorOfTheLeastNumber", message(NLMSG_ERROR, RouteSequence, errorBody(INT32_MIN)),
                Reading::Malformed},
        // An acknowledgement answers nothing asked here.
        Hostile{"acknowledgement", message(NLMSG_ERROR, RouteSequence, errorBody(0)),
                Reading::NotYet},
        Hostile{"trailingBytes", twoMessages(SoundRoute, Bytes(3)), Reading::Malformed},
        Hostile{"staleAnswerFirst",
                twoMessages(message(NLMSG_ERROR, RouteSequence - 1, errorBody(-ENETUNREACH)),
                            SoundRoute),
                Reading::Done}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(RouteAnswer, TheFirstAnswerCountsAndTheRestAreReadPast)
{
    const Bytes stale = message(NLMSG_ERROR, RouteSequence - 1, errorBody(-ENETUNREACH));
    const route::RouteReading read = route::readRouteReply(
        twoMessages(twoMessages(stale, SoundRoute),
                    message(NLMSG_ERROR, RouteSequence, errorBody(-EHOSTUNREACH))),
        RouteSequence);
    ASSERT_EQ(read.reading, Reading::Done);
    EXPECT_EQ(read.facts.kind, RouteKind::Gateway);
    EXPECT_EQ(read.facts.gateway, testpackets::address("192.0.2.1"));
    EXPECT_EQ(read.facts.outputInterface, 3);
}

// A refusal the look-up has no kind for keeps its errno.
TEST(RouteAnswer, AnUnexpectedRefusalIsUnknownWithItsErrno)
{
    const route::RouteReading read = route::readRouteReply(
        message(NLMSG_ERROR, RouteSequence, errorBody(-ENOMEM)), RouteSequence);
    ASSERT_EQ(read.reading, Reading::Done);
    EXPECT_EQ(read.facts.kind, RouteKind::Unknown);
    EXPECT_EQ(read.facts.error, ENOMEM);
}

// A route of a type that is no way to one host.
TEST(RouteAnswer, BroadcastAndMulticastAreNoWayToAHost)
{
    for (const std::uint8_t type : {RTN_BROADCAST, RTN_MULTICAST, RTN_ANYCAST}) {
        const route::RouteReading read = route::readRouteReply(
            message(RTM_NEWROUTE, RouteSequence, routeBody(AF_INET, type)), RouteSequence);
        ASSERT_EQ(read.reading, Reading::Done);
        EXPECT_EQ(read.facts.kind, RouteKind::Other) << int(type);
    }
}

Bytes linkAnswer(const Bytes &attributes, int index = CapturedIndex,
                 unsigned flags = IFF_UP | IFF_LOWER_UP)
{
    Bytes body = linkBody(index, flags);
    body.insert(body.end(), attributes.begin(), attributes.end());
    return message(RTM_NEWLINK, LinkSequence, body);
}

Bytes attribute(std::uint16_t type, const Bytes &value)
{
    Bytes bytes;
    appendAttribute(bytes, type, value);
    return bytes;
}

TEST(LinkAnswer, ANameIsCutAtItsEndAndMadePrintable)
{
    const struct
    {
        Bytes name;
        std::optional<std::string> read; // nullopt: malformed
    } rows[] = {
        {text("eth0\0", 5), "eth0"},
        // Sixteen bytes without an end: all of it, the most a name has.
        {text("abcdefghijklmnop", 16), "abcdefghijklmnop"},
        {text("abcdefghijklmnopq", 17), std::nullopt},
        {text("", 0), std::nullopt},
        {text("e\x1b[2Jh\0", 7), "e?[2Jh"},
        {text("w\x7f\0", 3), "w?"},
    };
    for (const auto &row : rows) {
        const route::LinkReading read = route::readLinkReply(
            linkAnswer(attribute(IFLA_IFNAME, row.name)), LinkSequence, CapturedIndex);
        if (!row.read) {
            EXPECT_EQ(read.reading, Reading::Malformed);
            continue;
        }
        ASSERT_EQ(read.reading, Reading::Done);
        EXPECT_EQ(read.link->name, *row.read);
    }
}

TEST(LinkAnswer, OddStatesAndFieldsThatCannotBe)
{
    const auto state = [](const Bytes &value) {
        return route::readLinkReply(linkAnswer(attribute(IFLA_OPERSTATE, value)), LinkSequence,
                                    CapturedIndex);
    };
    EXPECT_EQ(state({std::byte{200}}).link->operState, OperState::Unknown);
    EXPECT_EQ(state({std::byte{5}}).link->operState, OperState::Dormant);
    EXPECT_EQ(state(Bytes(2)).reading, Reading::Malformed);
    // Another interface than the one asked about.
    EXPECT_EQ(route::readLinkReply(linkAnswer({}, CapturedIndex + 1), LinkSequence, CapturedIndex)
                  .reading,
              Reading::Malformed);
    EXPECT_EQ(route::readLinkReply(message(RTM_NEWLINK, LinkSequence, Bytes(8)), LinkSequence,
                                   CapturedIndex)
                  .reading,
              Reading::Malformed);
    // Switched on, the carrier gone: the flags alone say so.
    const auto noCarrier =
        route::readLinkReply(linkAnswer({}, CapturedIndex, IFF_UP), LinkSequence, CapturedIndex);
    EXPECT_EQ(route::linkTrouble(*noCarrier.link), route::LinkTrouble::NoCarrier);
}

// --- Requests --------------------------------------------------------------

TEST(Requests, AskForOneRouteAndOneLinkAsTheKernelReadsThem)
{
    const Bytes route = route::routeRequest(testpackets::address("203.0.113.10"), 41);
    ASSERT_EQ(route.size(), sizeof(nlmsghdr) + sizeof(rtmsg) + 8);
    nlmsghdr header;
    std::memcpy(&header, route.data(), sizeof header);
    EXPECT_EQ(header.nlmsg_len, route.size());
    EXPECT_EQ(header.nlmsg_type, RTM_GETROUTE);
    EXPECT_EQ(header.nlmsg_flags, NLM_F_REQUEST);
    EXPECT_EQ(header.nlmsg_seq, 41u);
    rtmsg body;
    std::memcpy(&body, route.data() + sizeof header, sizeof body);
    EXPECT_EQ(body.rtm_family, AF_INET);
    EXPECT_EQ(body.rtm_dst_len, 32);
    const Bytes destination(route.end() - 8, route.end());
    EXPECT_EQ(destination, twoMessages(bytesOf(rtattr{8, RTA_DST}),
                                       bytesOf(testpackets::address("203.0.113.10"))));

    const Bytes link = route::linkRequest(7, 42);
    std::memcpy(&header, link.data(), sizeof header);
    EXPECT_EQ(header.nlmsg_len, link.size());
    EXPECT_EQ(header.nlmsg_type, RTM_GETLINK);
    ifinfomsg asked;
    std::memcpy(&asked, link.data() + sizeof header, sizeof asked);
    EXPECT_EQ(asked.ifi_index, 7);
}

} // namespace
