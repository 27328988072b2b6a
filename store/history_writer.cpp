#include "echowatch/store/history_writer.h"

#include "echowatch/store/minute_rows.h"

#include <algorithm>

namespace store {

namespace {

// A wall clock set back by more than this starts a new run, so that a run's
// offsets keep rising; a smaller step (or two probes in one millisecond)
// moves a probe the few milliseconds after the one before it instead.
constexpr Milliseconds ClockStepBack = 1000;

constexpr const char *UpsertOutage =
    "INSERT INTO outages(run, start_ms, last_failure_ms, end_ms, lost, cause, mixed) "
    "VALUES(?, ?, ?, ?, ?, ?, ?) ON CONFLICT(run, start_ms) DO UPDATE SET "
    "last_failure_ms = excluded.last_failure_ms, end_ms = excluded.end_ms, "
    "lost = excluded.lost, cause = excluded.cause, mixed = excluded.mixed";

constexpr const char *UpdateVerdict =
    "UPDATE outages SET path_verdict = ? WHERE start_ms = ? AND run IN "
    "(SELECT runs.id FROM runs JOIN hosts ON hosts.id = runs.host WHERE hosts.address = ?)";

} // namespace

HistoryWriter::HistoryWriter(Connection connection)
    : m_connection(std::move(connection)),
      m_insertHost(m_connection.prepare("INSERT OR IGNORE INTO hosts(address) VALUES(?)")),
      m_selectHost(m_connection.prepare("SELECT id FROM hosts WHERE address = ?")),
      m_insertRun(m_connection.prepare("INSERT INTO runs(host, started_ms) VALUES(?, ?)")),
      m_insertProbe(m_connection.prepare(
          "INSERT INTO probes(run, at_ms, status, rtt_us, bytes) VALUES(?, ?, ?, ?, ?)")),
      m_insertMinute(prepareMinuteInsert(m_connection, ExistingMinute::Replace)),
      m_upsertOutage(m_connection.prepare(UpsertOutage)),
      m_updateVerdict(m_connection.prepare(UpdateVerdict))
{}

bool HistoryWriter::valid() const noexcept
{
    return m_insertHost.valid() && m_selectHost.valid() && m_insertRun.valid() &&
           m_insertProbe.valid() && m_insertMinute.valid() && m_upsertOutage.valid() &&
           m_updateVerdict.valid();
}

void HistoryWriter::addHost(std::string address)
{
    m_hosts.push_back(HostState{std::move(address), {}, {}, {}});
}

bool HistoryWriter::write(const Batch &batch)
{
    return writeInTransaction(batch, Ending::RunsGoOn);
}

bool HistoryWriter::writeLast(const Batch &batch)
{
    return writeInTransaction(batch, Ending::RunsEnd);
}

bool HistoryWriter::writeInTransaction(const Batch &batch, Ending ending)
{
    // The hosts' runs, minutes and outages as they were, to go back to if
    // the transaction is rolled back; a handful of hosts, twice a second.
    std::vector<HostState> before = m_hosts;
    const bool written =
        m_connection.execute("BEGIN IMMEDIATE") &&
        std::all_of(batch.probes.begin(), batch.probes.end(),
                    [this](const QueuedProbe &probe) { return storeProbe(probe); }) &&
        std::all_of(m_hosts.begin(), m_hosts.end(),
                    [this](const HostState &host) { return writeOutage(host); }) &&
        std::all_of(batch.verdicts.begin(), batch.verdicts.end(),
                    [this](const QueuedVerdict &verdict) { return storeVerdict(verdict); }) &&
        (ending == Ending::RunsGoOn || endRuns()) && m_connection.execute("COMMIT");
    if (written) {
        ++m_commits;
        return true;
    }
    m_error = m_connection.lastError();
    if (m_connection.inTransaction())
        m_connection.execute("ROLLBACK");
    m_hosts = std::move(before);
    return false;
}

bool HistoryWriter::storeProbe(const QueuedProbe &probe)
{
    if (probe.host >= m_hosts.size())
        return true;
    HostState &host = m_hosts[probe.host];
    const Milliseconds sentAt = probe.sample.sentAt();
    if (!host.run || sentAt < host.run->start + host.run->lastAt - ClockStepBack) {
        if (!startRun(host, sentAt))
            return false;
    }
    Run &run = *host.run;
    const Milliseconds at = std::max(sentAt - run.start, run.lastAt + 1);
    const history::ProbeSample &sample = probe.sample;
    const std::int64_t roundTrip = sample.roundTripMicroseconds();
    const bool stored =
        m_insertProbe.bind(1, run.id)
            .bind(2, at)
            .bind(3, std::int64_t{sample.status()})
            .bindOptional(4, roundTrip < 0 ? std::nullopt : std::optional<std::int64_t>(roundTrip))
            .bind(5, std::int64_t{sample.replySize()})
            .run();
    run.lastAt = at;
    const history::ProbeSample kept(run.start + at, sample.status(), roundTrip, sample.replySize());
    return stored && addToMinute(host, kept) && trackOutage(host, kept);
}

// The run the host had ends: its minute under way is written and its
// outage, if one was going on, stays as far as it went.
bool HistoryWriter::startRun(HostState &host, Milliseconds sentAt)
{
    if (host.run && !host.minute.empty() &&
        !insertMinute(m_insertMinute, host.run->id, host.minute))
        return false;
    host.minute = StoredMinute{};
    host.outage.reset();
    const std::optional<std::int64_t> id = hostId(host.address);
    if (!id || !m_insertRun.bind(1, *id).bind(2, sentAt).run())
        return false;
    // lastAt starts one before the first offset, which is 0.
    host.run = Run{m_connection.lastInsertedRow(), sentAt, -1};
    return true;
}

std::optional<std::int64_t> HistoryWriter::hostId(const std::string &address)
{
    if (!m_insertHost.bind(1, address).run())
        return std::nullopt;
    m_selectHost.bind(1, address);
    if (!m_selectHost.nextRow())
        return std::nullopt;
    const std::int64_t id = m_selectHost.integer(0);
    m_selectHost.reset();
    return id;
}

bool HistoryWriter::addToMinute(HostState &host, const history::ProbeSample &sample)
{
    const Milliseconds minute = minuteOf(sample.sentAt());
    if (!host.minute.empty() && host.minute.minuteStart != minute) {
        if (!insertMinute(m_insertMinute, host.run->id, host.minute))
            return false;
        host.minute = StoredMinute{};
    }
    host.minute.minuteStart = minute;
    host.minute.add(sample);
    return true;
}

// As the record's outage list counts them: probes never sent neither start
// nor end one. An outage is written as it starts and as it ends; between
// the two, once a commit.
bool HistoryWriter::trackOutage(HostState &host, const history::ProbeSample &sample)
{
    const history::ProbeKind kind = history::kindOf(sample.status());
    if (kind == history::ProbeKind::NotSent)
        return true;
    if (kind == history::ProbeKind::Answered) {
        if (!host.outage)
            return true;
        host.outage->end = sample.sentAt();
        const bool written = writeOutage(host);
        host.outage.reset();
        return written;
    }
    const bool starts = !host.outage;
    if (starts) {
        host.outage.emplace();
        host.outage->start = sample.sentAt();
    }
    host.outage->addFailure(sample.sentAt(), sample.status());
    return !starts || writeOutage(host);
}

bool HistoryWriter::writeOutage(const HostState &host)
{
    if (!host.outage)
        return true;
    const history::Outage &outage = *host.outage;
    return m_upsertOutage.bind(1, host.run->id)
        .bind(2, outage.start)
        .bind(3, outage.lastFailure)
        .bindOptional(4, outage.end)
        .bind(5, static_cast<std::int64_t>(outage.probesLost))
        .bind(6, std::int64_t{outage.cause()})
        .bind(7, std::int64_t{outage.mixed()})
        .run();
}

bool HistoryWriter::storeVerdict(const QueuedVerdict &verdict)
{
    if (verdict.host >= m_hosts.size())
        return true;
    return m_updateVerdict.bind(1, verdict.verdict)
        .bind(2, verdict.outageStart)
        .bind(3, m_hosts[verdict.host].address)
        .run();
}

bool HistoryWriter::endRuns()
{
    for (HostState &host : m_hosts) {
        if (host.run && !host.minute.empty() &&
            !insertMinute(m_insertMinute, host.run->id, host.minute))
            return false;
    }
    return true;
}

} // namespace store
