#include "echowatch/history/chart_grid.h"

#include <algorithm>

namespace history {

namespace {

Milliseconds widthFor(Milliseconds length, std::size_t columns) noexcept
{
    const auto count = static_cast<Milliseconds>(std::max<std::size_t>(columns, 1));
    return std::max<Milliseconds>((length + count - 1) / count, 1);
}

// Rounded towards minus infinity, also before 1970.
Milliseconds floorDivide(Milliseconds value, Milliseconds divisor) noexcept
{
    const Milliseconds quotient = value / divisor;
    return value % divisor < 0 ? quotient - 1 : quotient;
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
    const Milliseconds to = (floorDivide(end - 1, width) + 1) * width;
    return ChartGrid{{to - static_cast<Milliseconds>(columns) * width, to}, columns, width};
}

ChartGrid gridOver(TimeSpan span, std::size_t columns) noexcept
{
    const Milliseconds width = widthFor(span.to - span.from, columns);
    return ChartGrid{{span.from, span.from + static_cast<Milliseconds>(columns) * width}, columns,
                     width};
}

} // namespace history
