// The window's client of the probe helper against fake helpers (small shell
// scripts): whatever a helper does, a probe returns within 600 ms as a
// general failure, the helper is put down and replaced, no sooner than a
// second after the last start. Runs without root.
#include "echowatch/helper/probe_helper_client.h"
#include "echowatch/helper/probe_helper_library.h"
#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/icmp/ip_status.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using testpackets::Bytes;
namespace IpStatus = icmp::IpStatus;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

const std::uint32_t Host = testpackets::address("198.51.100.7");
const Bytes Payload = testpackets::bytesOf(TestPayload);

net::EchoOutcome scriptedAnswer(std::chrono::nanoseconds roundTrip = 1'234'567ns)
{
    net::EchoOutcome outcome;
    outcome.status = IpStatus::Success;
    outcome.roundTrip = roundTrip;
    outcome.responder = Host;
    outcome.ttl = 61;
    outcome.data = Payload;
    return outcome;
}

// A scratch folder of fake helpers, removed with the fixture.
class FakeHelpers : public testing::Test
{
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/ewhelper.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_folder = pattern;
        writeAnswer("answer", scriptedAnswer());
        // Round trips no answer to a request of 500 ms can have.
        using Nanoseconds = std::chrono::nanoseconds;
        writeAnswer("mostNegative", scriptedAnswer(Nanoseconds::min()));
        writeAnswer("mostPositive", scriptedAnswer(Nanoseconds::max()));
        writeAnswer("negative", scriptedAnswer(-2ns));
        writeAnswer("pastTheTimeout", scriptedAnswer(500ms + 1ns));
        writeAnswer("neverAsked", scriptedAnswer(), 2);
    }
    // An answer to the request named tag (a client's first request is 1).
    void writeAnswer(const char *name, const net::EchoOutcome &outcome, std::uint32_t tag = 1)
    {
        Bytes answer(helper::MaxAnswerFrame);
        answer.resize(helper::encodeAnswer(tag, outcome, answer));
        std::ofstream(m_folder / name, std::ios::binary)
            .write(reinterpret_cast<const char *>(answer.data()),
                   static_cast<std::streamsize>(answer.size()));
    }
    void TearDown() override { fs::remove_all(m_folder); }

    // A helper that reads requests (one, unless told), then runs body.
    std::string helper(const std::string &name, const std::string &body, int requests = 1)
    {
        const auto path = m_folder / name;
        std::ofstream(path) << "#!/bin/sh\n/usr/bin/head -c "
                            << requests * (helper::RequestHeaderSize + 32) << " >/dev/null\n"
                            << body << "\n";
        fs::permissions(path, fs::perms::owner_all);
        return path;
    }
    std::string inFolder(const char *name) const { return m_folder / name; }

    fs::path m_folder;
};

struct FakeCase
{
    const char *name;
    std::string body; // what the helper does once it has read a request
    net::HelperCondition condition;
};

class MisbehavingHelper : public FakeHelpers, public testing::WithParamInterface<FakeCase>
{};

TEST_P(MisbehavingHelper, CostsOneProbeAtMost600Milliseconds)
{
    helper::ProbeHelperClient client(helper("probe", GetParam().body));
    const auto start = Clock::now();
    const auto outcome = client.echo(Host, Payload, 500ms);
    EXPECT_LT(Clock::now() - start, helper::ProbeHelperClient::MaxProbeTime);
    EXPECT_EQ(outcome.status, IpStatus::GeneralFailure);
    EXPECT_EQ(outcome.origin, net::FailureOrigin::ThisMachine);
    EXPECT_EQ(outcome.helper, GetParam().condition);
    EXPECT_EQ(client.helperProcess(), -1) << "the helper was not put down";
}

using Condition = net::HelperCondition;
const std::string Garbage = "/usr/bin/head -c 200000 /dev/zero | /usr/bin/tr '\\000' G";
// An answer's 36-byte header claiming 4 GiB of echoed data.
const std::string HugeClaim = "printf 'EWAN\\004\\000\\000\\000'; /usr/bin/head -c 24 /dev/zero; "
                              "printf '\\377\\377\\377\\377'";

