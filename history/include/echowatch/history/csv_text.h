#pragma once

#include "echowatch/history/probe_sample.h"

#include <ctime>
#include <string>
#include <string_view>

namespace history {

// RFC 4180: a field holding a comma, a double quote, CR or LF is put in
// double quotes, with each double quote in it doubled; records end in CRLF.
inline constexpr std::string_view CsvRecordEnd = "\r\n";
void appendCsvField(std::string &line, std::string_view field);

// ISO 8601 local time with milliseconds and the UTC offset, e.g.
// "2027-01-15T08:00:00.123+01:00", as the time zone of the process has it.
// Keeps the local time of the latest minute it converted, since a file of a
// million probes mostly repeats minutes.
class LocalTimeText
{
public:
    std::string operator()(Milliseconds time);

private:
    Milliseconds m_minute = -1;
    std::tm m_local{};
    bool m_known = false;
};

} // namespace history
