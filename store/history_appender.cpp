#include "echowatch/store/history_appender.h"

#include "echowatch/store/sqlite_connection.h"

#include <algorithm>
#include <filesystem>

namespace store {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::chrono::hours RetentionInterval{1};
// The most one commit interval gives the retention; what is left is taken
// up at the next.
constexpr std::chrono::seconds RetentionSlice{1};

Milliseconds wallClockNow()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// What is queued joins what a failed write left, as long as the two fit in
// MaximumQueued; the newest beyond that are counted as dropped, and the
// watches' changes among them keep their order after the probes kept.
void takeQueued(Batch &queued, Batch &batch, std::atomic<std::uint64_t> &dropped)
{
    const Milliseconds handedOverAt = wallClockNow();
    if (batch.empty()) {
        std::swap(queued, batch);
        batch.handedOverAt = handedOverAt;
        return;
    }
    const std::size_t before = batch.probes.size();
    const std::size_t room =
        HistoryAppender::MaximumQueued - std::min(before, HistoryAppender::MaximumQueued);
    const std::size_t taken = std::min(room, queued.probes.size());
    batch.probes.insert(batch.probes.end(), queued.probes.begin(), queued.probes.begin() + taken);
    dropped += queued.probes.size() - taken;
    std::move(queued.verdicts.begin(), queued.verdicts.end(), std::back_inserter(batch.verdicts));
    std::move(queued.slowPeriods.begin(), queued.slowPeriods.end(),
              std::back_inserter(batch.slowPeriods));
    for (QueuedWatchChange change : queued.watches) {
        change.position = before + std::min(change.position, taken);
        batch.watches.push_back(change);
    }
    batch.handedOverAt = handedOverAt;
    queued.clear();
}

} // namespace

HistoryAppender::HistoryAppender(AppenderOptions options)
    : m_options(std::move(options)), m_thread([this] { writeLoop(); })
{}

// The appenders closed in the background, until their threads end. Never
// destroyed: a writing thread still at work when the program exits must not
// find it gone.
class HistoryAppender::Closing
{
public:
    static Closing &instance()
    {
        static Closing *const closing = new Closing;
        return *closing;
    }

    void add(std::unique_ptr<HistoryAppender> appender)
    {
        std::vector<std::unique_ptr<HistoryAppender>> ended;
        {
            std::lock_guard lock(m_mutex);
            ended = takeEnded();
            m_appenders.push_back(std::move(appender));
        }
        // Their threads have ended: joining them is at once.
    }

    // Called by a writing thread as it ends.
    void finished(HistoryAppender &appender)
    {
        {
            std::lock_guard lock(m_mutex);
            appender.m_finished = true;
        }
        m_ended.notify_all();
    }

    bool waitForAll(std::chrono::milliseconds bound)
    {
        std::vector<std::unique_ptr<HistoryAppender>> ended;
        std::unique_lock lock(m_mutex);
        const bool all = m_ended.wait_for(lock, bound, [this] {
            return std::all_of(m_appenders.begin(), m_appenders.end(),
                               [](const auto &appender) { return appender->m_finished; });
        });
        ended = takeEnded();
        lock.unlock();
        return all;
    }

private:
    std::vector<std::unique_ptr<HistoryAppender>> takeEnded()
    {
        std::vector<std::unique_ptr<HistoryAppender>> ended;
        for (auto &appender : m_appenders) {
            if (appender->m_finished)
                ended.push_back(std::move(appender));
        }
        std::erase(m_appenders, nullptr);
        return ended;
    }

    std::mutex m_mutex;
    std::condition_variable m_ended;
    std::vector<std::unique_ptr<HistoryAppender>> m_appenders;
};

HistoryAppender::~HistoryAppender()
{
    stop(false);
    m_thread.join();
}

// Silenced, it waits for a warning being reported to be through, so that
// none reaches a reader that is gone once this returns.
void HistoryAppender::stop(bool silently)
{
    if (silently) {
        std::lock_guard lock(m_reporting);
        m_silent = true;
    }
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
}

void HistoryAppender::closeInBackground(std::unique_ptr<HistoryAppender> appender)
{
    if (!appender)
        return;
    appender->stop(true);
    Closing::instance().add(std::move(appender));
}

bool HistoryAppender::waitForClosed(std::chrono::milliseconds bound)
{
    return Closing::instance().waitForAll(bound);
}

std::uint32_t HistoryAppender::hostNumber(std::string_view host)
{
    if (m_lastHost < m_hosts.size() && m_hosts[m_lastHost] == host)
        return m_lastHost;
    const auto known = std::find(m_hosts.begin(), m_hosts.end(), host);
    m_lastHost = static_cast<std::uint32_t>(known - m_hosts.begin());
    if (known == m_hosts.end())
        m_hosts.emplace_back(host);
    return m_lastHost;
}

void HistoryAppender::append(std::string_view host, const history::ProbeSample &sample)
{
    std::lock_guard lock(m_mutex);
    if (m_queued.probes.size() >= MaximumQueued) {
        ++m_dropped;
        return;
    }
    m_queued.probes.push_back(QueuedProbe{hostNumber(host), sample});
}

