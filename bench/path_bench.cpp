// Tracing the chained lab's path (scripts/lab.sh chain): how long the hop
// prober takes to its first complete round and how fast it sends, and what a
// request limited by TTL costs beside a plain one on the same path, on each
// way of sending. Runs inside the chained lab's client namespace.
//
//   path_bench trace HOST [WHAT]   the first round, every TTL in flight
//   path_bench down HOST HOST_HOP WHAT  the trace at the down, the host silent
//   path_bench cpu HOST TTL COUNT
#include "bench_table.h"

#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/helper/probe_helper_library.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/user_pace.h"
#include "echowatch/path/hop_prober.h"
#include "echowatch/path/path_verdict.h"
#include "support/echo_record.h"
#include "support/packet_builder.h"
#include "support/real_probe.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using helper::SocketKindChoice;
using Clock = std::chrono::steady_clock;

struct Way
{
    SocketKindChoice choice;
    const char *name;
};

constexpr Way Ways[] = {{SocketKindChoice::DatagramOnly, "datagram socket"},
                        {SocketKindChoice::RawOnly, "raw socket"},
                        {SocketKindChoice::HelperOnly, "helper"}};

// Time a process has run on a CPU, in nanoseconds, from the scheduler's own
// count: fine enough for a few hundred probes.
double cpuNanoseconds(pid_t process)
{
    std::ifstream stat("/proc/" + std::to_string(process) + "/schedstat");
    double onCpu = 0;
    stat >> onCpu;
    return onCpu;
}

// This process's, and the helper's where the probes went through one.
double cpuOfProbing(net::IcmpEchoLibrary &library, SocketKindChoice choice)
{
    double total = cpuNanoseconds(::getpid());
    if (choice == SocketKindChoice::HelperOnly) {
        const auto &client = static_cast<helper::ProbeHelperLibrary &>(library).client();
        if (client.helperProcess() > 0)
            total += cpuNanoseconds(client.helperProcess());
    }
    return total;
}

// Notes when each request goes out, on its way to the real service's
// requests in flight.
class SendTimes final : public net::IcmpEchoHandle, private net::EchoFlight
{
public:
    explicit SendTimes(net::IcmpEchoHandle &handle) : m_handle(handle), m_flight(*handle.flight())
    {
        m_sent.reserve(256);
    }

    using net::IcmpEchoHandle::echo;
    net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte> data,
                          std::chrono::milliseconds timeout, net::TimeToLive ttl) noexcept override
    {
        return m_handle.echo(destination, data, timeout, ttl);
    }
    net::EchoFlight *flight() noexcept override { return this; }

    // Requests per second from the first send to the last.
    double rate() const
    {
        const std::chrono::duration<double> span = m_sent.back() - m_sent.front();
        return m_sent.size() > 1 ? (m_sent.size() - 1) / span.count() : 0;
    }
    std::size_t requests() const { return m_sent.size(); }

private:
    net::FlightTag send(const net::FlightRequest &request) noexcept override
    {
        m_sent.push_back(Clock::now());
        return m_flight.send(request);
    }
    std::size_t collect(Clock::time_point deadline, net::FlightSink &sink) noexcept override
    {
        return m_flight.collect(deadline, sink);
    }
    std::size_t outstanding() const noexcept override { return m_flight.outstanding(); }

    net::IcmpEchoHandle &m_handle;
    net::EchoFlight &m_flight;
    std::vector<Clock::time_point> m_sent;
};

double milliseconds(Clock::duration span)
{
    return std::chrono::duration<double, std::milli>(span).count();
}

void traceRow(const Way &way, std::uint32_t host, const std::string &what)
{
    auto library = helper::makeEchoLibrary(way.choice, RealProbe::builtHelperPath());
    auto handle = library->IcmpCreateFile().handle;
    SendTimes timed(*handle);
    path::SteadyPaceClock clock;
    path::HopProber prober(timed, clock);
    const auto start = Clock::now();
    prober.runRound(host);
    const auto took = milliseconds(Clock::now() - start);
    const auto &table = prober.table();
    printRow("path round of the chained lab" + what + ", first complete round, " +
                 std::string(way.name),
             std::to_string(table.hops.size()) + " hops (host at hop " +
                 std::to_string(table.hostHop()) + ") in " + formatNumber(took, 1) +
                 " ms (opening the socket or starting the helper included); " +
                 std::to_string(timed.requests()) + " requests, " +
                 formatNumber(timed.rate(), 0) + " per second",
             "ping as a user: at most 100 per second unanswered, 500 answered",
             "about 500 ms and the pace with silent hops; no faster than ping");
}

