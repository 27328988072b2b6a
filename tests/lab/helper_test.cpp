// The probe helper as an unprivileged user meets it, run by helper_as_user.sh
// inside a lab's client namespace with ping sockets closed: the window's own
// path reaches the lab's hosts through it, and requests written straight to
// it are held to its limits.
#include "lab_fixture.h"
#include "lab_network.h"

#include "echowatch/helper/probe_helper_client.h"
#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/icmp/ip_status.h"
#include "support/packet_builder.h"
#include "support/process_status.h"
#include "support/real_probe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lab {
namespace {

namespace IpStatus = icmp::IpStatus;
using Bytes = std::vector<std::byte>;
using namespace std::chrono_literals;

// Set by helper_as_user.sh: the copy of the helper under test, and whether
// that copy was given CAP_NET_RAW.
const char *helperUnderTest()
{
    return std::getenv("ECHOWATCH_HELPER_UNDER_TEST");
}

bool helperCapable()
{
    const char *capable = std::getenv("ECHOWATCH_HELPER_CAPABLE");
    return capable != nullptr && std::string_view(capable) == "1";
}

class AsUser : public testing::Test
{
protected:
    void SetUp() override
    {
        if (helperUnderTest() == nullptr)
            GTEST_SKIP() << "skipped: run through tests/lab/helper_as_user.sh";
        ASSERT_NE(::geteuid(), 0u) << "must run as an unprivileged user";
    }
};

struct HostCase
{
    const char *name;
    std::string_view address;
    EchoStatus status;
    std::chrono::milliseconds atLeast;
};

class HelperAsUser : public AsUser, public testing::WithParamInterface<HostCase>
{};

TEST_P(HelperAsUser, TheWindowsPathProbesThroughIt)
{
    RealProbe probe(helper::SocketKindChoice::Automatic, helperUnderTest());
    const auto outcome = probe.echo(GetParam().address);
    EXPECT_EQ(outcome.status, helperCapable() ? GetParam().status : IpStatus::GeneralFailure);
    if (helperCapable()) {
        EXPECT_GE(outcome.took, GetParam().atLeast);
    }
    EXPECT_LT(outcome.took, 600ms);
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, HelperAsUser,
    testing::Values(HostCase{"Answering", Address::Host, IpStatus::Success, 0ms},
                    HostCase{"Silent", Address::Responder, IpStatus::ReqTimedOut, 500ms},
                    HostCase{"Refusing", Address::RejectedHostUnreachable,
                             IpStatus::DestHostUnreachable, 0ms}),
    [](const auto &info) { return std::string(info.param.name); });

// The helper this process started, found by its parent and name.
pid_t helperChild()
{
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename();
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (pid.find_first_not_of("0123456789") != std::string::npos || !std::getline(stat, line))
            continue;
        std::istringstream fields(line.substr(line.rfind(')') + 2));
        char state = 0;
        pid_t parent = 0;
        fields >> state >> parent;
        if (parent == ::getpid() && line.find("(echowatch-probe)") != std::string::npos)
            return std::stoi(pid);
    }
    return -1;
}

using HelperLife = LabTest;

// Waits, at most a second, until the kernel has turned a killed process into
// a zombie for its parent to find.
bool awaitDeath(pid_t process)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ifstream stat("/proc/" + std::to_string(process) + "/stat");
        std::string line;
        if (!std::getline(stat, line) || line.substr(line.rfind(')') + 2, 1) == "Z")
            return true;
        ::usleep(10'000);
    }
    return false;
}

