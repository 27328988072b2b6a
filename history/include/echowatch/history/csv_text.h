#pragma once

#include "echowatch/history/probe_sample.h"

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace history {

// RFC 4180: a field holding a comma, a double quote, CR or LF is put in
// double quotes, with each double quote in it doubled; records end in CRLF.
inline constexpr std::string_view CsvRecordEnd = "\r\n";
void appendCsvField(std::string &line, std::string_view field);

// A whole number of thousandths as "12.345", of millionths as "0.000123".
std::string thousandthsText(std::int64_t thousandths);
std::string millionthsText(std::int64_t millionths);

// ISO 8601 local time with milliseconds and the UTC offset, e.g.
// "2027-01-15T08:00:00.123+01:00", as the time zone of the process has it.
// Keeps the text of the latest minute it converted, since a file of a
// million probes mostly repeats minutes.
class LocalTimeText
{
public:
    void append(std::string &line, Milliseconds time);
    std::string operator()(Milliseconds time);

private:
    void convertMinute(Milliseconds minute);

    Milliseconds m_minute = 0;
    bool m_converted = false;
    std::string m_dateToMinute; // "2027-01-15T08:00:"
    std::string m_offset;       // "+01:00"
};

} // namespace history
