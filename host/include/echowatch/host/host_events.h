#pragma once

#include "echowatch/history/outage_list.h"
#include "echowatch/probe/probe_details.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host {

using Milliseconds = history::Milliseconds;
// Given by the host monitor, unique in the process, never 0.
using OutageId = std::uint64_t;
using WatchId = std::uint64_t;

// Milliseconds since the epoch of a probe's send time, as every event
// tells its times.
Milliseconds millisecondsOf(std::chrono::system_clock::time_point time) noexcept;

// Who a host is: how the user calls it and the address its probes go to.
// 0.0.0.0 is an address like any other.
struct HostIdentity
{
    // The name given on the command line for that address, else the
    // dotted address.
    std::string label;
    // IPv4 in network byte order, and as dotted text.
    std::uint32_t address = 0;
    std::string dotted;

    bool operator==(const HostIdentity &) const = default;
};

// Why a watch ended. Only a watch ended by the host's answer would say "up";
// none of these does.
enum class WatchEnd
{
    Stopped,
    AddressChanged,
    Closed,
    Sleep,
};

// Whose side an outage is on, as the trace at its start and the kernel's
// and the desktop's view of the way out found it; NotWatched for an
// outage whose watch ended before that was found.
enum class Side
{
    Unknown,
    ThisComputer,
    LocalNetwork,
    BeyondGateway,
    TheHost,
    NotWatched,
};

// "this computer", "local network", "beyond the gateway", "the host",
// "not watched": the words every record names a class by; empty for
// Unknown.
std::string_view sideName(Side side) noexcept;

struct Verdict
{
    Side side = Side::Unknown;
    // What a person reads: the class, a colon, and where the path broke
    // and why ("local network: gateway 192.0.2.1 does not answer"); the
    // trace's words alone where no class was found; or, when the trace
    // could not run, why not.
    std::string text;
    // False when no trace ran (its echo service could not be opened, or
    // the watch ended first): there is no path to tell.
    bool traced = true;
};

// Whether a verdict says anything of where the outage was: a trace ran,
// or a class was found without one. A trace that could not run and found
// nothing only says why.
bool tellsWhere(const Verdict &verdict) noexcept;

struct WatchStarted
{
    HostIdentity host;
    WatchId watch = 0;
    Milliseconds at = 0;
};

// One probe the window showed. A probe whose text was no address was not
// sent: it carries the host probed before it, none before any was, and no
// watch. (An empty identity would read as 0.0.0.0, which is a host.)
struct ProbeTaken
{
    std::optional<HostIdentity> host;
    bool sent = true;
    WatchId watch = 0;
    probe::ProbeEvent probe;
    // The outage this failure belongs to, once the host was called down.
    std::optional<OutageId> outage;
};

// An outage's turn: its figures so far and the probe that made the turn.
struct OutageTurn
{
    HostIdentity host;
    WatchId watch = 0;
    OutageId outage = 0;
    history::Outage figures;
    probe::ProbeEvent latest;
    // A turn while the host flaps: what tells people (notifications,
    // commands) tells the flapping once instead, at FlappingStarted and
    // FlappingSettled; what keeps figures keeps this one as any other.
    bool flapping = false;
};

// Which rule called a host down.
enum class DownBy
{
    // --down-after: failed probes in a row.
    InARow,
    // --down-loss: the share of the last probes that failed.
    Loss,
};

// The failures among the last probes sent, as the loss rule counts them.
struct LossFigures
{
    std::uint32_t failed = 0;
    // The rule's window: the last this many probes.
    std::uint32_t window = 0;
};

// The host was called down: the figures run from its first failed probe
// (in a row, or the first of the loss window's failures) to the one that
// crossed the threshold.
struct HostDown : OutageTurn
{
    DownBy by = DownBy::InARow;
    // Where the loss rule is on: the window's failures at the down.
    LossFigures loss;
};

// The host answered again: the outage ends at that answer's send time.
struct HostUp : OutageTurn
{};

