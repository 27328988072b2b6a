#include "echowatch/history/chart_grid.h"

#include <algorithm>

namespace history {

namespace {

Milliseconds ceilDivide(Milliseconds value, Milliseconds divisor) noexcept
{
    return (value + divisor - 1) / divisor;
}

// Rounded towards minus infinity, also before 1970.
Milliseconds floorDivide(Milliseconds value, Milliseconds divisor) noexcept
{
    const Milliseconds quotient = value / divisor;
    return value % divisor < 0 ? quotient - 1 : quotient;
}

Milliseconds widthFor(Milliseconds length, std::size_t columns) noexcept
{
    const auto count = static_cast<Milliseconds>(std::max<std::size_t>(columns, 1));
    const Milliseconds width = std::max<Milliseconds>(ceilDivide(length, count), 1);
    if (width <= ColumnsOfProbesUpTo)
        return width;
    const Milliseconds unit = width >= ColumnsOfHoursFrom ? 60 * MillisecondsPerMinute
                                                          : MillisecondsPerMinute;
    return ceilDivide(width, unit) * unit;
}

std::size_t columnsOver(Milliseconds length, Milliseconds width) noexcept
{
    return static_cast<std::size_t>(std::max<Milliseconds>(ceilDivide(length, width), 1));
}

} // namespace

std::size_t ChartGrid::columnsBefore(Milliseconds time) const noexcept
{
    if (time <= span.from)
        return 0;
    const Milliseconds started = (time - span.from + width - 1) / width;
    return static_cast<std::size_t>(std::min<Milliseconds>(started, static_cast<Milliseconds>(columns)));
}

ChartGrid ChartGrid::part(std::size_t first, std::size_t count) const noexcept
{
    const Milliseconds from = columnStart(first);
    return ChartGrid{{from, from + static_cast<Milliseconds>(count) * width}, count, width};
}

ChartGrid trailingGrid(Milliseconds length, Milliseconds end, std::size_t columns) noexcept
{
    const Milliseconds width = widthFor(length, columns);
    const std::size_t count = columnsOver(length, width);
    const Milliseconds to = (floorDivide(end - 1, width) + 1) * width;
    return ChartGrid{{to - static_cast<Milliseconds>(count) * width, to}, count, width};
}

// Starting on an edge makes the span longer by up to a column, which may
// take a wider one; the width at least doubles each time, so this ends.
ChartGrid gridOver(TimeSpan span, std::size_t columns) noexcept
{
    const std::size_t most = std::max<std::size_t>(columns, 1);
    Milliseconds length = std::max<Milliseconds>(span.to - span.from, 1);
    for (;;) {
        const Milliseconds width = widthFor(length, most);
        const Milliseconds from = floorDivide(span.from, width) * width;
        const std::size_t count = columnsOver(span.to - from, width);
        if (count <= most)
            return ChartGrid{{from, from + static_cast<Milliseconds>(count) * width}, count, width};
        length = std::max(span.to - from, 2 * width * static_cast<Milliseconds>(most));
    }
}

} // namespace history
