#include "echowatch/icmp/ip_status.h"
#include "echowatch/probe/module1.h"
#include "support/echo_record.h"
#include "support/fake_services.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace IpStatus = icmp::IpStatus;

class Module1Test : public testing::Test
{
protected:
    fakes::SocketsLibrary sockets;
    fakes::IcmpEchoLibrary icmp;
    fakes::MessageBox messageBox;
    Module1 module{sockets, icmp, messageBox};
};

TEST_F(Module1Test, StartAsksForVersionOnePointOneWithAZeroedDescription)
{
    EXPECT_TRUE(module.StartSockets());
    EXPECT_EQ(sockets.requestedVersion, 0x0101);
    ASSERT_EQ(sockets.descriptionSeen.size(), 404u);
    EXPECT_TRUE(std::all_of(sockets.descriptionSeen.begin(), sockets.descriptionSeen.end(),
                            [](std::byte b) { return b == std::byte{}; }));
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(Module1Test, StartReportsAnyNonZeroResultAsFailureWithoutShowingAnything)
{
    for (const int result : {1, -1, 10091}) {
        sockets.startupResult = result;
        EXPECT_FALSE(module.StartSockets()) << result;
    }
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(Module1Test, StopWarnsOnlyWhenCleanupFails)
{
    module.StopSockets();
    EXPECT_TRUE(messageBox.shown.empty());

    sockets.cleanupResult = 10093;
    module.StopSockets();
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].text, "Windows Sockets error occurred in Cleanup.");
    EXPECT_EQ(messageBox.shown[0].icon, probe::MessageIcon::Exclamation);
}

TEST_F(Module1Test, EchoReturnsTheStatusTheServiceWroteAndClosesTheHandle)
{
    icmp.echo = {IpStatus::ReqTimedOut, 0, 0};
    EchoReply reply{};
    EXPECT_EQ(module.EchoAddress(u"127.0.0.1", TestPayload, reply), IpStatus::ReqTimedOut);
    ASSERT_EQ(icmp.sends.size(), 1u);
    EXPECT_EQ(icmp.sends[0].replySize, 278u);
    EXPECT_EQ(icmp.sends[0].timeout, std::chrono::milliseconds(500));
    EXPECT_EQ(icmp.sends[0].data.size(), 32u);
    EXPECT_EQ(icmp.closed, icmp.opened);
}

// Without a socket nothing is sent, and the failure must not read as
// success: it is the status that names why.
TEST_F(Module1Test, NoHandleReturnsWhyAndLeavesTheRecordZero)
{
    for (const std::int32_t why : {IpStatus::GeneralFailure, IpStatus::NoResources}) {
        icmp.openFailure = why;
        EchoReply reply{};
        EXPECT_EQ(module.EchoAddress(u"127.0.0.1", u"1234", reply), why);
        EXPECT_TRUE(allZero(reply));
    }
    EXPECT_TRUE(icmp.sends.empty());
}

// What the record cannot hold reaches the caller from the service's typed
// outcome: the round trip to the microsecond (for an answer only, never
// negative), who answered or sent the error, where a failure was decided,
// and how the helper stood.
struct DetailsCase
{
    const char *name;
    std::int32_t status;
    std::chrono::nanoseconds roundTrip;
    net::FailureOrigin origin;
    net::HelperCondition helper;
    std::int64_t roundTripMicroseconds;
};

class Module1Details : public Module1Test, public testing::WithParamInterface<DetailsCase>
{};

TEST_P(Module1Details, ComeFromTheTypedOutcome)
{
    net::EchoOutcome outcome;
    outcome.status = GetParam().status;
    outcome.roundTrip = GetParam().roundTrip;
    outcome.origin = GetParam().origin;
    outcome.helper = GetParam().helper;
    outcome.responder = 0x017100cb;
    icmp.outcome = outcome;
    EchoReply reply{};
    probe::ProbeDetails details;
    EXPECT_EQ(module.EchoAddress(u"127.0.0.1", TestPayload, reply, details), GetParam().status);
    EXPECT_EQ(details.roundTripMicroseconds, GetParam().roundTripMicroseconds);
    EXPECT_EQ(details.responder, outcome.responder);
    EXPECT_EQ(details.origin, outcome.origin);
    EXPECT_EQ(details.helper, outcome.helper);
}

using std::chrono::nanoseconds;
using Origin = net::FailureOrigin;
using Helper = net::HelperCondition;

INSTANTIATE_TEST_SUITE_P(
    Outcomes, Module1Details,
    testing::Values(DetailsCase{"answer", 0, nanoseconds(1'234'567), Origin::None, Helper::NotUsed,
                                1234},
                    DetailsCase{"answerThroughTheHelper", 0, nanoseconds(987'000), Origin::None,
                                Helper::Serving, 987},
                    DetailsCase{"errorFromARouter", IpStatus::DestHostUnreachable,
                                nanoseconds(5'000'000), Origin::IcmpMessage, Helper::NotUsed, -1},
                    DetailsCase{"helperWithoutItsCapability", IpStatus::GeneralFailure,
                                nanoseconds(-1), Origin::ThisMachine, Helper::LacksCapability, -1},
                    DetailsCase{"answerAsTheClockWentBack", 0, nanoseconds(-800'000), Origin::None,
                                Helper::NotUsed, 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(Module1Test, RequestDataWithoutAnEightBitFormIsNotSent)
{
    // Short, and longer than the room kept on the stack.
    for (const std::u16string &data :
         {std::u16string(u"12345\u20ac"), std::u16string(300, u'7') + u'\u20ac'}) {
        EchoReply reply{};
        EXPECT_EQ(module.EchoAddress(u"127.0.0.1", data, reply), IpStatus::BadReq);
        EXPECT_EQ(icmp.opened, 0);
        EXPECT_TRUE(allZero(reply));
    }
}

TEST_F(Module1Test, LongRequestDataIsSentWhole)
{
    EchoReply reply{};
    module.EchoAddress(u"127.0.0.1", std::u16string(300, u'7'), reply);
    ASSERT_EQ(icmp.sends.size(), 1u);
    EXPECT_EQ(icmp.sends[0].data, std::vector<std::byte>(300, std::byte{'7'}));
}

} // namespace
