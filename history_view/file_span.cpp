#include "echowatch/history_view/file_span.h"

#include "echowatch/store/history_rows.h"
#include "echowatch/store/span_reader.h"
#include "echowatch/store/sqlite_connection.h"

#include <algorithm>
#include <filesystem>
#include <limits>

namespace history_view {

// The chart's columns are whole minutes or hours where the file is read by
// them: the two must agree on where that is.
static_assert(history::ColumnsOfProbesUpTo == store::ColumnsOfProbesUpTo);
static_assert(history::ColumnsOfHoursFrom == store::ColumnsOfHoursFrom);

namespace {

std::uint32_t countOf(std::uint64_t count)
{
    return static_cast<std::uint32_t>(
        std::min<std::uint64_t>(count, std::numeric_limits<std::uint32_t>::max()));
}

history::ChartColumn chartColumn(const store::SpanColumn &read)
{
    history::ChartColumn column;
    column.answered = countOf(read.received);
    if (read.received > 0) {
        column.minimumMicroseconds = read.minimum;
        column.maximumMicroseconds = read.maximum;
    }
    column.timeouts = countOf(read.timeouts);
    column.unreachables = countOf(read.unreachables);
    column.otherFailures = countOf(read.otherFailures);
    if (read.quantiles)
        column.band = history::RoundTripBand{read.quantiles->p10, read.quantiles->median,
                                             read.quantiles->p90};
    return column;
}

history::Outage outageOf(const store::StoredOutage &stored)
{
    return history::Outage::restored(stored.start, stored.lastFailure, stored.end,
                                     stored.probesLost, stored.cause, stored.mixed,
                                     stored.endedBy == store::OutageEnd::NotWatched);
}

FileSpan fileSpanOf(const store::HostSpan &read)
{
    FileSpan span;
    span.columns.reserve(read.columns.size());
    for (const store::SpanColumn &column : read.columns)
        span.columns.push_back(chartColumn(column));
    span.statistics = read.statistics;
    for (const store::StoredWatch &watch : read.watches)
        span.watches.push_back({watch.started, watch.ended});
    span.outages.reserve(read.outages.size());
    for (const store::StoredOutage &outage : read.outages) {
        span.outages.push_back(outageOf(outage));
        if (outage.pathVerdict)
            span.where.emplace(outage.start, *outage.pathVerdict);
    }
    span.slowPeriods = read.slowPeriods;
    return span;
}

// None when the file holds no run of the host, or no tables yet.
std::optional<std::optional<history::Milliseconds>>
firstSeen(store::Connection &connection, const std::string &host, std::string &error)
{
    using First = std::optional<history::Milliseconds>;
    return store::readInTransaction<First>(connection, error, [&](First &first) {
        const auto runs =
            store::runsBefore(connection, host, std::numeric_limits<history::Milliseconds>::max());
        if (runs && !runs->empty())
            first = runs->front().start;
        return runs.has_value();
    });
}

} // namespace

history::ChartGrid wholeGrid(const WholeSpan &whole,
                             std::optional<history::Milliseconds> firstSeen) noexcept
{
    history::TimeSpan span = whole.known;
    if (firstSeen)
        span.from = std::min(span.from, *firstSeen);
    return history::gridOver(span, whole.columns);
}

std::optional<history::ChartGrid>
filePartOf(const history::ChartGrid &grid, std::optional<history::Milliseconds> recordFrom,
           const std::optional<history::Milliseconds> *firstSeen) noexcept
{
    const std::size_t fromFile = recordFrom ? grid.columnsBefore(*recordFrom) : grid.columns;
    if (fromFile == 0 || (firstSeen && (!*firstSeen || **firstSeen >= grid.columnStart(fromFile))))
        return std::nullopt;
    return grid.part(0, fromFile);
}

namespace {

std::optional<history::ChartGrid> gridToRead(const FileRequest &request,
                                             const std::optional<history::Milliseconds> &firstSeen)
{
    if (!request.whole)
        return request.grid;
    return filePartOf(wholeGrid(*request.whole, firstSeen), request.whole->recordFrom, &firstSeen);
}

} // namespace

FileAnswer readFromFile(const FileRequest &request,
                        std::optional<std::chrono::milliseconds> lockWait)
{
    FileAnswer answer;
    std::error_code missing;
    if (!std::filesystem::exists(request.path, missing)) {
        answer.grid = gridToRead(request, std::nullopt);
        if (answer.grid)
            answer.span.emplace();
        return answer;
    }
    std::optional<store::Connection> connection =
        store::Connection::open(request.path, store::Access::ReadOnly, answer.error);
    if (!connection)
        return answer;
    if (lockWait)
        connection->setLockWait(*lockWait);
    const auto first = firstSeen(*connection, request.host, answer.error);
    if (!first)
        return answer;
    answer.firstSeen = *first;
    answer.grid = gridToRead(request, *first);
    if (!answer.grid)
        return answer;
    const std::optional<store::HostSpan> read = store::readSpan(
        *connection, request.host, answer.grid->span, answer.grid->columns, answer.error);
    if (read)
        answer.span = fileSpanOf(*read);
    return answer;
}

} // namespace history_view
