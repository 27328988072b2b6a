#include "echowatch/records/log_line.h"

#include "echowatch/probe/status_text.h"

#include <cstdio>

namespace records {

namespace {

constexpr std::string_view CsvHeader = "time,host,address,status,status text,rtt ms,bytes";

bool answered(const LoggedProbe &probe)
{
    return probe.status == 0 && probe.roundTripMicroseconds >= 0;
}

// The length of the UTF-8 sequence starting text, 0 when it is none.
std::size_t utf8Length(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    if (length == 0 || text.size() < length)
        return 0;
    for (std::size_t index = 1; index < length; ++index) {
        if ((static_cast<unsigned char>(text[index]) & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

void appendEscaped(std::string &line, unsigned char character)
{
    switch (character) {
    case '"':
        line += "\\\"";
        return;
    case '\\':
        line += "\\\\";
        return;
    case '\n':
        line += "\\n";
        return;
    case '\r':
        line += "\\r";
        return;
    case '\t':
        line += "\\t";
        return;
    default:
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", character);
        line += escaped;
    }
}

} // namespace

std::string_view logHeader(LogFormat format)
{
    return format == LogFormat::Csv ? CsvHeader : std::string_view();
}

void appendJsonString(std::string &line, std::string_view text)
{
    line += '"';
    while (!text.empty()) {
        const auto character = static_cast<unsigned char>(text[0]);
        std::size_t taken = 1;
        if (character < 0x20 || character == '"' || character == '\\') {
            appendEscaped(line, character);
        } else if (character < 0x80) {
            line += static_cast<char>(character);
        } else if ((taken = utf8Length(text)) > 0) {
            line += text.substr(0, taken);
        } else {
            line += "\\ufffd";
            taken = 1;
        }
        text.remove_prefix(taken);
    }
    line += '"';
}

void LogLineWriter::append(std::string &line, const LoggedProbe &probe)
{
    if (m_format == LogFormat::Csv)
        appendCsv(line, probe);
    else
        appendJson(line, probe);
}

void LogLineWriter::appendCsv(std::string &line, const LoggedProbe &probe)
{
    m_time.append(line, probe.sentAt);
    line += ',';
    history::appendCsvField(line, probe.host);
    line += ',';
    history::appendCsvField(line, probe.address);
    line += ',';
    line += std::to_string(probe.status);
    line += ',';
    history::appendCsvField(line, StatusText(probe.status));
    line += ',';
    if (answered(probe))
        line += history::thousandthsText(probe.roundTripMicroseconds);
    line += ',';
    line += std::to_string(probe.replySize);
    line += history::CsvRecordEnd;
}

void LogLineWriter::appendJson(std::string &line, const LoggedProbe &probe)
{
    line += "{\"time\":\"";
    m_time.append(line, probe.sentAt);
    line += "\",\"host\":";
    appendJsonString(line, probe.host);
    line += ",\"address\":";
    appendJsonString(line, probe.address);
    line += ",\"status\":";
    line += std::to_string(probe.status);
    line += ",\"status_text\":";
    appendJsonString(line, StatusText(probe.status));
    line += ",\"rtt_ms\":";
    line += answered(probe) ? history::thousandthsText(probe.roundTripMicroseconds) : "null";
    line += ",\"bytes\":";
    line += std::to_string(probe.replySize);
    line += "}\n";
}

} // namespace records
