#include "recording_sink.h"

#include <arpa/inet.h>

namespace host_test {

namespace {

std::string outageText(const std::optional<host::OutageId> &outage)
{
    return outage ? " #" + std::to_string(*outage) : std::string();
}

const char *whyText(host::WatchEnd why)
{
    switch (why) {
    case host::WatchEnd::Stopped:
        return "stopped";
    case host::WatchEnd::AddressChanged:
        return "address changed";
    case host::WatchEnd::Closed:
        return "closed";
    case host::WatchEnd::Sleep:
        return "sleep";
    }
    return "?";
}

} // namespace

void RecordingSink::watchStarted(const host::WatchStarted &event)
{
    lines.push_back("watch " + event.host.label + " from " + std::to_string(event.at / 1000));
}

void RecordingSink::probeTaken(const host::ProbeTaken &event)
{
    const std::string label = event.host ? event.host->label : "nobody";
    lines.push_back(std::string(event.sent ? "probe " : "unsent ") + label + " " +
                    std::to_string(event.probe.status) + (event.watch == 0 ? " unwatched" : "") +
                    outageText(event.outage));
}

void RecordingSink::hostDown(const host::HostDown &event)
{
    downs.push_back(event);
    lines.push_back("down " + event.host.label + outageText(event.outage));
}

void RecordingSink::hostUp(const host::HostUp &event)
{
    ups.push_back(event);
    lines.push_back("up " + event.host.label + outageText(event.outage));
}

void RecordingSink::watchEnded(const host::WatchEnded &event)
{
    ends.push_back(event);
    lines.push_back("end " + event.host.label + " " + whyText(event.why) + " at " +
                    std::to_string(event.at / 1000) + outageText(event.outage));
}

void RecordingSink::verdictFiled(const host::VerdictFiled &event)
{
    verdicts.push_back(event);
    lines.push_back("verdict " + event.host.label + outageText(event.outage) + " " +
                    event.verdict.text);
}

probe::ProbeEvent probeAt(int second, EchoStatus status, std::uint32_t address)
{
    probe::ProbeEvent event;
    event.sentAt = std::chrono::system_clock::time_point(std::chrono::seconds(second));
    event.status = status;
    event.details.destination = status == BadAddressStatus ? 0 : htonl(address);
    return event;
}

} // namespace host_test