// Sends a well-framed answer the fixture wrote beside the helper.
std::string answers(const char *name)
{
    return std::string("/bin/cat \"$(/usr/bin/dirname \"$0\")/") + name + "\"; exec /bin/sleep 5";
}

INSTANTIATE_TEST_SUITE_P(
    Helpers, MisbehavingHelper,
    testing::Values(
        FakeCase{"hangs", "exec /bin/sleep 5", Condition::Unresponsive},
        FakeCase{"floodsGarbage", Garbage + "; exec /bin/sleep 5", Condition::Unresponsive},
        FakeCase{"stopsMidFrame", "printf 'EWAN\\004'; exec /bin/sleep 5", Condition::Unresponsive},
        FakeCase{"speaksTheThirdVersion", "printf 'EWAN\\003'; exec /bin/sleep 5",
                 Condition::Unresponsive},
        FakeCase{"answersARequestNeverAsked", answers("neverAsked"), Condition::Unresponsive},
        FakeCase{"claimsHugeData", HugeClaim + "; exec /bin/sleep 5", Condition::Unresponsive},
        FakeCase{"endsWithoutAnswer", "exit 0", Condition::Unresponsive},
        FakeCase{"lacksItsCapability", "exit 4", Condition::LacksCapability},
        FakeCase{"claimsTheMostNegativeRoundTrip", answers("mostNegative"),
                 Condition::Unresponsive},
        FakeCase{"claimsTheMostPositiveRoundTrip", answers("mostPositive"),
                 Condition::Unresponsive},
        FakeCase{"claimsANegativeRoundTrip", answers("negative"), Condition::Unresponsive},
        FakeCase{"claimsARoundTripPastTheTimeout", answers("pastTheTimeout"),
                 Condition::Unresponsive}),
    [](const auto &info) { return std::string(info.param.name); });

// The typed fields travel from the helper to the record the window writes.
TEST_F(FakeHelpers, AnAnswerBecomesTheRecord)
{
    helper::ProbeHelperLibrary library(
        helper("probe", "/bin/cat " + inFolder("answer") + "; exec /bin/sleep 5"));
    EchoReply reply{};
    net::EchoOutcome outcome;
    const auto replies = library.IcmpCreateFile().handle->IcmpSendEcho(
        Host, Payload, std::as_writable_bytes(std::span(&reply, 1)), 500ms, outcome);
    EXPECT_EQ(replies, 1u);
    EXPECT_EQ(outcome.helper, net::HelperCondition::Serving);
    EXPECT_EQ(outcome.roundTrip, 1'234'567ns);
    EXPECT_EQ(reply.header.roundTripTime, 1u);
    EXPECT_EQ(reply.header.address, Host);
    EXPECT_EQ(reply.header.options.ttl, 61u);
    EXPECT_TRUE(echoesTestPayload(reply));
}

TEST_F(FakeHelpers, AMissingHelperIsSaidToBeMissing)
{
    helper::ProbeHelperClient client(inFolder("nowhere"));
    const auto outcome = client.echo(Host, Payload, 500ms);
    EXPECT_EQ(outcome.status, IpStatus::GeneralFailure);
    EXPECT_EQ(outcome.helper, net::HelperCondition::Missing);
}

// A helper that cannot serve is started again at most once a second, so a
// capability given back is used soon, and a missing one is no storm.
TEST_F(FakeHelpers, RestartsAreAtMostOneASecond)
{
    const auto starts = inFolder("starts");
    helper::ProbeHelperClient client(helper("probe", "echo start >>" + starts + "; exit 4"));
    const auto countStarts = [&] {
        std::ifstream file(starts);
        return std::count(std::istreambuf_iterator<char>(file), {}, '\n');
    };
    for (int probe = 0; probe < 5; ++probe)
        EXPECT_EQ(client.echo(Host, Payload, 0ms).helper, net::HelperCondition::LacksCapability);
    EXPECT_EQ(countStarts(), 1);
    std::this_thread::sleep_for(helper::ProbeHelperClient::RestartSpacing);
    client.echo(Host, Payload, 0ms);
    EXPECT_EQ(countStarts(), 2);
}

