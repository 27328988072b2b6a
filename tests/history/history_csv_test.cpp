// The CSV files: RFC 4180 quoting and record ends, ISO 8601 local times with
// their offset, and the columns of each file.
#include "echowatch/history/csv_text.h"
#include "echowatch/history/history_csv.h"
#include "echowatch/history/host_records.h"
#include "echowatch/history/probe_record.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>
#include <string>

#include <arpa/inet.h>

using namespace history;

namespace {

constexpr Milliseconds Start = 1'800'000'000'000; // 2027-01-15 08:00:00 UTC

// Sets the process's time zone for one test, and puts the old one back.
class TimeZone
{
public:
    explicit TimeZone(const char *zone)
    {
        if (const char *old = std::getenv("TZ"))
            m_old = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~TimeZone()
    {
        if (m_old.empty())
            ::unsetenv("TZ");
        else
            ::setenv("TZ", m_old.c_str(), 1);
        ::tzset();
    }

private:
    std::string m_old;
};

TEST(CsvField, QuotesOnlyWhatRfc4180Requires)
{
    const struct
    {
        std::string_view field;
        std::string_view written;
    } rows[] = {
        {"plain text", "plain text"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""},
        {"carriage\r", "\"carriage\r\""},
        {"11010   [ ip req timed out ]", "11010   [ ip req timed out ]"},
    };
    for (const auto &row : rows) {
        std::string line = "x,";
        appendCsvField(line, row.field);
        EXPECT_EQ(line, "x," + std::string(row.written)) << row.field;
    }
}

TEST(CsvTime, IsLocalIso8601WithMillisecondsAndOffset)
{
    const struct
    {
        const char *zone;
        Milliseconds time;
        const char *text;
    } rows[] = {
        {"UTC0", Start + 123, "2027-01-15T08:00:00.123+00:00"},
        {"XST-02:30", Start + 59'999, "2027-01-15T10:30:59.999+02:30"},
        {"XST+05", Start, "2027-01-15T03:00:00.000-05:00"},
        {"XST+05", Start - 1, "2027-01-15T02:59:59.999-05:00"},
        {"XST+09", 0, "1969-12-31T15:00:00.000-09:00"},
    };
    for (const auto &row : rows) {
        TimeZone zone(row.zone);
        LocalTimeText text;
        EXPECT_EQ(text(row.time), row.text) << row.zone;
    }
}

TEST(HistoryCsv, ProbesOneRecordEachWithEmptyRoundTripWhenUnanswered)
{
    TimeZone zone("XST-01");
    HostRecords hosts;
    const std::uint32_t host = inet_addr("192.0.2.7");
    hosts.record(host, ProbeSample(Start + 5, 0, 412, 32));
    hosts.record(host, ProbeSample(Start + 1000, 11010, -1, 0));
    hosts.record(host, ProbeSample(Start + 2000, 0, 12'307'001, 32));
    std::ostringstream out;
    writeProbesCsv(hosts, out);
    EXPECT_EQ(
        out.str(),
        "time,host,address,status,status text,rtt ms,bytes\r\n"
        "2027-01-15T09:00:00.005+01:00,192.0.2.7,192.0.2.7,0,0   [ ip success ],0.412,32\r\n"
        "2027-01-15T09:00:01.000+01:00,192.0.2.7,192.0.2.7,11010,11010   [ ip req timed out "
        "],,0\r\n"
        "2027-01-15T09:00:02.000+01:00,192.0.2.7,192.0.2.7,0,0   [ ip success ],12307.001,32\r\n");
}

// The clock set back an hour between two probes: each keeps the time of
// day the clock gave it.
TEST(HistoryCsv, ProbesAtTheirOwnWallTimeAcrossAClockStep)
{
    TimeZone zone("XST-01");
    HostRecords hosts;
    const std::uint32_t host = inet_addr("192.0.2.7");
    hosts.record(host, ProbeSample(Start, 0, 412, 32), 7'000);
    hosts.record(host, ProbeSample(Start - 3'599'000, 0, 413, 32), 8'000);
    std::ostringstream out;
    writeProbesCsv(hosts, out);
    EXPECT_EQ(out.str(),
              "time,host,address,status,status text,rtt ms,bytes\r\n"
              "2027-01-15T09:00:00.000+01:00,192.0.2.7,192.0.2.7,0,0   [ ip success ],0.412,32\r\n"
              "2027-01-15T08:00:01.000+01:00,192.0.2.7,192.0.2.7,0,0   [ ip success ],0.413,32\r\n");
}

// Each host's series is its own; the file has them in the order sent, and
// a probe never sent goes with the host the monitor named (the one probed
// before it), or before any host with none.
TEST(HistoryCsv, ProbesOfSeveralHostsInTheOrderSent)
{
    TimeZone zone("UTC0");
    HostRecords hosts;
    const std::uint32_t first = inet_addr("192.0.2.1");
    const std::uint32_t second = inet_addr("198.51.100.2");
    hosts.record(std::nullopt, ProbeSample(Start, -1, -1, 0));
    hosts.record(first, ProbeSample(Start + 1000, 0, 1000, 32));
    hosts.record(second, ProbeSample(Start + 2000, 0, 2000, 32));
    hosts.record(second, ProbeSample(Start + 3000, -1, -1, 0));
    hosts.record(first, ProbeSample(Start + 4000, 0, 4000, 32));
    ASSERT_EQ(hosts.size(), 3u);
    EXPECT_EQ(hosts.at(*hosts.find(second)).retainedCount(), 2u);
    EXPECT_EQ(hosts.at(*hosts.find(first)).retainedCount(), 2u);
    std::ostringstream out;
    writeProbesCsv(hosts, out);
    EXPECT_EQ(
        out.str(),
        "time,host,address,status,status text,rtt ms,bytes\r\n"
        "2027-01-15T08:00:00.000+00:00,,,-1,-1   [ inet_addr: bad IP format ],,0\r\n"
        "2027-01-15T08:00:01.000+00:00,192.0.2.1,192.0.2.1,0,0   [ ip success ],1.000,32\r\n"
        "2027-01-15T08:00:02.000+00:00,198.51.100.2,198.51.100.2,0,0   [ ip success ],2.000,32\r\n"
        "2027-01-15T08:00:03.000+00:00,198.51.100.2,198.51.100.2,-1,-1   [ inet_addr: bad IP "
        "format ],,0\r\n"
        "2027-01-15T08:00:04.000+00:00,192.0.2.1,192.0.2.1,0,0   [ ip success ],4.000,32\r\n");
}

// The name goes with its address alone; a name that needs quoting in CSV
// is quoted, as the live log quotes it.
TEST(HistoryCsv, ProbesCallTheNamedHostByItsName)
{
    TimeZone zone("UTC0");
    struct Row
    {
        std::string name;
        std::string firstFields;
    };
    const Row rows[] = {
        {"router.lan", "router.lan,192.0.2.1"},
        {"a,b \"c\"", "\"a,b \"\"c\"\"\",192.0.2.1"},
    };
    for (const Row &row : rows) {
        HostRecords hosts;
        hosts.record(inet_addr("192.0.2.1"), ProbeSample(Start, 0, 1000, 32));
        hosts.record(inet_addr("198.51.100.2"), ProbeSample(Start + 1000, 11010, -1, 0));
        const HostName name = [&row](const std::string &address) {
            return address == "192.0.2.1" ? row.name : address;
        };
        std::ostringstream out;
        writeProbesCsv(hosts, out, name);
        EXPECT_EQ(out.str(),
                  "time,host,address,status,status text,rtt ms,bytes\r\n"
                  "2027-01-15T08:00:00.000+00:00," +
                      row.firstFields +
                      ",0,0   [ ip success ],1.000,32\r\n"
                      "2027-01-15T08:00:01.000+00:00,198.51.100.2,198.51.100.2,11010,11010   "
                      "[ ip req timed out ],,0\r\n")
            << row.name;
    }
}

// Where the path broke is written for the outage whose start it was kept
// under, and left empty for the others; how each ended, by an answer or
// with its watch, and nothing for one going on.
TEST(HistoryCsv, OutagesWithEndEmptyWhileOngoing)
{
    TimeZone zone("UTC0");
    ProbeRecord record;
    const EchoStatus statuses[] = {11003, 11010, 11003, 0, 11010, 0, 11010};
    for (int i = 0; i < 7; ++i) {
        record.record(ProbeSample(Start + i * 1500, statuses[i], statuses[i] == 0 ? 300 : -1, 0));
        if (i == 4)
            record.recordWatchEnd(Start + 6500);
    }
    std::ostringstream out;
    const OutageWhere where{{Start + 6000, "stops after hop 2 (192.0.2.18)"},
                            {Start + 1500, "not the start of an outage"}};
    writeOutagesCsv(record.outages(), out, where);
    EXPECT_EQ(out.str(),
              "start,end,duration s,probes lost,cause,cause text,mixed,where,ended\r\n"
              "2027-01-15T08:00:00.000+00:00,2027-01-15T08:00:04.500+00:00,4.500,3,11003,"
              "11003   [ ip dest host unreachable ],yes,,answered\r\n"
              "2027-01-15T08:00:06.000+00:00,2027-01-15T08:00:06.500+00:00,0.500,1,11010,"
              "11010   [ ip req timed out ],no,stops after hop 2 (192.0.2.18),not watched\r\n"
              "2027-01-15T08:00:09.000+00:00,,0.000,1,11010,11010   [ ip req timed out ],no,,"
              "\r\n");
}

} // namespace
