// What leaves the window: a /metrics scrape of one host over HTTP from the
// server's own thread (connect, request, whole answer), the exposition
// alone, and the live log's cost per line beside a bare write(2).
//
//   records_bench
#include "bench_table.h"

#include "echowatch/app/metrics_server.h"
#include "echowatch/app/worker_thread.h"
#include "echowatch/records/live_log.h"

#include <QCoreApplication>
#include <QSignalSpy>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr history::Milliseconds Start = 1'800'000'000'000;

double microsecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

records::LoggedProbe probeNumber(std::int64_t index)
{
    const bool lost = index % 1000 < 20;
    return {"router.lan",
            "192.0.2.1",
            Start + index,
            lost ? 11010 : 0,
            lost ? -1 : 200 + index * 7919 % 1000,
            lost ? 0 : 32};
}

// The answer's length once its header has come: the header and the body
// its Content-Length announces; 0 while the header is still incomplete.
std::size_t answerLength(const std::string &received)
{
    const std::size_t headerEnd = received.find("\r\n\r\n");
    if (headerEnd == std::string::npos)
        return 0;
    const std::string field = "content-length:";
    std::string header = received.substr(0, headerEnd);
    std::transform(header.begin(), header.end(), header.begin(),
                   [](unsigned char character) { return std::tolower(character); });
    const std::size_t at = header.find(field);
    if (at == std::string::npos)
        return 0;
    return headerEnd + 4 + std::strtoull(header.c_str() + at + field.size(), nullptr, 10);
}

// One HTTP/1.1 exchange on a new connection, as Prometheus makes one a
// scrape; the bytes of the answer, 0 on failure.
std::size_t scrapeOnce(quint16 port)
{
    const int connection = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string received;
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (::connect(connection, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0 &&
        ::write(connection, request.data(), request.size()) ==
            static_cast<ssize_t>(request.size())) {
        char buffer[1 << 14];
        ssize_t got = 0;
        while ((answerLength(received) == 0 || received.size() < answerLength(received)) &&
               (got = ::read(connection, buffer, sizeof buffer)) > 0)
            received.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(connection);
    return received.size();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void benchScrape()
{
    QObject owner;
    auto *server = new app::MetricsServer(QHostAddress::LocalHost, 0);
    QSignalSpy listening(server, &app::MetricsServer::listening);
    new app::WorkerThread(server, QStringLiteral("metrics"), &owner);
    QMetaObject::invokeMethod(server, &app::MetricsServer::listen, Qt::QueuedConnection);
    if (!listening.wait(10000))
        return;
    const auto port = listening.first().at(1).value<quint16>();
    // A day at 1 s, fed on the server's thread as the window feeds it.
    QMetaObject::invokeMethod(
        server,
        [server] {
            for (std::int64_t index = 0; index < 86'400; ++index)
                server->recordProbe(probeNumber(index));
        },
        Qt::BlockingQueuedConnection);

    constexpr int Scrapes = 2000;
    std::vector<double> times;
    std::size_t bytes = 0;
    for (int scrape = 0; scrape < Scrapes; ++scrape) {
        const auto start = Clock::now();
        bytes = scrapeOnce(port);
        times.push_back(microsecondsSince(start));
    }
    std::sort(times.begin(), times.end());
    printRow("/metrics scrape of one host over HTTP, median (p99) of 2,000",
             formatNumber(median(times) / 1000, 3) + " ms (" +
                 formatNumber(times[times.size() * 99 / 100] / 1000, 3) + " ms), " +
                 std::to_string(bytes) + " bytes",
             "-", "under 1 ms");

    records::MetricsRegistry registry;
    for (std::int64_t index = 0; index < 86'400; ++index)
        registry.recordProbe("router.lan", probeNumber(index).status, 250);
    const auto start = Clock::now();
    constexpr int Expositions = 20'000;
    std::size_t size = 0;
    for (int round = 0; round < Expositions; ++round)
        size += registry.exposition().size();
    printRow("/metrics text of one host, without HTTP",
             formatNumber(microsecondsSince(start) / Expositions, 2) + " us (" +
                 std::to_string(size / Expositions) + " bytes)",
             "-", "-");
}

void benchLog(records::LogFormat format, const char *name, const std::string &folder)
{
    constexpr int Lines = 200'000;
    const std::string path = folder + "/live." + name;
    records::LiveLog log(path, format);
    auto start = Clock::now();
    for (int index = 0; index < Lines; ++index)
        log.append(probeNumber(index));
    const double ours = microsecondsSince(start) / Lines;

    // The bare minimum: the same line, formatted once, appended by write(2)
    // to a file kept open, with no check for a rotated file.
    std::string line;
    records::LogLineWriter(format).append(line, probeNumber(0));
    const std::string barePath = folder + "/bare." + name;
    const int bare = ::open(barePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    start = Clock::now();
    for (int index = 0; index < Lines; ++index) {
        if (::write(bare, line.data(), line.size()) < 0)
            break;
    }
    const double peer = microsecondsSince(start) / Lines;
    ::close(bare);
    ::unlink(barePath.c_str());
    ::unlink(path.c_str());
    printRow(std::string("live log, time per appended line (") + name + ", 200,000 lines)",
             formatNumber(ours, 2) + " us", formatNumber(peer, 2) + " us (bare write)", "-");
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    benchScrape();
    std::string folder = "/tmp/echowatch-records-bench.XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr)
        return 1;
    benchLog(records::LogFormat::Csv, "csv", folder);
    benchLog(records::LogFormat::JsonLines, "jsonl", folder);
    ::rmdir(folder.c_str());
    return 0;
}
