// The most one probe helper sends for whoever drives it: requests back to
// back for a while, each as large as a packet allows, and the rate it kept.
// Run as the unprivileged user the figure is about (scripts/bench_lab.sh).
//
//   helper_rate_bench HELPER ADDRESS SECONDS TIMEOUT_MS DATA_BYTES
// prints: requests/s MB/s answered sent
#include "echowatch/helper/probe_helper_client.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fputs("usage: helper_rate_bench HELPER ADDRESS SECONDS TIMEOUT_MS DATA_BYTES\n",
                   stderr);
        return 2;
    }
    using Clock = std::chrono::steady_clock;
    helper::ProbeHelperClient client(argv[1]);
    const auto destination = ::inet_addr(argv[2]);
    const auto span = std::chrono::seconds(std::stoi(argv[3]));
    const auto timeout = std::chrono::milliseconds(std::stoi(argv[4]));
    const std::vector<std::byte> data(std::stoul(argv[5]), std::byte{'x'});
    client.echo(destination, data, timeout); // the helper's start is not its pace
    int sent = 0, answered = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < span) {
        answered += client.echo(destination, data, timeout).status == 0;
        ++sent;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("%.0f %.1f %d %d\n", sent / seconds,
                sent * static_cast<double>(data.size()) / seconds / 1e6, answered, sent);
    return 0;
}