// The trace at the down, three requests to each silent hop: its time to the
// verdict and its pace.
void downTraceRow(const Way &way, std::uint32_t host, int hostHop, const std::string &what)
{
    auto library = helper::makeEchoLibrary(way.choice, RealProbe::builtHelperPath());
    auto handle = library->IcmpCreateFile().handle;
    handle->echo(host, testpackets::bytesOf(TestPayload), 500ms, 1); // opens, starts
    SendTimes timed(*handle);
    path::SteadyPaceClock clock;
    path::HopProber prober(timed, clock);
    const auto start = Clock::now();
    prober.runTrace(host, 3, hostHop);
    const auto took = milliseconds(Clock::now() - start);
    printRow("trace at the down, the host silent (its hop known, " + what + "), " +
                 std::string(way.name),
             "\"" + path::judgeTrace(prober.table(), hostHop).words + "\" in " +
                 formatNumber(took, 1) + " ms; " + std::to_string(timed.requests()) +
                 " requests, " + formatNumber(timed.rate(), 0) + " per second",
             "ping as a user: at most 100 per second unanswered",
             "under 2 s; no faster than ping");
}

// The mean cost of count requests with ttl (0: the system's). Both kinds go
// out at the same pace, the slower one ping keeps for unanswered requests:
// a process that sleeps longer between requests finds its caches colder,
// which would be counted against the hop probe.
double cpuPerProbe(const Way &way, std::uint32_t host, net::TimeToLive ttl, int count,
                   int &unexpected)
{
    auto library = helper::makeEchoLibrary(way.choice, RealProbe::builtHelperPath());
    auto handle = library->IcmpCreateFile().handle;
    const auto data = testpackets::bytesOf(TestPayload);
    const auto expected =
        ttl == net::SystemTtl ? icmp::IpStatus::Success : icmp::IpStatus::TtlExpiredTransit;
    handle->echo(host, data, 500ms, ttl); // starts the helper, opens the socket
    const double before = cpuOfProbing(*library, way.choice);
    for (int probe = 0; probe < count; ++probe) {
        const auto outcome = handle->echo(host, data, 500ms, ttl);
        unexpected += outcome.status != expected;
        std::this_thread::sleep_for(net::UserPace::UnansweredSpacing);
    }
    return (cpuOfProbing(*library, way.choice) - before) / count / 1e3;
}

void cpuRows(std::uint32_t host, net::TimeToLive ttl, int count)
{
    for (const auto &way : Ways) {
        int unexpected = 0;
        const double plain = cpuPerProbe(way, host, net::SystemTtl, count, unexpected);
        const double hop = cpuPerProbe(way, host, ttl, count, unexpected);
        printRow("CPU per hop probe (TTL " + std::to_string(ttl) + ", time-exceeded), " + way.name +
                     ", " + std::to_string(count) + " probes each",
                 formatNumber(hop, 1) + " us (" + formatNumber(hop / plain, 2) +
                     "x the plain probe); " + std::to_string(unexpected) + " unexpected outcomes",
                 "plain probe to the host: " + formatNumber(plain, 1) + " us",
                 "at most 1.25x the plain probe");
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() >= 2 && arguments[0] == "trace") {
        const auto host = testpackets::address(arguments[1].c_str());
        const std::string what = arguments.size() > 2 ? " (" + arguments[2] + ")" : "";
        for (const auto &way : Ways)
            traceRow(way, host, what);
        return 0;
    }
    if (arguments.size() == 4 && arguments[0] == "down") {
        const auto host = testpackets::address(arguments[1].c_str());
        for (const auto &way : Ways)
            downTraceRow(way, host, std::stoi(arguments[2]), arguments[3]);
        return 0;
    }
    if (arguments.size() == 4 && arguments[0] == "cpu") {
        cpuRows(testpackets::address(arguments[1].c_str()),
                static_cast<net::TimeToLive>(std::stoi(arguments[2])), std::stoi(arguments[3]));
        return 0;
    }
    std::fprintf(stderr, "usage: path_bench trace HOST [WHAT] | path_bench down HOST HOST_HOP "
                         "WHAT | path_bench cpu HOST TTL COUNT\n");
    return 2;
}
