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

} // namespace

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

std::string LocalTimeText::operator()(Milliseconds time)
{
    const Milliseconds minute = floorDivide(time, MillisecondsPerMinute);
    if (!m_known || minute != m_minute) {
        const auto seconds = static_cast<std::time_t>(minute * 60);
        m_known = localtime_r(&seconds, &m_local) != nullptr;
        m_minute = minute;
    }
    const Milliseconds withinMinute = time - minute * MillisecondsPerMinute;
    const long offsetMinutes = m_known ? m_local.tm_gmtoff / 60 : 0;
    char text[48];
    const int length =
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                      m_local.tm_year + 1900, m_local.tm_mon + 1, m_local.tm_mday, m_local.tm_hour,
                      m_local.tm_min, static_cast<int>(withinMinute / 1000),
                      static_cast<int>(withinMinute % 1000), offsetMinutes < 0 ? '-' : '+',
                      std::labs(offsetMinutes) / 60, std::labs(offsetMinutes) % 60);
    return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

} // namespace history