void HistoryAppender::startWatch(std::string_view host, Milliseconds at)
{
    std::lock_guard lock(m_mutex);
    m_queued.watches.push_back(
        QueuedWatchChange{hostNumber(host), m_queued.probes.size(), at, std::nullopt});
}

void HistoryAppender::endWatch(std::string_view host, Milliseconds at, WatchEndReason why)
{
    std::lock_guard lock(m_mutex);
    m_queued.watches.push_back(QueuedWatchChange{hostNumber(host), m_queued.probes.size(), at, why});
}

void HistoryAppender::notePathVerdict(std::string_view host, Milliseconds outageStart,
                                      std::string verdict, std::string side)
{
    std::lock_guard lock(m_mutex);
    m_queued.verdicts.push_back(
        QueuedVerdict{hostNumber(host), outageStart, std::move(verdict), std::move(side)});
}

void HistoryAppender::noteSlowPeriod(std::string_view host, Milliseconds start,
                                     std::optional<Milliseconds> end, std::string figures)
{
    std::lock_guard lock(m_mutex);
    m_queued.slowPeriods.push_back(
        QueuedSlowPeriod{hostNumber(host), start, end, std::move(figures)});
}

std::string HistoryAppender::warning() const
{
    std::lock_guard lock(m_mutex);
    return m_warning;
}

void HistoryAppender::writeLoop()
{
    std::optional<HistoryWriter> writer;
    Batch batch;
    auto deadline = SteadyClock::now();
    for (bool last = false; !last;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait_until(lock, deadline, [this] { return m_stopping; });
            last = m_stopping;
            takeQueued(m_queued, batch, m_dropped);
            if (writer) {
                for (; m_hostsGiven < m_hosts.size(); ++m_hostsGiven)
                    writer->addHost(m_hosts[m_hostsGiven]);
            }
        }
        deadline = std::max(deadline + m_options.commitInterval, SteadyClock::now());
        commit(writer, batch, last);
    }
    writer.reset();
    Closing::instance().finished(*this);
}

void HistoryAppender::commit(std::optional<HistoryWriter> &writer, Batch &batch, bool last)
{
    if (!writer && !openWriter(writer))
        return;
    if (batch.empty() && !last)
        return;
    const std::size_t count = batch.probes.size();
    if (!(last ? writer->writeLast(batch) : writer->write(batch))) {
        report(writer->lastError());
        return;
    }
    batch.clear();
    m_stored += count;
    m_commits = writer->commits();
    report({});
    retain(*writer);
}

bool HistoryAppender::openWriter(std::optional<HistoryWriter> &writer)
{
    const std::filesystem::path parent = std::filesystem::path(m_options.path).parent_path();
    std::error_code ignored;
    if (!parent.empty())
        std::filesystem::create_directories(parent, ignored);
    std::string error;
    std::optional<Connection> connection =
        Connection::open(m_options.path, Access::ReadWrite, error);
    if (!connection) {
        report(error);
        return false;
    }
    // Appending touches only the right edge of each table: a small page
    // cache keeps a long run's memory flat.
    connection->execute("PRAGMA cache_size = -1024");
    writer.emplace(std::move(*connection));
    if (!writer->valid()) {
        report(writer->connection().lastError());
        writer.reset();
        return false;
    }
    std::lock_guard lock(m_mutex);
    for (m_hostsGiven = 0; m_hostsGiven < m_hosts.size(); ++m_hostsGiven)
        writer->addHost(m_hosts[m_hostsGiven]);
    return true;
}

// Once soon after the file opens, then once an hour; a slice at a time,
// so that the probes queued meanwhile are committed in time, and never
// past the appender's end.
void HistoryAppender::retain(HistoryWriter &writer)
{
    static_assert(RetentionInterval > RetentionSlice);
    const auto now = SteadyClock::now();
    if (m_retainedAt && now - *m_retainedAt < RetentionInterval)
        return;
    bool cut = false;
    const GoOn goOn = [&] {
        std::lock_guard lock(m_mutex);
        cut = m_stopping || SteadyClock::now() - now >= RetentionSlice;
        return !cut;
    };
    std::string error;
    if (!applyRetention(writer.connection(), wallClockNow(), m_options.retention, error, goOn))
        report(error);
    if (!cut)
        m_retainedAt = now;
}

// Once as writing starts to fail, once as it works again.
void HistoryAppender::report(const std::string &problem)
{
    const std::string text = problem.empty()
                                 ? std::string()
                                 : "The history file " + m_options.path + " cannot be written (" +
                                       problem + "). Probing goes on; what the file holds is kept.";
    {
        std::lock_guard lock(m_mutex);
        if (text.empty() == m_warning.empty())
            return;
        m_warning = text;
    }
    std::lock_guard reporting(m_reporting);
    if (m_options.onWarning && !m_silent)
        m_options.onWarning(text);
}

} // namespace store