// The process's standard error sent to a file for as long as this lives.
class StandardErrorTo
{
public:
    explicit StandardErrorTo(const std::string &path) : m_saved(::dup(STDERR_FILENO))
    {
        std::fflush(stderr);
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ::dup2(file, STDERR_FILENO);
        ::close(file);
    }
    ~StandardErrorTo()
    {
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
    }
    StandardErrorTo(const StandardErrorTo &) = delete;
    StandardErrorTo &operator=(const StandardErrorTo &) = delete;

private:
    int m_saved;
};

// A helper that cannot serve says why on standard error, the window's own,
// at each start: heard once, and again only when what it says changes.
TEST_F(FakeHelpers, AHelperThatCannotServeIsHeardOnce)
{
    const auto status = inFolder("status");
    const auto said = inFolder("said");
    std::ofstream(status) << "4\n";
    helper::ProbeHelperClient client(helper(
        "probe", "read why <" + status + "; echo \"cannot serve: $why\" >&2; exit \"$why\""));
    {
        StandardErrorTo capture(said);
        for (int start = 0; start < 6; ++start) {
            if (start == 3)
                std::ofstream(status) << "1\n";
            client.echo(Host, Payload, 0ms);
            std::this_thread::sleep_for(helper::ProbeHelperClient::RestartSpacing);
        }
    }
    std::ifstream lines(said);
    std::vector<std::string> heard;
    for (std::string line; std::getline(lines, line);)
        heard.push_back(line);
    EXPECT_EQ(heard, (std::vector<std::string>{"cannot serve: 4", "cannot serve: 1"}));
}

// More than an IPv4 packet holds is refused here, as a socket would refuse
// it, without troubling the helper.
TEST_F(FakeHelpers, DataOverThePacketLimitIsRefusedWithoutAHelper)
{
    helper::ProbeHelperClient client(inFolder("nowhere"));
    const Bytes tooMuch(helper::MaxRequestData + 1);
    const auto outcome = client.echo(Host, tooMuch, 500ms);
    EXPECT_EQ(outcome.status, IpStatus::PacketTooBig);
    EXPECT_EQ(outcome.helper, net::HelperCondition::NotUsed);
}

