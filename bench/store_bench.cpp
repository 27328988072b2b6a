// The history file's figures: CPU per appended probe on the writing thread
// and on the caller's, bytes on disk per probe, reading a host's history
// from files of 1,000,000 and 2,592,000 probes, a file of a year at 1 s
// (its size, and reading a year, 90 days and a day of it for a chart), and,
// given a count, the appender fed a probe a millisecond for that many
// probes with its memory before and after.
//
//   store_bench            every row but the soak
//   store_bench year       the rows of a file of a year
//   store_bench soak N     the soak of N probes
#include "bench_table.h"
#include "process_figures.h"
#include "stored_probes.h"

#include "echowatch/store/history_appender.h"
#include "echowatch/store/history_reader.h"
#include "echowatch/store/history_writer.h"
#include "echowatch/store/span_reader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using history::Milliseconds;
using history::ProbeSample;

constexpr Milliseconds Start = 1'800'000'000'000;
constexpr const char *Host = "192.0.2.1";
// A commit every 500 ms of probes sent every millisecond. Files of probes
// a second apart are made in batches as large, rather than one commit (and
// one fsync) a probe: the rows, hence the file, are the same.
constexpr std::int64_t ProbesPerBatch = 500;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

ProbeSample probeNumber(std::int64_t index, Milliseconds interval)
{
    return ::probeNumber(index, Start, interval);
}

double writeProbes(const std::string &file, std::int64_t count, Milliseconds interval,
                   std::int64_t perBatch)
{
    return ::writeProbes(file, Host, Start, count, interval, perBatch);
}

void benchWriting(const BenchFolder &folder)
{
    constexpr std::int64_t Probes = 1'000'000;
    const double seconds = writeProbes(folder.file("write.sqlite"), Probes, 1, ProbesPerBatch);
    printRow("history file, CPU per appended probe on the writing thread (1,000,000 at 1 ms)",
             formatNumber(seconds * 1e6 / Probes, 2) + " µs", "-", "< 5 µs");
    const auto file = folder.file("bytes.sqlite");
    writeProbes(file, Probes, 1000, ProbesPerBatch);
    const double bytes = static_cast<double>(std::filesystem::file_size(file));
    printRow("history file, bytes on disk per probe (1,000,000 at 1 s, with minutes and outages)",
             formatNumber(bytes / Probes, 1) + " bytes", "16 bytes (the record in memory)",
             "<= 32 bytes");
}

// What the window's thread pays for each probe it hands over.
void benchAppending(const BenchFolder &folder)
{
    constexpr int Probes = 500'000;
    store::HistoryAppender appender(
        {folder.file("append.sqlite"), {}, std::chrono::milliseconds{500}, {}});
    const double before = threadCpuSeconds();
    for (int index = 0; index < Probes; ++index)
        appender.append(Host, probeNumber(index, 1));
    const double seconds = threadCpuSeconds() - before;
    printRow("history file, CPU per probe on the window's thread (queueing 500,000)",
             formatNumber(seconds * 1e9 / Probes, 0) + " ns", "-", "-");
}

void benchReading(const std::string &file, std::int64_t probes, history::TimeSpan span,
                  const std::string &figure, const std::string &goal)
{
    const auto start = Clock::now();
    store::Connection connection = openFile(file, store::Access::ReadOnly);
    std::string error;
    const std::optional<store::HostHistory> read =
        store::readHostHistory(connection, Host, span, store::DefaultProbesInFull, error);
    const double milliseconds = millisecondsSince(start);
    if (!read) {
        std::fprintf(stderr, "read: %s\n", error.c_str());
        std::exit(1);
    }
    printRow(figure + " (" + std::to_string(read->probes.size()) + " in full, " +
                 std::to_string(read->minutes.size()) + " minutes, of " + std::to_string(probes) +
                 ")",
             formatNumber(milliseconds, 0) + " ms", "-", goal);
}