// A helper that has died before a probe is replaced for it, once a second
// has passed since the last start; one that hangs costs its probe a general
// failure and is put down, and is replaced as well.
TEST_F(HelperLife, ADeadOrHungHelperIsReplaced)
{
    constexpr auto RestartSpacing = helper::ProbeHelperClient::RestartSpacing;
    RealProbe probe(helper::SocketKindChoice::HelperOnly);
    ASSERT_EQ(probe.echo(Address::Host).status, IpStatus::Success);
    const pid_t first = helperChild();
    ASSERT_GT(first, 0);
    ASSERT_EQ(::kill(first, SIGKILL), 0);
    ASSERT_TRUE(awaitDeath(first));
    std::this_thread::sleep_for(RestartSpacing);
    EXPECT_EQ(probe.echo(Address::Host).status, IpStatus::Success);

    const pid_t second = helperChild();
    ASSERT_GT(second, 0);
    ASSERT_NE(second, first);
    ASSERT_EQ(::kill(second, SIGSTOP), 0);
    const auto hung = probe.echo(Address::Host);
    EXPECT_EQ(hung.status, IpStatus::GeneralFailure);
    // The probe gave up on the helper rather than waiting for it: it put the
    // stopped helper down. How soon is the client's test, on a fake helper.
    EXPECT_TRUE(awaitDeath(second));
    std::this_thread::sleep_for(RestartSpacing);
    EXPECT_EQ(probe.echo(Address::Host).status, IpStatus::Success);
}

// The helper over a socket pair, as any local user could start it.
class HelperConnection
{
public:
    explicit HelperConnection(const char *path)
    {
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 0);
        posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
        char *arguments[] = {const_cast<char *>(path), nullptr};
        char *environment[] = {nullptr};
        if (::posix_spawn(&m_process, path, &actions, nullptr, arguments, environment) != 0)
            m_process = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(ends[1]);
        m_socket = ends[0];
    }
    ~HelperConnection()
    {
        if (m_process > 0)
            finish();
    }

    bool send(const Bytes &bytes)
    {
        return ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
               static_cast<ssize_t>(bytes.size());
    }

    // The next answer, or none when the helper closed or said nothing for 2 s.
    std::optional<net::EchoOutcome> answer(std::uint32_t *tag = nullptr)
    {
        m_received.clear();
        for (;;) {
            const auto parsed =
                helper::parseAnswer(m_received, {helper::MaxRequestData, helper::MaxTimeout});
            if (parsed.verdict == helper::AnswerVerdict::Valid) {
                if (tag != nullptr)
                    *tag = parsed.tag;
                return parsed.outcome;
            }
            pollfd watched{m_socket, POLLIN, 0};
            std::byte chunk[4096];
            const auto wanted = std::min(sizeof chunk, parsed.frameSize - m_received.size());
            if (parsed.verdict == helper::AnswerVerdict::Malformed ||
                ::poll(&watched, 1, 2000) != 1)
                return std::nullopt;
            const ssize_t got = ::recv(m_socket, chunk, wanted, 0);
            if (got <= 0)
                return std::nullopt;
            m_received.insert(m_received.end(), chunk, chunk + got);
        }
    }

    pid_t process() const { return m_process; }

    // Closes the helper's input and returns how it ended: its exit status,
    // or 128 + the signal that killed it.
    int finish()
    {
        ::shutdown(m_socket, SHUT_WR);
        int status = 0;
        ::waitpid(std::exchange(m_process, -1), &status, 0);
        ::close(m_socket);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_process = -1;
    int m_socket = -1;
    Bytes m_received;
};

// Where the fields of a request frame lie.
namespace At {
constexpr std::size_t Prefix = 4, Timeout = 16, DataSize = 20;
} // namespace At

Bytes request()
{
    return testpackets::helperRequest(testpackets::address("127.0.0.1"));
}

// A helper without its capability serves nothing: it says why and ends, so
// that the window starts a new one once the capability is given back.
TEST_F(AsUser, WithoutItsCapabilityItEndsSayingSo)
{
    if (helperCapable())
        GTEST_SKIP() << "skipped: the helper under test holds its capability";
    HelperConnection connection(helperUnderTest());
    connection.send(request());
    EXPECT_FALSE(connection.answer());
    EXPECT_EQ(connection.finish(), helper::ExitLacksCapability);
}

// Refused with BadReq and still serving (0), or the helper ends with this
// status: 2 for what is not our framing, ExitOtherVersion for a window of
// another release.
struct BadRequestCase
{
    const char *name;
    Bytes frame;
    int ending;
};

// Requests reach only a helper that holds its capability.
class AsUserWithCapableHelper : public AsUser
{
protected:
    void SetUp() override
    {
        AsUser::SetUp();
        if (!helperCapable())
            GTEST_SKIP() << "skipped: a helper without its capability reads no request";
    }
};

