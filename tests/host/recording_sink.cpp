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

// A turn while flapping is marked "(flapping)", a down by loss "by loss".
void RecordingSink::hostDown(const host::HostDown &event)
{
    downs.push_back(event);
    lines.push_back("down " + event.host.label + outageText(event.outage) +
                    (event.by == host::DownBy::Loss ? " by loss" : "") +
                    (event.flapping ? " (flapping)" : ""));
}

void RecordingSink::hostUp(const host::HostUp &event)
{
    ups.push_back(event);
    lines.push_back("up " + event.host.label + outageText(event.outage) +
                    (event.flapping ? " (flapping)" : ""));
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

void RecordingSink::slowStarted(const host::SlowStarted &event)
{
    slows.push_back(event);
    lines.push_back("slow " + event.host.label + " since " + std::to_string(event.since / 1000) +
                    " at " + std::to_string(event.at / 1000));
}

void RecordingSink::slowEnded(const host::SlowEnded &event)
{
    normals.push_back(event);
    const char *why = event.why == host::SlowEnd::Normal        ? "normal "
                      : event.why == host::SlowEnd::WatchEnded ? "slow ended unwatched "
                                                                : "slow rule off ";
    lines.push_back(why + event.host.label + " since " + std::to_string(event.until / 1000) +
                    " at " + std::to_string(event.at / 1000));
}

void RecordingSink::flappingStarted(const host::FlappingStarted &event)
{
    flaps.push_back(event);
    lines.push_back("flapping " + event.host.label + outageText(event.outage) + " " +
                    std::to_string(event.downs) + " downs");
}

void RecordingSink::flappingSettled(const host::FlappingSettled &event)
{
    settles.push_back(event);
    lines.push_back("settled " + std::string(event.down ? "down " : "up ") + event.host.label +
                    outageText(event.outage) + " at " + std::to_string(event.at / 1000));
}

probe::ProbeEvent probeAt(int second, EchoStatus status, std::uint32_t address,
                          std::int64_t roundTripMicroseconds)
{
    probe::ProbeEvent event;
    event.sentAt = std::chrono::system_clock::time_point(std::chrono::seconds(second));
    event.status = status;
    event.details.roundTripMicroseconds = status == 0 ? roundTripMicroseconds : -1;
    event.details.destination = status == BadAddressStatus ? 0 : htonl(address);
    return event;
}

} // namespace host_test
