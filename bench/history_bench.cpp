// The history's figures: recording (CPU and allocations per probe), memory
// per probe and after 10,000,000, the chart's paint at 1,000,000 probes
// beside 100, and the CSV export of 1,000,000 probes.
//
//   history_bench
#include "bench_table.h"
#include "process_figures.h"

#include "echowatch/history/history_csv.h"
#include "echowatch/history/host_records.h"
#include "echowatch/history/probe_record.h"
#include "echowatch/history/watched_time.h"
#include "echowatch/history_view/round_trip_chart.h"
#include "echowatch/history_view/shown_span.h"

#include <QApplication>
#include <QImage>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <new>

namespace {

std::atomic<std::uint64_t> allocations{0};

} // namespace

// Counts every allocation of this process, for the recording row.
void *operator new(std::size_t size)
{
    ++allocations;
    if (void *memory = std::malloc(size ? size : 1))
        return memory;
    throw std::bad_alloc();
}
void operator delete(void *memory) noexcept
{
    std::free(memory);
}
void operator delete(void *memory, std::size_t) noexcept
{
    std::free(memory);
}

namespace {

using Clock = std::chrono::steady_clock;
using history::ProbeSample;

constexpr history::Milliseconds Start = 1'800'000'000'000;

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A probe a millisecond, as the 1 ms interval gives: mostly answers between
// 0.2 and 1.2 ms, and every 1,000th probe opening a run of 20 timeouts.
ProbeSample probeNumber(std::int64_t index)
{
    const bool lost = index % 1000 < 20 && index >= 1000;
    return ProbeSample(Start + index, lost ? 11010 : 0, lost ? -1 : 200 + index * 7919 % 1000, 32);
}

void recordProbes(history::ProbeRecord &record, std::int64_t from, std::int64_t to)
{
    for (std::int64_t index = from; index < to; ++index)
        record.record(probeNumber(index));
}

// As the window records them: under the address each probe went to.
constexpr std::uint32_t HostAddress = 0x0200'00c0; // 192.0.2.0 in network byte order

void recordProbes(history::HostRecords &hosts, std::int64_t from, std::int64_t to)
{
    for (std::int64_t index = from; index < to; ++index)
        hosts.record(HostAddress, probeNumber(index));
}

void benchRecording()
{
    constexpr std::int64_t Probes = 10'000'000;
    constexpr std::int64_t SteadyFrom = 2'000'000;
    const std::size_t before = residentBytes();
    auto hosts = std::make_unique<history::HostRecords>();
    recordProbes(*hosts, 0, SteadyFrom);
    const std::uint64_t allocationsBefore = allocations;
    const auto start = Clock::now();
    recordProbes(*hosts, SteadyFrom, Probes);
    const history::ProbeRecord *record = &hosts->at(0);
    const double nanoseconds = millisecondsSince(start) * 1e6 / (Probes - SteadyFrom);
    const std::uint64_t steadyAllocations = allocations - allocationsBefore;
    printRow("recording, CPU per probe (8,000,000 probes once the ring is full)",
             formatNumber(nanoseconds / 1000, 3) + " us", "-", "under 0.5 us");
    printRow("recording, allocations per probe in the steady state",
             formatNumber(static_cast<double>(steadyAllocations) / (Probes - SteadyFrom), 6) +
                 " (" + std::to_string(steadyAllocations) +
                 " in 8,000,000, a run of 2 h 13 min at 1 ms; minute summaries grow only past a "
                 "day)",
             "-", "0");
    printRow("record, bytes per retained probe", std::to_string(sizeof(ProbeSample)) + " bytes",
             "-", "at most 16 bytes");
    printRow(
        "record, memory after 10,000,000 probes",
        formatNumber(static_cast<double>(record->memoryBytes()) / (1024 * 1024), 2) +
            " MiB held (" + std::to_string(record->summaries().size()) + " minute summaries, " +
            std::to_string(record->outages().size()) + " outages); resident growth " +
            formatNumber(static_cast<double>(residentBytes() - before) / (1024 * 1024), 2) + " MiB",
        "-", "under 32 MiB");
}

// The chart's cost per refresh: putting the span together from the record
// (its columns with their bands, the statistics, outages and watches) and
// painting it, each the mean of a number of repeats.
struct ChartCost
{
    double compose = 0;
    double paint = 0;
};

ChartCost chartCost(const history::ProbeRecord &record)
{
    constexpr int PlotWidth = 1000;
    // About the chart's left and right margins in the default font.
    constexpr int Margins = 88;
    constexpr int Repeats = 50;
    history_view::RoundTripChart chart;
    chart.resize(PlotWidth + Margins, 300);
    history::WatchedTime watched;
    watched.add(record.wholeRun().from, record.wholeRun().to);
    const history::OutageWhere where;
    const history_view::RecordedHost host{record, watched, where};
    const history::ChartGrid grid = history::gridOver(record.wholeRun(), chart.columnCount());
    history_view::ShownSpan shown = history_view::composeSpan(host, grid);
    auto start = Clock::now();
    for (int i = 0; i < Repeats; ++i)
        shown = history_view::composeSpan(host, grid);
    ChartCost cost;
    cost.compose = millisecondsSince(start) / Repeats;
    chart.setShown(shown);
    QImage canvas(chart.size(), QImage::Format_ARGB32_Premultiplied);
    chart.render(&canvas);
    start = Clock::now();
    for (int i = 0; i < Repeats; ++i)
        chart.render(&canvas);
    cost.paint = millisecondsSince(start) / Repeats;
    return cost;
}

// A refresh as each probe comes in, the record's columns kept from the
// last: the span's grid (All, at 1,000 px) stays while the probes fill its
// last column, and the full ring lets one probe go at each.
double refreshCost(history::HostRecords &hosts, std::int64_t recorded)
{
    constexpr std::size_t Columns = 1000;
    constexpr int Repeats = 50;
    const history::ProbeRecord &record = hosts.at(0);
    const history::TimeSpan run = record.wholeRun();
    history::WatchedTime watched;
    watched.add(run.from, run.to + Repeats);
    const history::OutageWhere where;
    const history_view::RecordedHost host{record, watched, where};
    const history::ChartGrid grid = history::gridOver({run.from, run.to + Repeats}, Columns);
    history_view::RecordColumns kept;
    history_view::ShownSpan shown = history_view::composeSpan(host, grid, nullptr, 0, &kept);
    double total = 0;
    for (int i = 0; i < Repeats; ++i) {
        recordProbes(hosts, recorded + i, recorded + i + 1);
        const auto start = Clock::now();
        shown = history_view::composeSpan(host, grid, nullptr, 0, &kept);
        total += millisecondsSince(start);
    }
    return total / Repeats;
}

void benchChartAndExport()
{
    history::ProbeRecord few;
    recordProbes(few, 0, 100);
    history::HostRecords hosts;
    recordProbes(hosts, 0, 1'000'000);
    const history::ProbeRecord &million = hosts.at(0);
    const ChartCost few100 = chartCost(few);
    const ChartCost million1 = chartCost(million);
    printRow("chart, 1,000,000 probes at 1,000 px vs 100 probes: the span put together "
             "(columns with their bands, statistics, outages)",
             formatNumber(million1.compose, 2) + " ms vs " + formatNumber(few100.compose, 2) + " ms",
             "-", "-");
    printRow("chart paint, 1,000,000 probes at 1,000 px vs 100 probes",
             formatNumber(million1.paint, 2) + " ms vs " + formatNumber(few100.paint, 2) + " ms",
             "-", "under 16 ms");

    std::ofstream out("/dev/null", std::ios::binary);
    const auto start = Clock::now();
    history::writeProbesCsv(hosts, out);
    out.flush();
    printRow("export, 1,000,000 probes to CSV", formatNumber(millisecondsSince(start), 0) + " ms",
             "-", "under 2 s");
    printRow("chart, 1,000,000 probes at 1,000 px: the span put together again as a probe comes "
             "in, the record's columns kept (the full ring letting one go)",
             formatNumber(refreshCost(hosts, 1'000'000), 2) + " ms", "-", "-");
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    benchRecording();
    benchChartAndExport();
    return 0;
}
