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
    "INSERT INTO outages(run, start_ms, last_failure_ms, end_ms, lost, cause, mixed, ended_by) "
    "VALUES(?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT(run, start_ms) DO UPDATE SET "
    "last_failure_ms = excluded.last_failure_ms, end_ms = excluded.end_ms, "
    "lost = excluded.lost, cause = excluded.cause, mixed = excluded.mixed, "
    "ended_by = excluded.ended_by";

constexpr const char *UpdateVerdict =
    "UPDATE outages SET path_verdict = ?, side = nullif(?, '') WHERE start_ms = ? AND run IN "
    "(SELECT runs.id FROM runs JOIN hosts ON hosts.id = runs.host WHERE hosts.address = ?)";

// A slow period is written as it starts, with what made it slow, and again
// as it ends.
constexpr const char *UpsertSlowPeriod =
    "INSERT INTO slow_periods(host, start_ms, end_ms, figures) VALUES(?, ?, ?, ?) "
    "ON CONFLICT(host, start_ms) DO UPDATE SET end_ms = excluded.end_ms";

} // namespace

HistoryWriter::HistoryWriter(Connection connection)
    : m_connection(std::move(connection)),
      m_insertHost(m_connection.prepare("INSERT OR IGNORE INTO hosts(address) VALUES(?)")),
      m_selectHost(m_connection.prepare("SELECT id FROM hosts WHERE address = ?")),
      m_insertWatch(m_connection.prepare(
          "INSERT INTO watches(host, started_ms, through_ms) VALUES(?, ?, ?)")),
      m_updateThrough(m_connection.prepare("UPDATE watches SET through_ms = ? WHERE id = ?")),
      m_endWatch(m_connection.prepare(
          "UPDATE watches SET through_ms = ?, ended_ms = ?, end_reason = ? WHERE id = ?")),
      m_insertRun(m_connection.prepare("INSERT INTO runs(host, started_ms) VALUES(?, ?)")),
      m_insertProbe(m_connection.prepare(
          "INSERT INTO probes(run, at_ms, status, rtt_us, bytes) VALUES(?, ?, ?, ?, ?)")),
      m_insertMinute(prepareMinuteInsert(m_connection, ExistingMinute::Replace)),
      m_insertHour(prepareSummaryInsert(m_connection, Period::Hour, ExistingMinute::Replace)),
      m_upsertOutage(m_connection.prepare(UpsertOutage)),
      m_updateVerdict(m_connection.prepare(UpdateVerdict)),
      m_upsertSlowPeriod(m_connection.prepare(UpsertSlowPeriod))
{}

bool HistoryWriter::valid() const noexcept
{
    return m_insertHost.valid() && m_selectHost.valid() && m_insertWatch.valid() &&
           m_updateThrough.valid() && m_endWatch.valid() && m_insertRun.valid() &&
           m_insertProbe.valid() && m_insertMinute.valid() && m_insertHour.valid() &&
           m_upsertOutage.valid() && m_updateVerdict.valid() && m_upsertSlowPeriod.valid();
}

void HistoryWriter::addHost(std::string address)
{
    m_hosts.push_back(HostState{std::move(address), {}, {}, {}, {}, 0, {}});
}

bool HistoryWriter::write(const Batch &batch)
{
    return writeInTransaction(batch, Ending::WatchesGoOn);
}

bool HistoryWriter::writeLast(const Batch &batch)
{
    return writeInTransaction(batch, Ending::WatchesEnd);
}

