#include "echowatch/history/duration_text.h"

#include <algorithm>
#include <cstdio>

namespace history {

namespace {

constexpr Milliseconds TenthsPerMinute = 600;

void appendUnit(std::string &text, Milliseconds count, const char *unit)
{
    if (!text.empty())
        text += ' ';
    text += std::to_string(count);
    text += ' ';
    text += unit;
}

} // namespace

std::string durationText(Milliseconds duration)
{
    duration = std::max<Milliseconds>(duration, 0);
    const Milliseconds tenths = (duration + 50) / 100;
    if (tenths < TenthsPerMinute)
        return std::to_string(tenths / 10) + '.' + std::to_string(tenths % 10) + " s";
    const Milliseconds seconds = (duration + 500) / 1000;
    std::string text;
    if (seconds >= 3600)
        appendUnit(text, seconds / 3600, "h");
    if (seconds / 60 % 60 > 0)
        appendUnit(text, seconds / 60 % 60, "min");
    if (seconds % 60 > 0)
        appendUnit(text, seconds % 60, "s");
    return text;
}

std::string downTimeLine(Milliseconds down, Milliseconds watched)
{
    if (watched <= 0)
        return {};
    down = std::clamp<Milliseconds>(down, 0, watched);
    const double percent = 100.0 * static_cast<double>(down) / static_cast<double>(watched);
    char share[32] = "<0.01";
    // Three significant digits read well down to a hundredth of a percent.
    if (percent == 0 || percent >= 0.01)
        std::snprintf(share, sizeof share, "%.3g", percent);
    return "down " + std::string(share) + "% of the watched time (" + durationText(down) + " of " +
           durationText(watched) + ")";
}

} // namespace history
