#pragma once

#include "echowatch/host/host_events.h"

#include <string>
#include <vector>

namespace host_test {

// Every event as one line, "down A #2", so that a test states the whole
// sequence it expects.
class RecordingSink final : public host::EventSink
{
public:
    void watchStarted(const host::WatchStarted &event) override;
    void probeTaken(const host::ProbeTaken &event) override;
    void hostDown(const host::HostDown &event) override;
    void hostUp(const host::HostUp &event) override;
    void watchEnded(const host::WatchEnded &event) override;
    void verdictFiled(const host::VerdictFiled &event) override;
    void slowStarted(const host::SlowStarted &event) override;
    void slowEnded(const host::SlowEnded &event) override;
    void flappingStarted(const host::FlappingStarted &event) override;
    void flappingSettled(const host::FlappingSettled &event) override;

    std::vector<std::string> lines;
    std::vector<host::HostDown> downs;
    std::vector<host::HostUp> ups;
    std::vector<host::WatchEnded> ends;
    std::vector<host::SlowStarted> slows;
    std::vector<host::SlowEnded> normals;
    std::vector<host::FlappingStarted> flaps;
    std::vector<host::FlappingSettled> settles;
    std::vector<host::VerdictFiled> verdicts;
};

// A probe sent at the second given, to an address in host byte order;
// answered in the round trip given.
probe::ProbeEvent probeAt(int second, EchoStatus status, std::uint32_t address,
                          std::int64_t roundTripMicroseconds = 1000);

} // namespace host_test