void benchLoading(const BenchFolder &folder)
{
    const std::string million = folder.file("million.sqlite");
    writeProbes(million, 1'000'000, 1000, ProbesPerBatch);
    benchReading(million, 1'000'000, {Start, Start + 1'000'000'000},
                 "history file, reading a host's 1,000,000 probes", "< 500 ms");
    constexpr std::int64_t ThirtyDays = 30 * 24 * 3600;
    const std::string month = folder.file("month.sqlite");
    writeProbes(month, ThirtyDays, 1000, ProbesPerBatch);
    benchReading(month, ThirtyDays, {Start, Start + ThirtyDays * 1000},
                 "history file, reading 30 days at 1 s", "< 1 s");
    benchReading(month, ThirtyDays,
                 {Start + (ThirtyDays - 24 * 3600) * 1000, Start + ThirtyDays * 1000},
                 "history file, reading the last 24 hours of 30 days at 1 s", "-");
}

const char *detailText(store::SpanDetail detail)
{
    switch (detail) {
    case store::SpanDetail::Probes:
        return "probe by probe";
    case store::SpanDetail::Minutes:
        return "by the minute";
    case store::SpanDetail::Hours:
        break;
    }
    return "by the hour";
}

// A chart's worth of the span, as the History window asks for it: the best
// of three reads, from opening the file to holding the columns, the file in
// the page cache.
void benchSpan(const std::string &file, history::TimeSpan span, const std::string &figure)
{
    constexpr std::size_t Columns = 1920;
    double best = 0;
    std::optional<store::HostSpan> read;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const auto start = Clock::now();
        store::Connection connection = openFile(file, store::Access::ReadOnly);
        std::string error;
        read = store::readSpan(connection, Host, span, Columns, error);
        const double milliseconds = millisecondsSince(start);
        if (!read) {
            std::fprintf(stderr, "read: %s\n", error.c_str());
            std::exit(1);
        }
        best = attempt == 0 ? milliseconds : std::min(best, milliseconds);
    }
    printRow(figure + " into 1,920 columns (" +
                 detailText(read->detail) + ", " +
                 std::to_string(read->statistics.transmitted) + " probes, " +
                 std::to_string(read->outages.size()) + " outages)",
             formatNumber(best, 0) + " ms", "-", "< 200 ms");
}

// A host probed a second for a year, with the default retention.
void benchYear(const BenchFolder &folder)
{
    const std::string file = folder.file("year.sqlite");
    const Milliseconds end = Start + 365 * store::MillisecondsPerDay;
    writeYear(file, Host, end);
    const double megabytes = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
    printRow("history file of one host at 1 s for a year, default retention (30 days of "
             "probes, a year of minutes and hours): size",
             formatNumber(megabytes, 1) + " MB", "-", "< 100 MB");
    benchSpan(file, {end - 365 * store::MillisecondsPerDay, end},
              "history file of a year, reading the year for a chart");
    benchSpan(file, {end - 90 * store::MillisecondsPerDay, end},
              "history file of a year, reading the last 90 days for a chart");
    benchSpan(file, {end - store::MillisecondsPerDay, end},
              "history file of a year, reading the last day for a chart");
}

// A probe a millisecond, as the window's fastest interval sends them, with
// the process's memory at a tenth, half and the end of the run. SQLite's
// page cache (2 MB by default) fills in the first part.
void soak(std::int64_t probes)
{
    BenchFolder folder;
    store::HistoryAppender appender(
        {folder.file("soak.sqlite"), {}, std::chrono::milliseconds{500}, {}});
    const auto start = Clock::now();
    std::string memory;
    for (std::int64_t index = 0; index < probes; ++index) {
        appender.append(Host, probeNumber(index, 1));
        if (index + 1 == probes / 10 || index + 1 == probes / 2 || index + 1 == probes)
            memory += formatNumber(static_cast<double>(residentBytes()) / 1048576, 1) +
                      (index + 1 == probes ? " MiB" : ", ");
        std::this_thread::sleep_until(start + std::chrono::milliseconds{index + 1});
    }
    const double seconds = millisecondsSince(start) / 1000;
    printRow("history file soak, " + std::to_string(probes) + " probes at 1 ms in " +
                 formatNumber(seconds, 0) + " s: resident memory at 10%, 50% and the end",
             memory + " (" + std::to_string(appender.droppedProbes()) + " dropped)", "-", "flat");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "soak") {
        soak(std::atoll(argv[2]));
        return 0;
    }
    BenchFolder folder;
    if (argc == 2 && std::string(argv[1]) == "year") {
        benchYear(folder);
        return 0;
    }
    benchWriting(folder);
    benchAppending(folder);
    benchLoading(folder);
    benchYear(folder);
    return 0;
}
