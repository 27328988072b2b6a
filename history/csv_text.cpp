#include "echowatch/history/csv_text.h"

#include <cstdio>
#include <cstdlib>

namespace history {

namespace {

Milliseconds floorDivide(Milliseconds value, Milliseconds divisor)
{
    const Milliseconds quotient = value / divisor;
    return quotient * divisor > value ? quotient - 1 : quotient;
}

// value / scale with as many decimals as scale has zeros, the sign kept for
// values between -1 and 0.
std::string fixedPointText(std::int64_t value, std::int64_t scale, int decimals)
{
    char text[40];
    const std::int64_t whole = value / scale;
    const std::int64_t fraction = value % scale;
    const int length = std::snprintf(
        text, sizeof text, "%s%lld.%0*lld", value < 0 && whole == 0 ? "-" : "",
        static_cast<long long>(whole), decimals, static_cast<long long>(std::llabs(fraction)));
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

} // namespace

std::string thousandthsText(std::int64_t thousandths)
{
    return fixedPointText(thousandths, 1000, 3);
}

std::string millionthsText(std::int64_t millionths)
{
    return fixedPointText(millionths, 1'000'000, 6);
}

void appendCsvField(std::string &line, std::string_view field)
{
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += field;
        return;
    }
    line += '"';
    for (const char character : field) {
        if (character == '"')
            line += '"';
        line += character;
    }
    line += '"';
}

void LocalTimeText::convertMinute(Milliseconds minute)
{
    const auto seconds = static_cast<std::time_t>(minute * 60);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr)
        local = std::tm{};
    const long offsetMinutes = local.tm_gmtoff / 60;
    char text[48];
    const int length =
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    m_dateToMinute.assign(text, length > 0 ? static_cast<std::size_t>(length) : 0);
    std::snprintf(text, sizeof text, "%c%02ld:%02ld", offsetMinutes < 0 ? '-' : '+',
                  std::labs(offsetMinutes) / 60, std::labs(offsetMinutes) % 60);
    m_offset = text;
    m_minute = minute;
    m_converted = true;
}

void LocalTimeText::append(std::string &line, Milliseconds time)
{
    const Milliseconds minute = floorDivide(time, MillisecondsPerMinute);
    if (!m_converted || minute != m_minute)
        convertMinute(minute);
    const auto withinMinute = static_cast<int>(time - minute * MillisecondsPerMinute);
    const int seconds = withinMinute / 1000;
    const int thousandths = withinMinute % 1000;
    line += m_dateToMinute;
    const char digits[] = {static_cast<char>('0' + seconds / 10),
                           static_cast<char>('0' + seconds % 10),
                           '.',
                           static_cast<char>('0' + thousandths / 100),
                           static_cast<char>('0' + thousandths / 10 % 10),
                           static_cast<char>('0' + thousandths % 10)};
    line.append(digits, sizeof digits);
    line += m_offset;
}

std::string LocalTimeText::operator()(Milliseconds time)
{
    std::string text;
    append(text, time);
    return text;
}

} // namespace history
