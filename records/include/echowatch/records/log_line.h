#pragma once

#include "echowatch/history/csv_text.h"
#include "echowatch/history/probe_sample.h"
#include "echowatch/probe/echo_status.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace records {

// One probe as the window showed it, with the host it was sent to.
struct LoggedProbe
{
    // The name given on the command line, else the address itself; both
    // empty for a probe never sent.
    std::string host;
    // Dotted.
    std::string address;
    history::Milliseconds sentAt = 0;
    EchoStatus status = 0;
    // -1 when nothing answered.
    std::int64_t roundTripMicroseconds = -1;
    std::int32_t replySize = 0;
    // As the host monitor decided: text that was no address sent nothing.
    bool sent = true;
};

enum class LogFormat
{
    // The columns of "Save history…" with the host and its address after
    // the time: "time,host,address,status,status text,rtt ms,bytes".
    Csv,
    // One JSON object a line with the same facts, rtt_ms null when nothing
    // answered.
    JsonLines,
};

// The line a file in format starts with; empty where there is none.
std::string_view logHeader(LogFormat format);

// Lines of one format; keeps the latest minute's local time text.
class LogLineWriter
{
public:
    explicit LogLineWriter(LogFormat format) noexcept : m_format(format) {}

    // Appends the probe's line, with its line end, to line.
    void append(std::string &line, const LoggedProbe &probe);

private:
    void appendCsv(std::string &line, const LoggedProbe &probe);
    void appendJson(std::string &line, const LoggedProbe &probe);

    LogFormat m_format;
    history::LocalTimeText m_time;
};

// A JSON string literal of text, quotes included; bytes that are no UTF-8
// become U+FFFD so that every line stays valid JSON.
void appendJsonString(std::string &line, std::string_view text);

} // namespace records
