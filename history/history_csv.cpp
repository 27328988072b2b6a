#include "echowatch/history/history_csv.h"

#include "echowatch/history/csv_text.h"
#include "echowatch/history/host_records.h"
#include "echowatch/history/outage_list.h"
#include "echowatch/history/probe_record.h"

#include "echowatch/net/ipv4_text.h"
#include "echowatch/probe/status_text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace history {

namespace {

constexpr std::string_view ProbesHeader = "time,host,address,status,status text,rtt ms,bytes";
constexpr std::string_view OutagesHeader =
    "start,end,duration s,probes lost,cause,cause text,mixed,where,ended";

// The status code and its status line, as two fields.
void appendStatus(std::string &line, EchoStatus status)
{
    line += std::to_string(status);
    line += ',';
    appendCsvField(line, StatusText(status));
}

// The status fields of the latest status written, since a file of a million
// probes mostly repeats one status.
class StatusFields
{
public:
    void append(std::string &line, EchoStatus status)
    {
        if (!m_made || status != m_status) {
            m_fields.clear();
            appendStatus(m_fields, status);
            m_status = status;
            m_made = true;
        }
        line += m_fields;
    }

private:
    EchoStatus m_status = 0;
    bool m_made = false;
    std::string m_fields;
};

// "host,address", the fields every line of the host repeats.
// Both empty for the probes never sent before any host was.
std::string hostFields(HostAddress address, const HostName &hostName)
{
    const std::string dotted = address ? net::ipv4Text(*address) : std::string();
    std::string fields;
    if (address)
        appendCsvField(fields, hostName ? hostName(dotted) : dotted);
    fields += ',';
    fields += dotted;
    return fields;
}

// At its own wall time, which a step of the clock does not change.
void appendProbe(std::string &line, const ProbeRecord &record, std::size_t index,
                 std::string_view hostFields, LocalTimeText &timeText, StatusFields &statusFields)
{
    const ProbeSample &sample = record.retained(index);
    timeText.append(line, record.wallTimeOf(index));
    line += ',';
    line += hostFields;
    line += ',';
    statusFields.append(line, sample.status());
    line += ',';
    if (sample.answered() && sample.roundTripMicroseconds() >= 0)
        line += thousandthsText(sample.roundTripMicroseconds());
    line += ',';
    line += std::to_string(sample.replySize());
    line += CsvRecordEnd;
}

void appendOutage(std::string &line, const Outage &outage, const std::string &where,
                  LocalTimeText &timeText)
{
    line += timeText(outage.start);
    line += ',';
    if (outage.end)
        line += timeText(*outage.end);
    line += ',';
    line += thousandthsText(outage.duration());
    line += ',';
    line += std::to_string(outage.probesLost);
    line += ',';
    appendStatus(line, outage.cause());
    line += outage.mixed() ? ",yes," : ",no,";
    appendCsvField(line, where);
    line += ',';
    if (outage.end)
        line += outage.endedUnwatched ? "not watched" : "answered";
    line += CsvRecordEnd;
}

} // namespace

// The host whose next retained probe was sent first; hosts.size() when
// every one is written.
std::size_t nextHost(const HostRecords &hosts, const std::vector<std::size_t> &next)
{
    std::size_t first = hosts.size();
    for (std::size_t host = 0; host < hosts.size(); ++host) {
        const ProbeRecord &record = hosts.at(host);
        if (next[host] < record.retainedCount() &&
            (first == hosts.size() ||
             record.retained(next[host]).sentAt() < hosts.at(first).retained(next[first]).sentAt()))
            first = host;
    }
    return first;
}

void writeProbesCsv(const HostRecords &hosts, std::ostream &out, const HostName &hostName)
{
    std::string lines(ProbesHeader);
    lines += CsvRecordEnd;
    LocalTimeText timeText;
    StatusFields statusFields;
    std::vector<std::string> named;
    for (std::size_t host = 0; host < hosts.size(); ++host)
        named.push_back(hostFields(hosts.address(host), hostName));
    std::vector<std::size_t> next(hosts.size(), 0);
    constexpr std::size_t FlushAt = 1 << 16;
    for (std::size_t host = nextHost(hosts, next); host < hosts.size();
         host = nextHost(hosts, next)) {
        appendProbe(lines, hosts.at(host), next[host]++, named[host], timeText, statusFields);
        if (lines.size() >= FlushAt) {
            out << lines;
            lines.clear();
        }
    }
    out << lines;
}

namespace {

template <typename Outages>
void writeOutages(const Outages &outages, std::ostream &out, const OutageWhere &where)
{
    std::string lines(OutagesHeader);
    lines += CsvRecordEnd;
    LocalTimeText timeText;
    const std::string unknown;
    for (const Outage &outage : outages) {
        const auto found = where.find(outage.start);
        appendOutage(lines, outage, found == where.end() ? unknown : found->second, timeText);
    }
    out << lines;
}

} // namespace

void writeOutagesCsv(const OutageList &outages, std::ostream &out, const OutageWhere &where)
{
    writeOutages(outages, out, where);
}

void writeOutagesCsv(std::span<const Outage> outages, std::ostream &out, const OutageWhere &where)
{
    writeOutages(outages, out, where);
}

} // namespace history
