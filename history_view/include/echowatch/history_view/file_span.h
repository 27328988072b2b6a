#pragma once

#include "echowatch/history/chart_grid.h"
#include "echowatch/history/column_reduction.h"
#include "echowatch/history/outage_list.h"
#include "echowatch/history/run_statistics.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace history_view {

// What the window knows of the span "All" before the file has told when
// it first saw the host: its own earliest and latest times of the host,
// the chart's columns, and its record's first probe kept in full.
struct WholeSpan
{
    history::TimeSpan known;
    std::size_t columns = 0;
    std::optional<history::Milliseconds> recordFrom;

    bool operator==(const WholeSpan &) const = default;
};

// All's grid once the file's first sight of the host (if any) is known.
history::ChartGrid wholeGrid(const WholeSpan &whole,
                             std::optional<history::Milliseconds> firstSeen) noexcept;

// The grid's first columns that the file tells and the record does not:
// those before the record's first probe kept in full, none when the file
// is known (firstSeen given) to hold nothing older.
std::optional<history::ChartGrid>
filePartOf(const history::ChartGrid &grid, std::optional<history::Milliseconds> recordFrom,
           const std::optional<history::Milliseconds> *firstSeen) noexcept;

// What the History window asks the history file about one host: when the
// file first saw it, and, given a grid, what it holds over the grid's
// span, reduced to its columns; given the whole span instead, the file's
// part of All's grid, worked out from the first sight in the same read.
struct FileRequest
{
    std::string path;
    // As the file names it: the dotted address.
    std::string host;
    std::optional<history::ChartGrid> grid;
    std::optional<WholeSpan> whole;

    bool operator==(const FileRequest &) const = default;
};

// What the history file holds of a host over a grid, as the window's own
// types have it.
struct FileSpan
{
    std::vector<history::ChartColumn> columns;
    // ping's statistics of the probes in it, to the minute or hour it was
    // read by at its ends.
    history::RunStatistics statistics;
    // When the host was watched, an end never written at its latest commit.
    std::vector<history::TimeSpan> watches;
    // Those that overlap the span, oldest first.
    std::vector<history::Outage> outages;
    // Where the path broke in them, where a trace found it.
    history::OutageWhere where;
    // When the host monitor called the host slow, oldest first.
    std::vector<history::TimeSpan> slowPeriods;
};

struct FileAnswer
{
    // The request's span, when it had a grid and the file could be read
    // (empty where the file holds nothing, or is not there yet).
    std::optional<FileSpan> span;
    // When the file's first run of the host began; none when it holds
    // none.
    std::optional<history::Milliseconds> firstSeen;
    // The grid the span was read over: the request's, or the file's part
    // of the whole span's (none when the file holds nothing older than
    // the record).
    std::optional<history::ChartGrid> grid;
    // Why the file could not be read; empty when it was.
    std::string error;
};

// Reads an answer; run off the window's thread.
using FileReader = std::function<FileAnswer(const FileRequest &)>;

// The history file itself, read-only, in one transaction. A file not
// there yet holds nothing; one that cannot be read (locked past the
// bound, damaged, not EchoWatch's) gives its reason. lockWait, when
// given, bounds the wait for another program's lock instead of the
// store's own bound.
FileAnswer readFromFile(const FileRequest &request,
                        std::optional<std::chrono::milliseconds> lockWait = std::nullopt);

} // namespace history_view
