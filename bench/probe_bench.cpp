// Cost of one answered probe to 127.0.0.1, the whole EchoAddress road (open,
// send, wait, close), against the system ping in flood mode, which sends the
// next request as soon as the reply is in.
#include "bench_table.h"

#include "support/real_probe.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Cost
{
    double cpuMicroseconds; // user + system per probe
    double wallMicroseconds;
};

double cpuMicroseconds(const rusage &usage)
{
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

Cost measureOurs(int count, std::vector<double> &perProbe, int &answered)
{
    RealProbe probe;
    rusage before{}, after{};
    ::getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    for (int i = 0; i < count; ++i) {
        const ProbeOutcome outcome = probe.echo(u"127.0.0.1");
        answered += outcome.status == 0;
        perProbe.push_back(std::chrono::duration<double, std::micro>(outcome.took).count());
    }
    const double wall = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    ::getrusage(RUSAGE_SELF, &after);
    return {(cpuMicroseconds(after) - cpuMicroseconds(before)) / count, wall / count};
}

std::optional<Cost> measurePing(int count)
{
    const std::string countText = std::to_string(count);
    const char *argv[] = {"ping", "-q", "-f",        "-c",   countText.c_str(),
                          "-s",   "32", "127.0.0.1", nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const auto start = Clock::now();
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
    const double wall = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    return Cost{cpuMicroseconds(usage) / count, wall / count};
}

double percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1))];
}

} // namespace

int main(int argc, char **argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    std::vector<double> perProbe;
    perProbe.reserve(static_cast<std::size_t>(count));
    int answered = 0;
    const Cost ours = measureOurs(count, perProbe, answered);
    const auto ping = measurePing(count);
    const std::string pingCpu = ping ? formatNumber(ping->cpuMicroseconds, 2) + " us" : "n/a";
    const std::string pingWall = ping ? formatNumber(ping->wallMicroseconds, 2) + " us" : "n/a";
    const std::string cpuRatio =
        ping ? ", ratio " + formatNumber(ours.cpuMicroseconds / ping->cpuMicroseconds, 2) : "";
    const std::string wallRatio =
        ping ? ", ratio " + formatNumber(ours.wallMicroseconds / ping->wallMicroseconds, 2) : "";

    printRow("CPU per answered probe, 127.0.0.1 (" + std::to_string(answered) + "/" +
                 std::to_string(count) + " answered)",
             formatNumber(ours.cpuMicroseconds, 2) + " us" + cpuRatio, pingCpu, "ratio <= 1.0");
    printRow("wall per answered probe, 127.0.0.1",
             formatNumber(ours.wallMicroseconds, 2) + " us" + wallRatio + "; median " +
                 formatNumber(percentile(perProbe, 0.5), 1) + " us, p99 " +
                 formatNumber(percentile(perProbe, 0.99), 1) + " us",
             pingWall, "ratio <= 1.5; p99 < 50 us");
    return 0;
}
