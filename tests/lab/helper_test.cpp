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
    std::optional<net::EchoOutcome> answer()
    {
        m_received.clear();
        for (;;) {
            const auto parsed =
                helper::parseAnswer(m_received, {helper::MaxRequestData, helper::MaxTimeout});
            if (parsed.verdict == helper::AnswerVerdict::Valid)
                return parsed.outcome;
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

struct BadRequestCase
{
    const char *name;
    Bytes frame;
    // Refused with BadReq and still serving, or the helper ends with 2.
    bool refused;
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
    if (GetParam().refused) {
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
        EXPECT_EQ(connection.finish(), 2);
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
        BadRequestCase{"Truncated", truncated(), false},
        BadRequestCase{"FirstVersion", testpackets::helperRequestWith(4, 0x01010000), false},
        BadRequestCase{"DataOfOneMegabyte", testpackets::helperRequestWith(16, 1 << 20), false},
        BadRequestCase{"DataOverThePacketLimit", testpackets::helperRequestWith(16, 65508), false},
        BadRequestCase{"TimeoutOfAnHour", testpackets::helperRequestWith(12, 3'600'000), true},
        BadRequestCase{"SecondVersion", testpackets::helperRequestWith(4, 0x02010000), false},
        BadRequestCase{"ReservedSet", testpackets::helperRequestWith(4, 0x03010001), true},
        BadRequestCase{"NotAnEcho", testpackets::helperRequestWith(4, 0x03020000), true}),
    [](const auto &info) { return std::string(info.param.name); });

// A flood written at once is answered in order, one request at a time and
// no faster than ping lets a user send: 2 ms apart to a host that answers,
// 10 ms apart to one that does not, even with a timeout of 0.
struct FloodCase
{
    const char *name;
    std::string_view address;
    std::uint32_t timeoutMilliseconds;
    std::chrono::milliseconds spacing;
};

class Flood : public AsUserWithCapableHelper, public testing::WithParamInterface<FloodCase>
{};

TEST_P(Flood, IsPacedAsPingPacesAUser)
{
    constexpr int Requests = 60;
    HelperConnection connection(helperUnderTest());
    Bytes flood;
    for (int i = 0; i < Requests; ++i) {
        Bytes one = testpackets::helperRequest(
            testpackets::address(std::string(GetParam().address).c_str()));
        testpackets::put32(one, 12, GetParam().timeoutMilliseconds);
        flood.insert(flood.end(), one.begin(), one.end());
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(connection.send(flood));
    for (int i = 0; i < Requests; ++i)
        ASSERT_TRUE(connection.answer()) << "answer " << i;
    EXPECT_GE(std::chrono::steady_clock::now() - start, (Requests - 1) * GetParam().spacing);
    EXPECT_EQ(connection.finish(), 0);
}

INSTANTIATE_TEST_SUITE_P(Hosts, Flood,
                         testing::Values(FloodCase{"Answering", Address::Host, 500, 2ms},
                                         FloodCase{"SilentWithoutTimeout", Address::Responder, 0,
                                                   10ms}),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
} // namespace lab