// Takes the outcomes of requests in flight by tag.
struct Outcomes final : net::FlightSink
{
    void take(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept override
    {
        byTag.emplace_back(tag, outcome);
    }
    std::vector<std::pair<net::FlightTag, net::EchoOutcome>> byTag;
};

void collectAll(helper::ProbeHelperClient &client, Outcomes &outcomes, std::size_t count)
{
    const auto giveUp = Clock::now() + 5s;
    while (outcomes.byTag.size() < count && Clock::now() < giveUp)
        client.collect(Clock::now() + 100ms, outcomes);
}

// Requests in flight are answered in the order their outcomes come, each
// matched by its tag, whatever order they were asked in.
TEST_F(FakeHelpers, RequestsInFlightAreMatchedByTag)
{
    auto second = scriptedAnswer(2'000'000ns);
    second.responder = testpackets::address("192.0.2.18");
    second.status = IpStatus::TtlExpiredTransit;
    second.message = {11, 0};
    second.origin = net::FailureOrigin::IcmpMessage;
    writeAnswer("second", second, 2);
    helper::ProbeHelperClient client(
        helper("probe",
               "/bin/cat " + inFolder("second") + " " + inFolder("answer") + "; exec /bin/sleep 5",
               2));
    const auto first = client.send({Host, Payload, 500ms});
    const auto then = client.send({Host, Payload, 500ms, 2});
    EXPECT_EQ(client.outstanding(), 2u);
    Outcomes outcomes;
    collectAll(client, outcomes, 2);
    ASSERT_EQ(outcomes.byTag.size(), 2u);
    EXPECT_EQ(outcomes.byTag[0].first, then);
    EXPECT_EQ(outcomes.byTag[0].second.status, IpStatus::TtlExpiredTransit);
    EXPECT_EQ(outcomes.byTag[0].second.message, (icmp::MessageKind{11, 0}));
    EXPECT_EQ(outcomes.byTag[1].first, first);
    EXPECT_EQ(outcomes.byTag[1].second.status, IpStatus::Success);
    EXPECT_EQ(outcomes.byTag[1].second.roundTrip, 1'234'567ns);
    EXPECT_EQ(client.outstanding(), 0u);
}

// A caller that takes what is in without ever waiting (a prober reading
// once a span) still gets the helper's answer.
TEST_F(FakeHelpers, AnswersReachACallerThatNeverWaits)
{
    helper::ProbeHelperClient client(
        helper("probe", "/bin/cat " + inFolder("answer") + "; exec /bin/sleep 5"));
    const auto tag = client.send({Host, Payload, 500ms});
    Outcomes outcomes;
    const auto giveUp = Clock::now() + 5s;
    while (outcomes.byTag.empty() && Clock::now() < giveUp) {
        client.collect(Clock::now(), outcomes);
        std::this_thread::yield();
    }
    ASSERT_EQ(outcomes.byTag.size(), 1u);
    EXPECT_EQ(outcomes.byTag[0].first, tag);
    EXPECT_EQ(outcomes.byTag[0].second.status, IpStatus::Success);
}

// A helper that answers nothing costs each request in flight no more than
// its timeout and the allowance; every one of them fails, and the helper is
// put down.
TEST_F(FakeHelpers, RequestsInFlightFailWithAHungHelper)
{
    helper::ProbeHelperClient client(helper("probe", "exec /bin/sleep 5", 3));
    const auto start = Clock::now();
    for (int request = 0; request < 3; ++request)
        client.send({Host, Payload, 0ms});
    Outcomes outcomes;
    collectAll(client, outcomes, 3);
    EXPECT_LT(Clock::now() - start, helper::ProbeHelperClient::FlightAllowance + 400ms);
    ASSERT_EQ(outcomes.byTag.size(), 3u);
    for (const auto &[tag, outcome] : outcomes.byTag) {
        EXPECT_EQ(outcome.status, IpStatus::GeneralFailure) << tag;
        EXPECT_EQ(outcome.helper, net::HelperCondition::Unresponsive) << tag;
    }
    EXPECT_EQ(client.helperProcess(), -1);
}

// A helper served at a socket (the service's, one per connection) is
// connected to rather than started: its answer is read as a started one's,
// and a socket nobody serves is a missing helper.
TEST_F(FakeHelpers, AServedHelperIsConnectedTo)
{
    const std::string path = inFolder("probe.socket");
    const int listening = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listening, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::copy(path.begin(), path.end(), address.sun_path);
    ASSERT_EQ(::bind(listening, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listening, 1), 0);
    std::ifstream stored(inFolder("answer"), std::ios::binary);
    const std::string answer((std::istreambuf_iterator<char>(stored)),
                             std::istreambuf_iterator<char>());
    std::thread served([listening, &answer] {
        const int connection = ::accept(listening, nullptr, nullptr);
        if (connection < 0)
            return;
        std::vector<char> request(helper::RequestHeaderSize + 32);
        std::size_t read = 0;
        while (read < request.size()) {
            const ssize_t got = ::read(connection, request.data() + read, request.size() - read);
            if (got <= 0)
                break;
            read += static_cast<std::size_t>(got);
        }
        if (::write(connection, answer.data(), answer.size()) < 0)
            std::perror("served helper");
        char rest;
        while (::read(connection, &rest, 1) > 0) {
        }
        ::close(connection);
    });
    {
        helper::ProbeHelperClient client(helper::HelperSocket{path});
        const auto outcome = client.echo(Host, Payload, 500ms);
        EXPECT_EQ(outcome.status, IpStatus::Success);
        EXPECT_EQ(outcome.roundTrip, 1'234'567ns);
        EXPECT_EQ(outcome.helper, net::HelperCondition::Serving);
        EXPECT_EQ(client.helperProcess(), -1);
    }
    served.join();
    ::close(listening);

    helper::ProbeHelperClient unserved(helper::HelperSocket{inFolder("nobody.socket")});
    const auto outcome = unserved.echo(Host, Payload, 500ms);
    EXPECT_EQ(outcome.status, IpStatus::GeneralFailure);
    EXPECT_EQ(outcome.helper, net::HelperCondition::Missing);
}

} // namespace