class BadRequest : public AsUserWithCapableHelper,
                   public testing::WithParamInterface<BadRequestCase>
{};

TEST_P(BadRequest, IsRefusedOrEndsTheHelper)
{
    HelperConnection connection(helperUnderTest());
    ASSERT_TRUE(connection.send(GetParam().frame));
    if (GetParam().ending == 0) {
        const auto refusal = connection.answer();
        ASSERT_TRUE(refusal);
        EXPECT_EQ(refusal->status, IpStatus::BadReq);
        EXPECT_EQ(refusal->origin, net::FailureOrigin::ThisMachine);
        ASSERT_TRUE(connection.send(request()));
        const auto next = connection.answer();
        ASSERT_TRUE(next) << "the helper stopped serving after a refusal";
        EXPECT_EQ(next->status, IpStatus::Success);
        EXPECT_EQ(connection.finish(), 0);
    } else {
        EXPECT_FALSE(connection.answer());
        EXPECT_EQ(connection.finish(), GetParam().ending);
    }
}

const std::string NoCapabilities = "CapInh:\t0000000000000000\nCapPrm:\t0000000000000000\n"
                                   "CapEff:\t0000000000000000\nCapAmb:\t0000000000000000\n";

// The helper given CAP_NET_RAW by its file holds no capability from before
// its first request is read (it waits for one, confined) and still probes.
TEST_F(AsUserWithCapableHelper, HoldsNoCapabilityWhileItServes)
{
    HelperConnection connection(helperUnderTest());
    std::string beforeFirstRequest;
    for (int attempt = 0; attempt < 100 && beforeFirstRequest != NoCapabilities; ++attempt) {
        std::this_thread::sleep_for(10ms);
        beforeFirstRequest = capabilitySets(connection.process());
    }
    EXPECT_EQ(beforeFirstRequest, NoCapabilities);
    ASSERT_TRUE(connection.send(
        testpackets::helperRequest(testpackets::address(std::string(Address::Host).c_str()))));
    const auto answer = connection.answer();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, IpStatus::Success);
    EXPECT_EQ(capabilitySets(connection.process()), NoCapabilities);
    std::cout << "helper before its first request:\n"
              << beforeFirstRequest << "after it:\n"
              << capabilitySets(connection.process());
    EXPECT_EQ(connection.finish(), 0);
}

Bytes truncated()
{
    Bytes frame = request();
    frame.resize(30);
    return frame;
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BadRequest,
    testing::Values(
        BadRequestCase{"Truncated", truncated(), 2},
        BadRequestCase{"FirstVersion", testpackets::helperRequestWith(At::Prefix, 0x01010000),
                       helper::ExitOtherVersion},
        BadRequestCase{"ThirdVersion", testpackets::helperRequestWith(At::Prefix, 0x03010000),
                       helper::ExitOtherVersion},
        BadRequestCase{"DataOfOneMegabyte",
                       testpackets::helperRequestWith(At::DataSize, 1 << 20), 2},
        BadRequestCase{"DataOverThePacketLimit",
                       testpackets::helperRequestWith(At::DataSize, 65508), 2},
        BadRequestCase{"TimeoutOfAnHour",
                       testpackets::helperRequestWith(At::Timeout, 3'600'000), 0},
        BadRequestCase{"ReservedSet", testpackets::helperRequestWith(At::Prefix, 0x04010001), 0},
        BadRequestCase{"NotAnEcho", testpackets::helperRequestWith(At::Prefix, 0x04020000), 0}),
    [](const auto &info) { return std::string(info.param.name); });

// Requests written at once, as a local user could flood them: each to be
// answered, and none sent to one host sooner than ping lets a user send to
// it (2 ms after an answered request, 10 ms after one that was not, even
// with a timeout of 0), nor any two sooner than the helper's bound for all
// hosts together. Each case names the hosts in turn and what the whole
// flood must take at least.
struct FloodCase
{
    const char *name;
    std::vector<std::string> hosts; // the requests go to each in turn
    std::uint32_t timeoutMilliseconds;
    std::chrono::microseconds leastPerRequestToOneHost;
};

class Flood : public AsUserWithCapableHelper, public testing::WithParamInterface<FloodCase>
{};

