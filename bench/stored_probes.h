#pragma once

#include "echowatch/history/probe_sample.h"
#include "echowatch/store/sqlite_connection.h"

#include <cstdint>
#include <filesystem>
#include <string>

// History files as a run of probes leaves them, for the benchmarks that
// write, read and open them.

// A scratch folder, removed with what it holds.
class BenchFolder
{
public:
    BenchFolder();
    ~BenchFolder();
    BenchFolder(const BenchFolder &) = delete;
    BenchFolder &operator=(const BenchFolder &) = delete;
    std::string file(const std::string &name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// Mostly answers between 0.2 and 1.2 ms, every 1,000th probe opening a run
// of 20 timeouts, as the record's own benchmark has them.
history::ProbeSample probeNumber(std::int64_t index, history::Milliseconds start,
                                 history::Milliseconds interval);

// Ends the benchmark when the file cannot be opened.
store::Connection openFile(const std::string &file, store::Access access);

double threadCpuSeconds();

// A host probed a second for a year, until end, as the default retention
// leaves the file: one watch, the minute and hour summaries of the whole
// year, the last 30 days' probes in full, and the outages. Made by direct inserts in
// a transaction a day, not by probing.
void writeYear(const std::string &file, const std::string &host, history::Milliseconds end);

// Writes count probes of host from start, in batches as the appender makes
// them; returns the writing thread's CPU seconds.
double writeProbes(const std::string &file, const std::string &host, history::Milliseconds start,
                   std::int64_t count, history::Milliseconds interval, std::int64_t perBatch);
