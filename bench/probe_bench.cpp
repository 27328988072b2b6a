// Cost of one answered probe to 127.0.0.1, the whole EchoAddress road (open
// a handle, send, wait, close it), on each kind of socket beside the system
// ping in flood mode, and through the probe helper beside ping at the same
// spacing, measured in the same run: both keep one socket for all their
// requests. Then the helper's
// capability sets once it has started, and how many allocations a probe
// makes.
#include "bench_table.h"

#include "echowatch/helper/probe_helper_library.h"
#include "support/echo_record.h"
#include "support/process_status.h"
#include "support/real_probe.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <string_view>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

// Every allocation the process makes goes through here; only those made
// while `counting` is set are counted. Sanitizers bring their own malloc.
namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
} // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void *__libc_malloc(std::size_t size);
extern "C" void *__libc_calloc(std::size_t count, std::size_t size);
extern "C" void *__libc_realloc(void *pointer, std::size_t size);

extern "C" void *malloc(std::size_t size) noexcept
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

extern "C" void *calloc(std::size_t count, std::size_t size) noexcept
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

extern "C" void *realloc(void *pointer, std::size_t size) noexcept
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}
#endif

namespace {

using Clock = std::chrono::steady_clock;
using helper::SocketKindChoice;

constexpr const char *Loopback = "127.0.0.1";
constexpr std::u16string_view LoopbackText = u"127.0.0.1";

double cpuMicroseconds(const rusage &usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

double cpuMicrosecondsSoFar()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return cpuMicroseconds(usage);
}

struct Cost
{
    double cpuMicroseconds; // user + system per probe
    int answered;
    double helperMicroseconds = 0; // of which the helper's, where one served
};

// Back to back, or spaced by pace as a window at its fastest would be.
Cost measureOurs(SocketKindChoice kind, int count, Clock::duration pace = Clock::duration::zero())
{
    RealProbe probe(kind);
    int answered = 0;
    const double before = cpuMicrosecondsSoFar();
    auto next = Clock::now();
    for (int i = 0; i < count; ++i, next += pace) {
        std::this_thread::sleep_until(next);
        answered += probe.echo(LoopbackText).status == 0;
    }
    return {(cpuMicrosecondsSoFar() - before) / count, answered};
}

// ping's CPU per probe: in flood mode (back to back) without an interval,
// else INTERVAL seconds apart, as `ping -i INTERVAL` (root may go under 0.2).
std::optional<double> pingCpuMicroseconds(int count, const char *interval = nullptr)
{
    const std::string countText = std::to_string(count);
    const char *pace[] = {"-f", nullptr};
    if (interval != nullptr) {
        pace[0] = "-i";
        pace[1] = interval;
    }
    std::vector<const char *> argv{"ping", "-q", pace[0]};
    if (pace[1] != nullptr)
        argv.push_back(pace[1]);
    for (const char *argument : {"-c", countText.c_str(), "-s", "32", Loopback})
        argv.push_back(argument);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned = ::posix_spawnp(&child, "ping", &actions, nullptr,
                                       const_cast<char *const *>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return cpuMicroseconds(usage) / count;
}

std::string timesPing(double ours, std::optional<double> ping)
{
    return ping ? formatNumber(ours / *ping, 2) + "x ping -f" : "ping -f n/a";
}

void cpuRow(SocketKindChoice kind, const char *name, int count, std::optional<double> ping)
{
    // Turns, so that a busy spell of the shared machine falls on both.
    constexpr int Rounds = 5;
    double ours = 0, peer = 0;
    int answered = 0;
    for (int round = 0; round < Rounds; ++round) {
        const Cost own = measureOurs(kind, count / Rounds);
        ours += own.cpuMicroseconds / Rounds;
        answered += own.answered;
        peer += pingCpuMicroseconds(count / Rounds).value_or(0) / Rounds;
    }
    const auto pingFigure = ping ? std::optional(peer) : std::nullopt;
    const int probes = count / Rounds * Rounds;
    printRow(std::string("CPU per answered loopback probe, in-process, ") + name + " (" +
                 std::to_string(answered) + "/" + std::to_string(probes) + " answered)",
             formatNumber(ours, 2) + " us, " + timesPing(ours, pingFigure),
             "ping -f " + (ping ? formatNumber(peer, 2) + " us" : std::string("n/a")),
             "at most 1.25x ping -f");
}

long allocationsOver(SocketKindChoice kind, int count)
{
    RealProbe probe(kind);
    probe.echo(LoopbackText); // what a first probe sets up once
    EchoReply reply{};
    allocations = 0;
    counting = true;
    for (int i = 0; i < count; ++i) {
        reply = EchoReply{};
        probe.module.EchoAddress(LoopbackText, TestPayload, reply);
    }
    counting = false;
    return allocations;
}

bool canOpen(int type)
{
    const int descriptor = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (descriptor >= 0)
        ::close(descriptor);
    return descriptor >= 0;
}

// Both processes together: the window's side in this one, the helper's as a
// child, reaped when the probe is destroyed inside the measured span. The
// helper's start and exit are counted too, spread over the probes. Probes
// are spaced by pace, so that none waits for the helper's own.
Cost measureThroughHelper(int count, Clock::duration pace)
{
    rusage childrenBefore{}, childrenAfter{};
    ::getrusage(RUSAGE_CHILDREN, &childrenBefore);
    const double before = cpuMicrosecondsSoFar();
    const int answered = measureOurs(SocketKindChoice::HelperOnly, count, pace).answered;
    const double own = cpuMicrosecondsSoFar() - before;
    ::getrusage(RUSAGE_CHILDREN, &childrenAfter);
    const double helper = cpuMicroseconds(childrenAfter) - cpuMicroseconds(childrenBefore);
    const int per = std::max(answered, 1);
    return {(own + helper) / per, answered, helper / per};
}

// Beside ping at the same spacing: a process that sleeps between probes pays
// for waking each time, which ping -f, never sleeping, does not. In turns,
// as the in-process rows, so that a busy spell of the shared machine falls
// on both; each turn starts its helper, as each ping starts, and both
// starts are spread over the turn's perRound probes.
void helperRow(int perRound, std::chrono::milliseconds spacing, const char *interval)
{
    constexpr int Rounds = 3;
    double ours = 0, helper = 0, peer = 0;
    int answered = 0;
    bool peerMeasured = true;
    for (int round = 0; round < Rounds; ++round) {
        const Cost through = measureThroughHelper(perRound, spacing);
        ours += through.cpuMicroseconds / Rounds;
        helper += through.helperMicroseconds / Rounds;
        answered += through.answered;
        const auto ping = pingCpuMicroseconds(perRound, interval);
        peerMeasured = peerMeasured && ping.has_value();
        peer += ping.value_or(0) / Rounds;
    }
    const std::string pingName = std::string("ping -i ") + interval;
    printRow("CPU per answered loopback probe through the probe helper, both processes, " +
                 std::to_string(spacing.count()) + " ms apart (" + std::to_string(answered) +
                 "/" + std::to_string(perRound * Rounds) + " answered)",
             formatNumber(ours, 2) + " us (helper " + formatNumber(helper, 2) + " us), " +
                 (peerMeasured ? formatNumber(ours / peer, 2) + "x " + pingName
                               : pingName + " n/a"),
             pingName + " " + (peerMeasured ? formatNumber(peer, 2) + " us" : std::string("n/a")),
             "at most 1.5x " + pingName);
}

// The four sets /proc shows for a process, as one line.
std::string capabilityLine(pid_t process)
{
    std::string line = capabilitySets(process);
    std::replace(line.begin(), line.end(), '\n', ' ');
    std::replace(line.begin(), line.end(), '\t', ' ');
    return line;
}

// Started by this process, which holds what root holds: every set is to be
// empty once the helper has opened its socket, before its first request.
void helperCapabilitiesRow()
{
    helper::ProbeHelperLibrary library(RealProbe::builtHelperPath());
    library.IcmpCreateFile().handle->echo(htonl(INADDR_LOOPBACK), {},
                                          std::chrono::milliseconds(500));
    const pid_t helper = library.client().helperProcess();
    printRow("the helper's capability sets while it serves (started by root)",
             helper > 0 ? capabilityLine(helper) : "no helper",
             "its starter: " + capabilityLine(::getpid()), "all 0");
}

} // namespace

void helperRows(int count)
{
    helperRow(count / 10, std::chrono::milliseconds(10), "0.01");
    helperRow(count / 10, std::chrono::milliseconds(20), "0.02");
}

// probe_bench [COUNT [helper]]: every row, or the helper's alone.
int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    if (argc > 2 && std::string_view(argv[2]) == "helper") {
        helperRows(count);
        return 0;
    }
    const auto ping = pingCpuMicroseconds(count / 5);
    std::string allocationText;
    const std::pair<SocketKindChoice, const char *> kinds[] = {
        {SocketKindChoice::DatagramOnly, "datagram"}, {SocketKindChoice::RawOnly, "raw"}};
    for (const auto &[kind, name] : kinds) {
        if (!canOpen(kind == SocketKindChoice::RawOnly ? SOCK_RAW : SOCK_DGRAM)) {
            printRow(std::string("CPU per answered loopback probe, in-process, ") + name,
                     "skipped: no such socket here", "-", "at most 1.25x ping -f");
            continue;
        }
        cpuRow(kind, name, count, ping);
        allocationText += (allocationText.empty() ? "" : ", ") +
                          std::to_string(allocationsOver(kind, count)) + " " + name;
    }
    if (canOpen(SOCK_RAW)) {
        helperRows(count);
        helperCapabilitiesRow();
    }
    printRow("allocations per probe in the echo path (" + std::to_string(count) +
                 " EchoAddress calls per kind, counted by a malloc hook)",
             allocationText.empty() ? "skipped" : allocationText + " in all", "-", "0");
    return 0;
}
