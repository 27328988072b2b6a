// The probe's timing against hosts in the network lab; runs inside the lab's
// client namespace (scripts/bench.sh sets that up, with the responder's plan
// and the load each row names). KIND is raw or datagram.
//
//   lab_bench rtt KIND ADDRESS COUNT PING_MIN PING_MEDIAN PING_MAX LABEL
//   lab_bench timeout KIND ADDRESS COUNT LABEL
//   lab_bench cpu KIND ADDRESS COUNT LABEL
#include "bench_table.h"

#include "echowatch/icmp/ip_status.h"
#include "support/real_probe.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

struct Probe
{
    EchoStatus status;
    std::uint32_t roundTripTime;
    double tookMilliseconds;
    double cpuMilliseconds;
};

double cpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

std::vector<Probe> probe(helper::SocketKindChoice kind, const std::string &address, int count)
{
    RealProbe probe(kind);
    std::vector<Probe> probes;
    for (int i = 0; i < count; ++i) {
        const double cpuBefore = cpuMilliseconds();
        const ProbeOutcome outcome = probe.echo(address);
        probes.push_back({outcome.status, outcome.reply.header.roundTripTime,
                          std::chrono::duration<double, std::milli>(outcome.took).count(),
                          cpuMilliseconds() - cpuBefore});
    }
    return probes;
}

template <typename Value> std::string minMedianMax(std::vector<Value> values, int decimals)
{
    if (values.empty())
        return "none";
    std::sort(values.begin(), values.end());
    const auto text = [decimals](Value value) {
        return formatNumber(static_cast<double>(value), decimals);
    };
    return text(values.front()) + " / " + text(values[values.size() / 2]) + " / " +
           text(values.back());
}

void rttRow(helper::SocketKindChoice kind, const std::string &address, int count, double pingMin,
            double pingMedian, double pingMax, const std::string &label)
{
    std::vector<std::uint32_t> times;
    int within = 0;
    for (const auto &p : probe(kind, address, count)) {
        if (p.status != icmp::IpStatus::Success)
            continue;
        times.push_back(p.roundTripTime);
        within += std::fabs(p.roundTripTime - pingMedian) <= 1.0;
    }
    printRow(label + ", " + std::to_string(count) + " probes",
             minMedianMax(times, 0) + " ms (min/median/max); " + std::to_string(within) + " of " +
                 std::to_string(count) + " within 1 ms of ping's median",
             "ping " + formatNumber(pingMin, 2) + " / " + formatNumber(pingMedian, 2) + " / " +
                 formatNumber(pingMax, 2) + " ms",
             "every probe within 1 ms of ping's median");
}

void timeoutRow(helper::SocketKindChoice kind, const std::string &address, int count,
                const std::string &label)
{
    std::vector<double> took;
    int timedOut = 0, inBounds = 0;
    for (const auto &p : probe(kind, address, count)) {
        took.push_back(p.tookMilliseconds);
        timedOut += p.status == icmp::IpStatus::ReqTimedOut;
        inBounds += p.tookMilliseconds >= 500 && p.tookMilliseconds <= 505;
    }
    printRow(label + ", " + std::to_string(count) + " probes",
             std::to_string(timedOut) + " timed out, calls took " + minMedianMax(took, 1) +
                 " ms (min/median/max); " + std::to_string(inBounds) + " within 500-505 ms",
             "-", "every call between 500 and 505 ms");
}

void cpuRow(helper::SocketKindChoice kind, const std::string &address, int count,
            const std::string &label)
{
    std::vector<double> cpu;
    int timedOut = 0;
    for (const auto &p : probe(kind, address, count)) {
        cpu.push_back(p.cpuMilliseconds);
        timedOut += p.status == icmp::IpStatus::ReqTimedOut;
    }
    printRow(label + ", " + std::to_string(count) + " probes",
             minMedianMax(cpu, 2) + " ms CPU per probe (min/median/max); " +
                 std::to_string(timedOut) + " timed out",
             "-", "under 5 ms");
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const auto argumentCount = arguments.size();
    if (argumentCount < 4 || (arguments[1] != "raw" && arguments[1] != "datagram")) {
        std::fprintf(stderr,
                     "usage: lab_bench rtt KIND ADDRESS COUNT PING_MIN PING_MEDIAN PING_MAX LABEL\n"
                     "       lab_bench timeout|cpu KIND ADDRESS COUNT LABEL\n"
                     "KIND: raw or datagram\n");
        return 2;
    }
    const auto &mode = arguments[0];
    const auto kind = arguments[1] == "raw" ? helper::SocketKindChoice::RawOnly
                                            : helper::SocketKindChoice::DatagramOnly;
    const auto &address = arguments[2];
    const int count = std::stoi(arguments[3]);
    if (mode == "rtt" && argumentCount == 8)
        rttRow(kind, address, count, std::stod(arguments[4]), std::stod(arguments[5]),
               std::stod(arguments[6]), arguments[7]);
    else if (mode == "timeout" && argumentCount == 5)
        timeoutRow(kind, address, count, arguments[4]);
    else if (mode == "cpu" && argumentCount == 5)
        cpuRow(kind, address, count, arguments[4]);
    else
        return 2;
    return 0;
}
