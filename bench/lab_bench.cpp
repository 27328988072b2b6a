// The probe's timing against hosts in the network lab; runs inside the lab's
// client namespace (scripts/bench.sh sets that up).
//
//   lab_bench rtt ADDRESS COUNT PING_MIN PING_MEDIAN PING_MAX
//   lab_bench timeout ADDRESS COUNT LABEL
#include "bench_table.h"

#include "support/real_probe.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Probe
{
    EchoStatus status;
    std::uint32_t roundTripTime;
    double tookMilliseconds;
};

std::vector<Probe> probe(const std::string &address, int count)
{
    RealProbe probe;
    std::vector<Probe> probes;
    for (int i = 0; i < count; ++i) {
        const ProbeOutcome outcome = probe.echo(address);
        probes.push_back({outcome.status, outcome.reply.header.roundTripTime,
                          std::chrono::duration<double, std::milli>(outcome.took).count()});
    }
    return probes;
}

void rttRow(const std::string &address, int count, double pingMin, double pingMedian,
            double pingMax)
{
    const auto probes = probe(address, count);
    std::vector<std::uint32_t> times;
    int within = 0;
    for (const auto &p : probes) {
        if (p.status != 0)
            continue;
        times.push_back(p.roundTripTime);
        within += std::fabs(p.roundTripTime - pingMedian) <= 1.0;
    }
    std::sort(times.begin(), times.end());
    const std::string ours = times.empty()
                                 ? "no answer"
                                 : std::to_string(times.front()) + " / " +
                                       std::to_string(times[times.size() / 2]) + " / " +
                                       std::to_string(times.back()) + " ms (min/median/max); " +
                                       std::to_string(within) + " of " + std::to_string(count) +
                                       " within 1 ms of ping's median";
    printRow("RTT accuracy, lab host answering 40 ms late, " + std::to_string(count) + " probes",
             ours,
             formatNumber(pingMin, 2) + " / " + formatNumber(pingMedian, 2) + " / " +
                 formatNumber(pingMax, 2) + " ms",
             "every probe within 1 ms of ping's");
}

void timeoutRow(const std::string &address, int count, const std::string &label)
{
    const auto probes = probe(address, count);
    double shortest = 1e9, longest = 0;
    int timedOut = 0, inBounds = 0;
    for (const auto &p : probes) {
        shortest = std::min(shortest, p.tookMilliseconds);
        longest = std::max(longest, p.tookMilliseconds);
        timedOut += p.status == 11010;
        inBounds += p.tookMilliseconds >= 500 && p.tookMilliseconds <= 505;
    }
    printRow(label + ", " + std::to_string(count) + " probes",
             std::to_string(timedOut) + " timed out, calls took " + formatNumber(shortest, 1) +
                 " to " + formatNumber(longest, 1) + " ms; " + std::to_string(inBounds) +
                 " within 500-505 ms",
             "-", "every call between 500 and 505 ms");
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "rtt" && argc == 7)
        rttRow(argv[2], std::stoi(argv[3]), std::stod(argv[4]), std::stod(argv[5]),
               std::stod(argv[6]));
    else if (mode == "timeout" && argc == 5)
        timeoutRow(argv[2], std::stoi(argv[3]), argv[4]);
    else
        std::fprintf(stderr, "usage: lab_bench rtt ADDRESS COUNT PING_MIN PING_MEDIAN PING_MAX\n"
                             "       lab_bench timeout ADDRESS COUNT LABEL\n");
    return 0;
}