TEST_P(Flood, IsPacedAsPingPacesAUserForEachHost)
{
    constexpr std::uint32_t Requests = 60;
    const auto &hosts = GetParam().hosts;
    HelperConnection connection(helperUnderTest());
    Bytes flood;
    for (std::uint32_t tag = 1; tag <= Requests; ++tag) {
        const auto &host = hosts[(tag - 1) % hosts.size()];
        Bytes one = testpackets::helperRequest(testpackets::address(host.c_str()), 0, tag);
        testpackets::put32(one, At::Timeout, GetParam().timeoutMilliseconds);
        flood.insert(flood.end(), one.begin(), one.end());
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(connection.send(flood));
    std::vector<bool> answered(Requests + 1);
    for (std::uint32_t i = 0; i < Requests; ++i) {
        std::uint32_t tag = 0;
        ASSERT_TRUE(connection.answer(&tag)) << "answer " << i;
        ASSERT_TRUE(tag >= 1 && tag <= Requests && !answered[tag]) << tag;
        answered[tag] = true;
    }
    const auto took = std::chrono::steady_clock::now() - start;
    const auto perHost = Requests / hosts.size();
    EXPECT_GE(took, (perHost - 1) * GetParam().leastPerRequestToOneHost);
    EXPECT_GE(took, (Requests - 1) * helper::GlobalRequestSpacing);
    std::cout << GetParam().name << ": " << Requests << " requests to " << hosts.size()
              << " hosts in " << std::chrono::duration<double, std::milli>(took).count()
              << " ms\n";
    EXPECT_EQ(connection.finish(), 0);
}

// Sixty loopback addresses, each its own host.
std::vector<std::string> loopbackHosts(int count)
{
    std::vector<std::string> hosts;
    for (int host = 1; host <= count; ++host)
        hosts.push_back("127.0.1." + std::to_string(host));
    return hosts;
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, Flood,
    testing::Values(
        FloodCase{"Answering", {std::string(Address::Host)}, 500, 2ms},
        FloodCase{"SilentWithoutTimeout", {std::string(Address::Responder)}, 0, 10ms},
        FloodCase{"TwoHostsWithoutTimeout",
                  {std::string(Address::Responder), std::string(Address::Host)}, 0, 10ms},
        FloodCase{"SixtyHostsWithoutTimeout", loopbackHosts(60), 0, 0ms}),
    [](const auto &info) { return std::string(info.param.name); });

// Several requests in flight: a silent host's request does not hold back an
// answering host's, whose answer comes first although it was asked second.
TEST_F(AsUserWithCapableHelper, AnswersComeInTheOrderTheyArrive)
{
    HelperConnection connection(helperUnderTest());
    Bytes both = testpackets::helperRequest(
        testpackets::address(std::string(Address::Responder).c_str()), 0, 1);
    const Bytes answering =
        testpackets::helperRequest(testpackets::address(std::string(Address::Host).c_str()), 0, 2);
    both.insert(both.end(), answering.begin(), answering.end());
    ASSERT_TRUE(connection.send(both));
    std::uint32_t first = 0, second = 0;
    const auto reply = connection.answer(&first);
    const auto silence = connection.answer(&second);
    ASSERT_TRUE(reply && silence);
    EXPECT_EQ(first, 2u);
    EXPECT_EQ(reply->status, IpStatus::Success);
    EXPECT_EQ(second, 1u);
    EXPECT_EQ(silence->status, IpStatus::ReqTimedOut);
    EXPECT_EQ(connection.finish(), 0);
}

// A window of the release before asks in version 3: the helper says why it
// will not serve it on its standard error and ends, answering nothing.
TEST_F(AsUserWithCapableHelper, AWindowOfTheReleaseBeforeIsRefusedCleanly)
{
    HelperConnection connection(helperUnderTest());
    Bytes third = request();
    third[4] = std::byte{3};
    third.resize(20 + 32); // as long as a version 3 request of 32 bytes
    ASSERT_TRUE(connection.send(third));
    EXPECT_FALSE(connection.answer());
    EXPECT_EQ(connection.finish(), helper::ExitOtherVersion);
}

} // namespace
} // namespace lab
