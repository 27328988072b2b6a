#include "echowatch/history/history_csv.h"

#include "echowatch/history/csv_text.h"
#include "echowatch/history/outage_list.h"
#include "echowatch/history/probe_record.h"

#include "echowatch/probe/status_text.h"

#include <algorithm>
#include <string>

namespace history {

namespace {

constexpr std::string_view ProbesHeader = "time,status,status text,rtt ms,bytes";
constexpr std::string_view OutagesHeader =
    "start,end,duration s,probes lost,cause,cause text,mixed";

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

void appendProbe(std::string &line, const ProbeSample &sample, LocalTimeText &timeText,
                 StatusFields &statusFields)
{
    timeText.append(line, sample.sentAt());
    line += ',';
    statusFields.append(line, sample.status());
    line += ',';
    if (sample.answered() && sample.roundTripMicroseconds() >= 0)
        line += thousandthsText(sample.roundTripMicroseconds());
    line += ',';
    line += std::to_string(sample.replySize());
    line += CsvRecordEnd;
}

void appendOutage(std::string &line, const Outage &outage, LocalTimeText &timeText)
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
    line += outage.mixed() ? ",yes" : ",no";
    line += CsvRecordEnd;
}

} // namespace

void writeProbesCsv(const ProbeRecord &record, std::ostream &out)
{
    std::string lines(ProbesHeader);
    lines += CsvRecordEnd;
    LocalTimeText timeText;
    StatusFields statusFields;
    constexpr std::size_t FlushAt = 1 << 16;
    for (std::size_t index = 0; index < record.retainedCount(); ++index) {
        appendProbe(lines, record.retained(index), timeText, statusFields);
        if (lines.size() >= FlushAt) {
            out << lines;
            lines.clear();
        }
    }
    out << lines;
}

void writeOutagesCsv(const OutageList &outages, std::ostream &out)
{
    std::string lines(OutagesHeader);
    lines += CsvRecordEnd;
    LocalTimeText timeText;
    for (const Outage &outage : outages)
        appendOutage(lines, outage, timeText);
    out << lines;
}

} // namespace history