bool HistoryWriter::writeInTransaction(const Batch &batch, Ending ending)
{
    // The hosts' watches, runs, minutes and outages as they were, to go back
    // to if the transaction is rolled back; a handful of hosts, twice a
    // second.
    std::vector<HostState> before = m_hosts;
    const auto finish = [&](HostState &host) {
        if (ending == Ending::WatchesEnd && host.watch) {
            return endWatch(host, std::max(host.watch->through, batch.handedOverAt),
                            WatchEndReason::Closed);
        }
        return writeOutage(host, OutageEnd::None) && writeThrough(host, batch.handedOverAt);
    };
    const bool written =
        m_connection.execute("BEGIN IMMEDIATE") && storeInOrder(batch) &&
        std::all_of(m_hosts.begin(), m_hosts.end(), finish) &&
        std::all_of(batch.verdicts.begin(), batch.verdicts.end(),
                    [this](const QueuedVerdict &verdict) { return storeVerdict(verdict); }) &&
        std::all_of(batch.slowPeriods.begin(), batch.slowPeriods.end(),
                    [this](const QueuedSlowPeriod &period) { return storeSlowPeriod(period); }) &&
        m_connection.execute("COMMIT");
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

// The probes with the watches' starts and ends where they were queued.
bool HistoryWriter::storeInOrder(const Batch &batch)
{
    auto change = batch.watches.begin();
    for (std::size_t index = 0; index <= batch.probes.size(); ++index) {
        for (; change != batch.watches.end() && change->position <= index; ++change) {
            if (!changeWatch(*change))
                return false;
        }
        if (index < batch.probes.size() && !storeProbe(batch.probes[index]))
            return false;
    }
    return true;
}

bool HistoryWriter::changeWatch(const QueuedWatchChange &change)
{
    if (change.host >= m_hosts.size())
        return true;
    HostState &host = m_hosts[change.host];
    if (change.end)
        return !host.watch || endWatch(host, change.at, *change.end);
    return host.watch || startWatch(host, change.at);
}

bool HistoryWriter::startWatch(HostState &host, Milliseconds at)
{
    const std::optional<std::int64_t> id = hostId(host.address);
    if (!id || !m_insertWatch.bind(1, *id).bind(2, at).bind(3, at).run())
        return false;
    host.watch = Watch{m_connection.lastInsertedRow(), at, at};
    return true;
}

// An outage under way ends with the watch, not by an answer: from then on
// nobody knows whether the host was up or down.
bool HistoryWriter::endWatch(HostState &host, Milliseconds at, WatchEndReason why)
{
    if (host.outage) {
        host.outage->end = std::max(at, host.outage->lastFailure);
        if (!writeOutage(host, OutageEnd::NotWatched))
            return false;
        host.outage.reset();
    }
    const Watch &watch = *host.watch;
    const Milliseconds ended = std::max(at, watch.started);
    if (!endRun(host) || !m_endWatch.bind(1, std::max(watch.through, ended))
                              .bind(2, ended)
                              .bindOptionalText(3, reasonText(why))
                              .bind(4, watch.id)
                              .run())
        return false;
    host.watch.reset();
    return true;
}

// How far the watch went: a killed program's watch ends there.
bool HistoryWriter::writeThrough(HostState &host, Milliseconds handedOverAt)
{
    if (!host.watch)
        return true;
    Watch &watch = *host.watch;
    if (handedOverAt >= watch.started)
        watch.through = std::max(watch.through, handedOverAt);
    return m_updateThrough.bind(1, watch.through).bind(2, watch.id).run();
}

bool HistoryWriter::storeProbe(const QueuedProbe &probe)
{
    if (probe.host >= m_hosts.size())
        return true;
    HostState &host = m_hosts[probe.host];
    const Milliseconds sentAt = probe.sample.sentAt();
    if (!host.watch && !startWatch(host, sentAt))
        return false;
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
    host.watch->through = std::max(host.watch->through, kept.sentAt());
    return stored && addToMinute(host, kept) && trackOutage(host, kept);
}

// The run the host had ends: its minute under way is written and its
// outage, if one was going on, stays as far as it went.
bool HistoryWriter::startRun(HostState &host, Milliseconds sentAt)
{
    if (!endRun(host))
        return false;
    host.outage.reset();
    const std::optional<std::int64_t> id = hostId(host.address);
    if (!id || !m_insertRun.bind(1, *id).bind(2, sentAt).run())
        return false;
    // lastAt starts one before the first offset, which is 0.
    host.run = Run{m_connection.lastInsertedRow(), sentAt, -1};
    return true;
}

bool HistoryWriter::endRun(HostState &host)
{
    if (host.run && !(writeMinute(host) && writeHour(host)))
        return false;
    host.run.reset();
    return true;
}

// The minute under way, which also goes into its hour: an hour is written
// once a minute of the next one is.
bool HistoryWriter::writeMinute(HostState &host)
{
    if (host.minute.empty())
        return true;
    const StoredMinute minute = host.minute.take();
    if (!host.hour.empty() && hourOf(minute.minuteStart) != host.hourStart && !writeHour(host))
        return false;
    host.hourStart = hourOf(minute.minuteStart);
    host.hour.add(minute);
    return insertMinute(m_insertMinute, host.run->id, minute);
}

bool HistoryWriter::writeHour(HostState &host)
{
    return host.hour.empty() ||
           insertMinute(m_insertHour, host.run->id, host.hour.take(host.hourStart));
}

// Asked again at each watch and run: retention drops a host nothing is
// left of, and a later watch makes it anew.
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
    if (host.minute.minuteStart() != minuteOf(sample.sentAt()) && !writeMinute(host))
        return false;
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
        const bool written = writeOutage(host, OutageEnd::Answer);
        host.outage.reset();
        return written;
    }
    const bool starts = !host.outage;
    if (starts) {
        host.outage.emplace();
        host.outage->start = sample.sentAt();
    }
    host.outage->addFailure(sample.sentAt(), sample.status());
    return !starts || writeOutage(host, OutageEnd::None);
}

bool HistoryWriter::writeOutage(const HostState &host, OutageEnd endedBy)
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
        .bindOptionalText(8, outageEndText(endedBy))
        .run();
}

bool HistoryWriter::storeVerdict(const QueuedVerdict &verdict)
{
    if (verdict.host >= m_hosts.size())
        return true;
    return m_updateVerdict.bind(1, verdict.verdict)
        .bind(2, verdict.side)
        .bind(3, verdict.outageStart)
        .bind(4, m_hosts[verdict.host].address)
        .run();
}

bool HistoryWriter::storeSlowPeriod(const QueuedSlowPeriod &period)
{
    if (period.host >= m_hosts.size())
        return true;
    const std::optional<std::int64_t> id = hostId(m_hosts[period.host].address);
    return id && m_upsertSlowPeriod.bind(1, *id)
                     .bind(2, period.start)
                     .bindOptional(3, period.end)
                     .bind(4, std::string_view(period.figures))
                     .run();
}

} // namespace store
