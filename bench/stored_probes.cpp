#include "stored_probes.h"

#include "echowatch/history/outage_list.h"
#include "echowatch/store/history_writer.h"
#include "echowatch/store/minute_rows.h"
#include "echowatch/store/retention.h"

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

namespace {

void run(store::Connection &connection, const std::string &sql)
{
    if (!connection.execute(sql.c_str())) {
        std::fprintf(stderr, "%s: %s\n", sql.c_str(), connection.lastError().c_str());
        std::exit(1);
    }
}

void check(bool done, store::Connection &connection)
{
    if (!done) {
        std::fprintf(stderr, "insert: %s\n", connection.lastError().c_str());
        std::exit(1);
    }
}

// The rows of one run, as the writer would have left them.
class YearRows
{
public:
    YearRows(store::Connection &connection, history::Milliseconds runStart)
        : m_connection(connection), m_runStart(runStart),
          m_insertProbe(connection.prepare("INSERT INTO probes VALUES(1, ?, ?, ?, ?)")),
          m_insertMinute(store::prepareMinuteInsert(connection, store::ExistingMinute::Replace)),
          m_insertHour(store::prepareSummaryInsert(connection, store::Period::Hour,
                                                   store::ExistingMinute::Replace)),
          m_insertOutage(connection.prepare("INSERT INTO outages(run, start_ms, last_failure_ms, "
                                      "end_ms, lost, cause, mixed, ended_by) "
                                      "VALUES(1, ?, ?, ?, ?, ?, 0, 'answer')"))
    {}

    void add(const history::ProbeSample &sample, bool inFull)
    {
        if (!m_minute.empty() && m_minute.minuteStart() != store::minuteOf(sample.sentAt()))
            writeMinute();
        m_minute.add(sample);
        if (inFull) {
            const std::int64_t roundTrip = sample.roundTripMicroseconds();
            check(m_insertProbe.bind(1, sample.sentAt() - m_runStart)
                      .bind(2, std::int64_t{sample.status()})
                      .bindOptional(3, roundTrip < 0 ? std::nullopt
                                                     : std::optional<std::int64_t>(roundTrip))
                      .bind(4, std::int64_t{sample.replySize()})
                      .run(),
                  m_connection);
        }
        trackOutage(sample);
    }

    void finish()
    {
        writeMinute();
        check(store::insertMinute(m_insertHour, 1, m_hour.take(m_hourStart)), m_connection);
    }

private:
    void writeMinute()
    {
        const store::StoredMinute minute = m_minute.take();
        if (!m_hour.empty() && store::hourOf(minute.minuteStart) != m_hourStart)
            check(store::insertMinute(m_insertHour, 1, m_hour.take(m_hourStart)), m_connection);
        m_hourStart = store::hourOf(minute.minuteStart);
        m_hour.add(minute);
        check(store::insertMinute(m_insertMinute, 1, minute), m_connection);
    }

    void trackOutage(const history::ProbeSample &sample)
    {
        if (!sample.answered()) {
            if (!m_outage)
                m_outage.emplace().start = sample.sentAt();
            m_outage->addFailure(sample.sentAt(), sample.status());
            return;
        }
        if (!m_outage)
            return;
        check(m_insertOutage.bind(1, m_outage->start)
                  .bind(2, m_outage->lastFailure)
                  .bind(3, sample.sentAt())
                  .bind(4, static_cast<std::int64_t>(m_outage->probesLost))
                  .bind(5, std::int64_t{m_outage->cause()})
                  .run(),
              m_connection);
        m_outage.reset();
    }

    store::Connection &m_connection;
    history::Milliseconds m_runStart;
    store::Statement m_insertProbe;
    store::Statement m_insertMinute;
    store::Statement m_insertHour;
    store::Statement m_insertOutage;
    store::MinuteSummer m_minute;
    store::SummarySum m_hour;
    history::Milliseconds m_hourStart = 0;
    std::optional<history::Outage> m_outage;
};

} // namespace

void writeYear(const std::string &file, const std::string &host, history::Milliseconds end)
{
    constexpr std::int64_t Day = 24 * 3600;
    constexpr std::int64_t Seconds = 365 * Day;
    const history::Milliseconds start = end - Seconds * 1000;
    const std::int64_t probesFrom = Seconds - store::RetentionPolicy{}.probeDays * Day;
    store::Connection connection = openFile(file, store::Access::ReadWrite);
    const std::string from = std::to_string(start);
    const std::string to = std::to_string(end);
    run(connection, "BEGIN; INSERT INTO hosts(id, address) VALUES(1, '" + host +
                        "'); INSERT INTO watches VALUES(1, 1, " + from + ", " + to + ", " + to +
                        ", 'closed'); INSERT INTO runs VALUES(1, 1, " + from + "); COMMIT");
    YearRows rows(connection, start);
    for (std::int64_t second = 0; second < Seconds; ++second) {
        if (second % Day == 0)
            run(connection, second == 0 ? "BEGIN" : "COMMIT; BEGIN");
        rows.add(probeNumber(second, start, 1000), second >= probesFrom);
    }
    rows.finish();
    run(connection, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE)");
}
