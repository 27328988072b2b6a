// An answer that comes after the deadline is a timeout, and it must not be
// taken for the answer to the probe that follows.
#include "lab_fixture.h"
#include "responder_process.h"

#include "echowatch/icmp/ip_status.h"

namespace lab {
namespace {

using helper::SocketKindChoice;
using std::chrono::milliseconds;

class LateAnswer : public LabTest, public testing::WithParamInterface<SocketKindChoice>
{};

TEST_P(LateAnswer, TimesOutAndStaysOutOfTheNextProbe)
{
    // The first answer lands 700 ms after its request, 200 ms into the second
    // probe, whose own answer comes 300 ms after it was sent.
    ResponderProcess responder(m_lab, {"answer", "700", "300"});
    ASSERT_TRUE(responder.ready());
    RealProbe probe(GetParam());

    const auto first = probe.echo(Address::Responder);
    EXPECT_EQ(first.status, icmp::IpStatus::ReqTimedOut);
    EXPECT_GE(first.took, milliseconds{500});
    EXPECT_LT(first.took, milliseconds{520});
    EXPECT_EQ(first.reply.header.roundTripTime, 0u);

    const auto second = probe.echo(Address::Responder);
    EXPECT_EQ(second.status, icmp::IpStatus::Success);
    // A leaked late answer would show as about 200 ms; a few milliseconds
    // over 300 are a busy machine, not a fault.
    EXPECT_GE(second.reply.header.roundTripTime, 299u);
    EXPECT_LE(second.reply.header.roundTripTime, 310u);
    EXPECT_EQ(second.reply.header.dataSize, TestPayload.size());
}

INSTANTIATE_TEST_SUITE_P(Datagram, LateAnswer, testing::Values(SocketKindChoice::DatagramOnly));
INSTANTIATE_TEST_SUITE_P(Raw, LateAnswer, testing::Values(SocketKindChoice::RawOnly));

} // namespace
} // namespace lab
