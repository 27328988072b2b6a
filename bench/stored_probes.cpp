#include "stored_probes.h"

#include "echowatch/store/history_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

BenchFolder::BenchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "store-bench-XXXXXX");
    if (mkdtemp(pattern.data()) == nullptr)
        std::abort();
    m_path = pattern;
}

BenchFolder::~BenchFolder()
{
    std::filesystem::remove_all(m_path);
}

history::ProbeSample probeNumber(std::int64_t index, history::Milliseconds start,
                                 history::Milliseconds interval)
{
    const bool lost = index % 1000 < 20 && index >= 1000;
    return history::ProbeSample(start + index * interval, lost ? 11010 : 0,
                                lost ? -1 : 200 + index * 7919 % 1000, lost ? 0 : 32);
}

store::Connection openFile(const std::string &file, store::Access access)
{
    std::string error;
    std::optional<store::Connection> connection = store::Connection::open(file, access, error);
    if (!connection) {
        std::fprintf(stderr, "%s: %s\n", file.c_str(), error.c_str());
        std::exit(1);
    }
    return std::move(*connection);
}

double threadCpuSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_nsec) / 1e9;
}

double writeProbes(const std::string &file, const std::string &host, history::Milliseconds start,
                   std::int64_t count, history::Milliseconds interval, std::int64_t perBatch)
{
    store::HistoryWriter writer(openFile(file, store::Access::ReadWrite));
    writer.addHost(host);
    store::Batch batch;
    const double before = threadCpuSeconds();
    for (std::int64_t index = 0; index < count;) {
        batch.clear();
        for (std::int64_t end = std::min(count, index + perBatch); index < end; ++index)
            batch.probes.push_back(store::QueuedProbe{0, probeNumber(index, start, interval)});
        if (!(index == count ? writer.writeLast(batch) : writer.write(batch))) {
            std::fprintf(stderr, "write: %s\n", writer.lastError().c_str());
            std::exit(1);
        }
    }
    const double seconds = threadCpuSeconds() - before;
    writer.connection().execute("PRAGMA wal_checkpoint(TRUNCATE)");
    return seconds;
}
