// Cost of one answered probe to 127.0.0.1, the whole EchoAddress road (open,
// send, wait, close), on each kind of socket, against a bare loop of the same
// socket calls (open, send, receive, close) with nothing of ours in it,
// measured in the same run. The system ping in flood mode stands beside them
// as context only: it keeps one socket for all its requests, where a probe
// opens its own. Last, how many allocations a probe makes.
#include "bench_table.h"

#include "echowatch/icmp/icmp_packet.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"
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
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
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
using net::SocketKindChoice;

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
};

Cost measureOurs(SocketKindChoice kind, int count)
{
    RealProbe probe(kind);
    int answered = 0;
    const double before = cpuMicrosecondsSoFar();
    for (int i = 0; i < count; ++i)
        answered += probe.echo(LoopbackText).status == 0;
    return {(cpuMicrosecondsSoFar() - before) / count, answered};
}

// The same request through a socket that is opened, used once and closed,
// with no option, no clock and no check beyond finding the reply.
bool bareProbe(int type, std::span<const std::byte> request, std::uint16_t sequence)
{
    const int descriptor = ::socket(AF_INET, type | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (descriptor < 0)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool answered = ::sendto(descriptor, request.data(), request.size(), 0,
                             reinterpret_cast<const sockaddr *>(&to), sizeof to) >= 0;
    std::array<std::byte, 1024> packet{};
    // A raw socket also reads our own request on loopback: skip to the reply.
    for (int read = 0; answered && read < 4; ++read) {
        const ssize_t length = ::recv(descriptor, packet.data(), packet.size(), 0);
        answered = length > 0;
        const std::size_t icmpAt = type == SOCK_RAW ? 20 : 0;
        if (answered && static_cast<std::size_t>(length) > icmpAt + 8 &&
            packet[icmpAt] == std::byte{0} &&
            (std::to_integer<int>(packet[icmpAt + 6]) << 8 |
             std::to_integer<int>(packet[icmpAt + 7])) == sequence)
            break;
    }
    ::close(descriptor);
    return answered;
}

Cost measureBare(SocketKindChoice kind, int count)
{
    const int type = kind == SocketKindChoice::RawOnly ? SOCK_RAW : SOCK_DGRAM;
    const auto data = testpackets::bytesOf(TestPayload);
    std::array<std::byte, 64> buffer{};
    int answered = 0;
    const double before = cpuMicrosecondsSoFar();
    for (int i = 0; i < count; ++i) {
        const auto sequence = static_cast<std::uint16_t>(i);
        const auto request = net::icmp::buildEchoRequest(buffer, 0x4242, sequence, data);
        answered += bareProbe(type, request, sequence);
    }
    return {(cpuMicrosecondsSoFar() - before) / count, answered};
}

std::optional<double> pingCpuMicroseconds(int count)
{
    const std::string countText = std::to_string(count);
    const char *argv[] = {"ping", "-q", "-f",     "-c",   countText.c_str(),
                          "-s",   "32", Loopback, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int spawned =
        ::posix_spawnp(&child, "ping", &actions, nullptr, const_cast<char *const *>(argv), environ);
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

void cpuRow(SocketKindChoice kind, const char *name, int count, const std::string &pingText)
{
    // Turns, so that a busy spell of the shared machine falls on both.
    constexpr int Rounds = 5;
    double ours = 0, bare = 0;
    int answered = 0, bareAnswered = 0;
    for (int round = 0; round < Rounds; ++round) {
        const Cost own = measureOurs(kind, count / Rounds);
        const Cost plain = measureBare(kind, count / Rounds);
        ours += own.cpuMicroseconds / Rounds;
        bare += plain.cpuMicroseconds / Rounds;
        answered += own.answered;
        bareAnswered += plain.answered;
    }
    const int probes = count / Rounds * Rounds;
    printRow(std::string("CPU per answered loopback probe, ") + name + " (" +
                 std::to_string(answered) + "/" + std::to_string(probes) + " answered)",
             formatNumber(ours, 2) + " us, " + formatNumber(ours / bare, 2) + "x the bare loop",
             "bare loop " + formatNumber(bare, 2) + " us (" + std::to_string(bareAnswered) + "/" +
                 std::to_string(probes) + "); " + pingText,
             "at most 1.1x the bare loop");
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
// helper's start and exit are counted too, spread over the probes.
Cost measureThroughHelper(int count)
{
    rusage childrenBefore{}, childrenAfter{};
    ::getrusage(RUSAGE_CHILDREN, &childrenBefore);
    const double before = cpuMicrosecondsSoFar();
    int answered = 0;
    {
        RealProbe probe(SocketKindChoice::HelperOnly);
        for (int i = 0; i < count; ++i)
            answered += probe.echo(LoopbackText).status == 0;
    }
    const double own = cpuMicrosecondsSoFar() - before;
    ::getrusage(RUSAGE_CHILDREN, &childrenAfter);
    const double helper = cpuMicroseconds(childrenAfter) - cpuMicroseconds(childrenBefore);
    return {(own + helper) / count, answered};
}

void helperRow(int count)
{
    constexpr int Rounds = 5;
    double helper = 0, datagram = 0, bare = 0;
    int answered = 0;
    const bool datagramHere = canOpen(SOCK_DGRAM);
    for (int round = 0; round < Rounds; ++round) {
        const Cost through = measureThroughHelper(count / Rounds);
        helper += through.cpuMicroseconds / Rounds;
        answered += through.answered;
        bare += measureBare(SocketKindChoice::RawOnly, count / Rounds).cpuMicroseconds / Rounds;
        if (datagramHere)
            datagram +=
                measureOurs(SocketKindChoice::DatagramOnly, count / Rounds).cpuMicroseconds /
                Rounds;
    }
    const int probes = count / Rounds * Rounds;
    printRow("CPU per answered loopback probe through the probe helper, both processes (" +
                 std::to_string(answered) + "/" + std::to_string(probes) + " answered)",
             formatNumber(helper, 2) + " us, " + formatNumber(helper / bare, 2) +
                 "x the bare raw loop",
             "bare raw loop " + formatNumber(bare, 2) + " us; in-process datagram " +
                 (datagramHere ? formatNumber(datagram, 2) + " us" : "n/a"),
             "at most 2x the bare loop");
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    const auto ping = pingCpuMicroseconds(count);
    const std::string pingText =
        "ping -f " + (ping ? formatNumber(*ping, 2) + " us (one socket for all)" : "n/a");
    std::string allocationText;
    const std::pair<SocketKindChoice, const char *> kinds[] = {
        {SocketKindChoice::DatagramOnly, "datagram"}, {SocketKindChoice::RawOnly, "raw"}};
    for (const auto &[kind, name] : kinds) {
        if (!canOpen(kind == SocketKindChoice::RawOnly ? SOCK_RAW : SOCK_DGRAM)) {
            printRow(std::string("CPU per answered loopback probe, ") + name,
                     "skipped: no such socket here", "-", "at most 1.1x the bare loop");
            continue;
        }
        cpuRow(kind, name, count, pingText);
        allocationText += (allocationText.empty() ? "" : ", ") +
                          std::to_string(allocationsOver(kind, count)) + " " + name;
    }
    if (canOpen(SOCK_RAW))
        helperRow(count);
    printRow("allocations per probe in the echo path (" + std::to_string(count) +
                 " EchoAddress calls per kind, counted by a malloc hook)",
             allocationText.empty() ? "skipped" : allocationText + " in all", "-", "0");
    return 0;
}