// Nobody watches the host any more. An outage open then ended with the
// watch, not with an answer: the host was never seen back.
struct WatchEnded
{
    HostIdentity host;
    WatchId watch = 0;
    Milliseconds started = 0;
    Milliseconds at = 0;
    WatchEnd why = WatchEnd::Stopped;
    std::optional<OutageId> outage;
    history::Outage figures;
};

// The round trips the slow rule reads: a percentile of the last minute's
// answers, and what is usual for the host.
struct RoundTripFigures
{
    int percentile = 0;
    std::int64_t microseconds = 0;
    // The last minute's answers the percentile was taken of.
    std::size_t answers = 0;
    // The rule's round trip, which the percentile went over.
    int overMilliseconds = 0;
    // The median of the minute medians of the hour before the round trips
    // went over; none where less than a minute was watched before.
    std::optional<std::int64_t> usualMicroseconds;
};

// The host is slow: its percentile went over at `since` and stayed over
// for a full minute, until `at`.
struct SlowStarted
{
    HostIdentity host;
    WatchId watch = 0;
    Milliseconds since = 0;
    Milliseconds at = 0;
    RoundTripFigures figures;
};

// How a slow period ended. Only Normal is the host's doing.
enum class SlowEnd
{
    // Under for a full minute.
    Normal,
    // Nobody watches the host any more: whether it was slow after is not
    // known.
    WatchEnded,
    // The slow rule was switched off.
    RuleOff,
};

// The slow period that started at `since` ended at `until` (when the
// percentile came back under, for Normal; else when it was ended), told at
// `at`.
struct SlowEnded
{
    HostIdentity host;
    WatchId watch = 0;
    Milliseconds since = 0;
    Milliseconds until = 0;
    Milliseconds at = 0;
    SlowEnd why = SlowEnd::Normal;
    RoundTripFigures figures;
};

// The host flaps: the down given (its outage's turn) was one more than the
// flap rule's limit within its window. From now on its downs and ups are
// flapping turns, until it settles.
struct FlappingStarted : OutageTurn
{
    // The first down counted, and the downs counted since.
    Milliseconds since = 0;
    std::uint32_t downs = 0;
    std::chrono::milliseconds window{0};
};

// The host stopped flapping: it stayed down (the outage given is still
// open) or up (the outage given is the last it came back from) for the
// flap rule's window, or the rule was switched off.
struct FlappingSettled : OutageTurn
{
    bool down = false;
    // The flapping stretch: from the first down counted to now.
    Milliseconds since = 0;
    Milliseconds at = 0;
    // Every down from the first counted on.
    std::uint32_t downs = 0;
};

// The one verdict of an outage: the first filed. An outage whose watch
// ends before it has one gets NotWatched then.
struct VerdictFiled
{
    HostIdentity host;
    OutageId outage = 0;
    // When the outage started, for what keeps outages by their start.
    Milliseconds outageStart = 0;
    Verdict verdict;
};

// What the monitors tell, in the order they decide it: for a probe, its
// ProbeTaken first, then the down or up it made, then the flapping it
// started or the settling it made, then the slow or normal it made; at a
// watch's end, a slow period's end before the WatchEnded.
class EventSink
{
public:
    virtual ~EventSink() = default;
    virtual void watchStarted(const WatchStarted &event) = 0;
    virtual void probeTaken(const ProbeTaken &event) = 0;
    virtual void hostDown(const HostDown &event) = 0;
    virtual void hostUp(const HostUp &event) = 0;
    virtual void watchEnded(const WatchEnded &event) = 0;
    virtual void verdictFiled(const VerdictFiled &event) = 0;
    virtual void slowStarted(const SlowStarted &event) = 0;
    virtual void slowEnded(const SlowEnded &event) = 0;
    virtual void flappingStarted(const FlappingStarted &event) = 0;
    virtual void flappingSettled(const FlappingSettled &event) = 0;
};

// Numbers outages and watches across every monitor of the process.
class IdSource
{
public:
    std::uint64_t next() noexcept { return ++m_last; }

private:
    std::uint64_t m_last = 0;
};

} // namespace host
