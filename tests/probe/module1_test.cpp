#include "echowatch/net/ip_status.h"
#include "echowatch/probe/module1.h"
#include "support/echo_record.h"
#include "support/fake_services.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace IpStatus = net::IpStatus;

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

// Status 0 is an answer only with the reply the service reports; a record
// it did not write reads as the caller zero-filled it.
TEST_F(Module1Test, ARecordTheServiceDidNotWriteIsNoAnswer)
{
    icmp.writesRecord = false;
    EchoReply reply{};
    EXPECT_EQ(module.EchoAddress(u"127.0.0.1", TestPayload, reply), IpStatus::GeneralFailure);
    EXPECT_EQ(icmp.sends.size(), 1u);
}

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
