#include "echowatch/records/metrics_registry.h"

#include "echowatch/history/csv_text.h"

#include <algorithm>

namespace records {

namespace {

std::size_t bucketOf(std::int64_t roundTripMicroseconds)
{
    std::int64_t bound = FirstBucketMicroseconds;
    for (std::size_t bucket = 0; bucket < RoundTripBucketCount; ++bucket, bound *= 2) {
        if (roundTripMicroseconds <= bound)
            return bucket;
    }
    return RoundTripBucketCount;
}

// Seconds as the shortest exact decimal: "0.00005", "1.6384", "3".
std::string secondsText(std::int64_t microseconds)
{
    std::string text = history::millionthsText(microseconds);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.')
        text.pop_back();
    return text;
}

void appendFamily(std::string &text, std::string_view name, std::string_view type,
                  std::string_view help)
{
    text.append("# HELP ").append(name).append(" ").append(help).append("\n");
    text.append("# TYPE ").append(name).append(" ").append(type).append("\n");
}

// name{host="…"[,extra]} value
void appendSample(std::string &text, std::string_view name, std::string_view host,
                  std::string_view extraLabels, std::string_view value)
{
    text.append(name).append("{host=");
    appendLabelValue(text, host);
    text.append(extraLabels).append("} ").append(value).append("\n");
}

// A histogram of the process as a whole, without a host.
void appendDelays(std::string &text, const DelayFigures &delays)
{
    constexpr std::string_view Name = "echowatch_probe_delay_seconds";
    appendFamily(text, Name, "histogram",
                 "How long after its tick each probe's request left (--headless).");
    std::uint64_t cumulative = 0;
    for (std::size_t bucket = 0; bucket < delays.inBucket.size(); ++bucket) {
        cumulative += delays.inBucket[bucket];
        const std::string le = bucket < DelayBoundsMicroseconds.size()
                                   ? secondsText(DelayBoundsMicroseconds[bucket])
                                   : std::string("+Inf");
        text.append(Name).append("_bucket{le=\"").append(le).append("\"} ");
        text.append(std::to_string(cumulative)).append("\n");
    }
    text.append(Name).append("_sum ").append(secondsText(delays.sumMicroseconds)).append("\n");
    text.append(Name).append("_count ").append(std::to_string(delays.count)).append("\n");
}

void appendHistogram(std::string &text, const std::string &host, const HostFigures &figures)
{
    constexpr std::string_view Name = "echowatch_response_duration_seconds";
    std::uint64_t cumulative = 0;
    std::int64_t bound = FirstBucketMicroseconds;
    for (std::size_t bucket = 0; bucket <= RoundTripBucketCount; ++bucket, bound *= 2) {
        cumulative += figures.answersInBucket[bucket];
        const std::string le =
            bucket < RoundTripBucketCount ? secondsText(bound) : std::string("+Inf");
        appendSample(text, std::string(Name) + "_bucket", host, ",le=\"" + le + "\"",
                     std::to_string(cumulative));
    }
    appendSample(text, std::string(Name) + "_sum", host, {},
                 secondsText(figures.roundTripSumMicroseconds));
    appendSample(text, std::string(Name) + "_count", host, {}, std::to_string(figures.answers));
}

// Every class of every host, 0 until one of its outages is classed so, so
// that a rate over any of them has a start.
void appendOutagesByClass(std::string &text,
                          const std::map<std::string, HostFigures, std::less<>> &hosts)
{
    constexpr std::string_view Name = "echowatch_outages_by_side_total";
    appendFamily(text, Name, "counter",
                 "Outages by whose side their verdict put them on: this computer, the local "
                 "network, beyond the gateway, the host; not watched (the watch ended first); "
                 "unknown (traced, not classed). Outages without a trace are in none.");
    for (const auto &[host, figures] : hosts) {
        for (std::size_t side = 0; side < OutageClasses.size(); ++side) {
            std::string label = ",side=";
            appendLabelValue(label, OutageClasses[side]);
            appendSample(text, Name, host, label, std::to_string(figures.outagesByClass[side]));
        }
    }
}

} // namespace

void appendLabelValue(std::string &text, std::string_view value)
{
    text += '"';
    for (const char character : value) {
        if (character == '\\')
            text += "\\\\";
        else if (character == '"')
            text += "\\\"";
        else if (character == '\n')
            text += "\\n";
        else
            text += character;
    }
    text += '"';
}

HostFigures &MetricsRegistry::figures(std::string_view host)
{
    auto found = m_hosts.find(host);
    if (found == m_hosts.end())
        found = m_hosts.emplace(std::string(host), HostFigures{}).first;
    return found->second;
}

void MetricsRegistry::recordProbe(std::string_view host, EchoStatus status,
                                  std::int64_t roundTripMicroseconds)
{
    HostFigures &counted = figures(host);
    ++counted.requests;
    if (status != 0) {
        ++counted.failures[status];
        return;
    }
    if (roundTripMicroseconds < 0)
        return;
    ++counted.answersInBucket[bucketOf(roundTripMicroseconds)];
    ++counted.answers;
    counted.roundTripSumMicroseconds += roundTripMicroseconds;
}

void MetricsRegistry::recordDown(std::string_view host)
{
    HostFigures &counted = figures(host);
    counted.down = true;
    ++counted.outages;
}

void MetricsRegistry::recordUp(std::string_view host)
{
    figures(host).down = false;
}

void MetricsRegistry::recordSlow(std::string_view host, bool slow)
{
    figures(host).slow = slow;
}

void MetricsRegistry::recordClass(std::string_view host, std::string_view side)
{
    const auto named = std::find(OutageClasses.begin(), OutageClasses.end() - 1, side);
    ++figures(host).outagesByClass[static_cast<std::size_t>(named - OutageClasses.begin())];
}

void MetricsRegistry::recordWatch(std::string_view host, bool watched)
{
    HostFigures &counted = figures(host);
    counted.watched = watched;
    counted.down = false;
    counted.slow = false;
    if (!watched)
        return;
    for (const EchoStatus status : FailureStatuses)
        counted.failures.try_emplace(status, 0);
}

void MetricsRegistry::recordSendDelay(std::int64_t microseconds)
{
    const auto bound = std::lower_bound(DelayBoundsMicroseconds.begin(),
                                        DelayBoundsMicroseconds.end(), microseconds);
    ++m_delays.inBucket[static_cast<std::size_t>(bound - DelayBoundsMicroseconds.begin())];
    ++m_delays.count;
    m_delays.sumMicroseconds += std::max<std::int64_t>(microseconds, 0);
}

std::string MetricsRegistry::exposition() const
{
    std::string text;
    text.reserve(4096 + m_hosts.size() * 4096);
    appendFamily(text, "echowatch_requests_total", "counter",
                 "Echo requests whose outcome the window showed.");
    for (const auto &[host, figures] : m_hosts)
        appendSample(text, "echowatch_requests_total", host, {}, std::to_string(figures.requests));
    appendFamily(text, "echowatch_response_duration_seconds", "histogram",
                 "Round trip of the answered echo requests.");
    for (const auto &[host, figures] : m_hosts)
        appendHistogram(text, host, figures);
    appendFamily(text, "echowatch_failures_total", "counter",
                 "Echo requests that failed, by status code.");
    for (const auto &[host, figures] : m_hosts) {
        for (const auto &[status, count] : figures.failures)
            appendSample(text, "echowatch_failures_total", host,
                         ",status=\"" + std::to_string(status) + "\"", std::to_string(count));
    }
    appendFamily(text, "echowatch_up", "gauge",
                 "1 unless the host is down (failed probes in a row reached --down-after, or "
                 "the share lost reached --down-loss); only while the host is watched.");
    for (const auto &[host, figures] : m_hosts) {
        if (figures.watched)
            appendSample(text, "echowatch_up", host, {}, figures.down ? "0" : "1");
    }
    appendFamily(text, "echowatch_slow", "gauge",
                 "1 while the host is slow (a percentile of the last minute's answers over "
                 "--slow-over for a full minute), else 0; only while the host is watched.");
    for (const auto &[host, figures] : m_hosts) {
        if (figures.watched)
            appendSample(text, "echowatch_slow", host, {}, figures.slow ? "1" : "0");
    }
    appendFamily(text, "echowatch_outages_total", "counter", "Times the host went down.");
    for (const auto &[host, figures] : m_hosts)
        appendSample(text, "echowatch_outages_total", host, {}, std::to_string(figures.outages));
    appendOutagesByClass(text, m_hosts);
    if (m_delays.count > 0)
        appendDelays(text, m_delays);
    return text;
}

} // namespace records
