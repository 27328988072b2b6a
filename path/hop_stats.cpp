#include "echowatch/path/hop_stats.h"

#include <algorithm>

namespace path {
namespace {

// Most paths show one address per TTL, a balanced one a few.
constexpr std::size_t UsualResponders = 4;

void noteDuration(int &count, HopStats::Duration value, HopStats::Duration &last,
                  HopStats::Duration &best, HopStats::Duration &worst) noexcept
{
    const bool first = count == 0;
    ++count;
    last = value;
    best = first || value < best ? value : best;
    worst = first || value > worst ? value : worst;
}

} // namespace

HopStats::Duration HopStats::average() const noexcept
{
    return roundTrips > 0 ? total / roundTrips : Duration{};
}

double HopStats::lossPercent() const noexcept
{
    return sent > 0 ? 100.0 * lost / sent : 0.0;
}

std::uint32_t HopStats::responder() const noexcept
{
    const auto most = std::max_element(
        responders.begin(), responders.end(),
        [](const HopResponder &a, const HopResponder &b) {
            return a.count() < b.count() || (a.count() == b.count() && a.lastHeard < b.lastHeard);
        });
    return most != responders.end() ? most->address : 0;
}

const HopResponder *HopStats::find(std::uint32_t address) const noexcept
{
    const auto found = std::find_if(responders.begin(), responders.end(),
                                    [address](const auto &r) { return r.address == address; });
    return found != responders.end() ? &*found : nullptr;
}

const HopResponder *HopStats::lastErrorSender() const noexcept
{
    return endedByError ? find(lastErrorFrom) : nullptr;
}

HopResponder &HopStats::heardFrom(std::uint32_t address)
{
    const auto known = std::find_if(responders.begin(), responders.end(),
                                    [address](const auto &r) { return r.address == address; });
    if (known != responders.end())
        return *known;
    if (responders.empty())
        responders.reserve(UsualResponders);
    HopResponder &heard = responders.emplace_back();
    heard.address = address;
    return heard;
}

void HopStats::noteAnswer(std::uint32_t from, Duration roundTrip, bool fromHost)
{
    ++sent;
    HopResponder &heard = heardFrom(from);
    ++heard.answers;
    heard.lastHeard = sent;
    total += roundTrip;
    noteDuration(roundTrips, roundTrip, last, best, worst);
    isHost = fromHost;
    endedByError = false;
}

void HopStats::noteError(std::uint32_t from, icmp::MessageKind kind, Duration after)
{
    ++sent;
    HopResponder &sender = heardFrom(from);
    ++sender.errors;
    sender.lastError = kind;
    sender.lastHeard = sent;
    noteDuration(errors, after, lastErrorAfter, bestErrorAfter, worstErrorAfter);
    lastErrorFrom = from;
    isHost = false;
    endedByError = true;
}

int PathTable::hostHop() const noexcept
{
    for (std::size_t index = 0; index < hops.size(); ++index) {
        if (hops[index].isHost)
            return static_cast<int>(index) + 1;
    }
    return 0;
}

int PathTable::lastAnsweringHop() const noexcept
{
    for (auto index = hops.size(); index > 0; --index) {
        if (hops[index - 1].answered() > 0)
            return static_cast<int>(index);
    }
    return 0;
}

int PathTable::hopAnsweredBy(std::uint32_t address) const noexcept
{
    for (std::size_t index = 0; index < hops.size(); ++index) {
        const HopResponder *heard = hops[index].find(address);
        if (heard != nullptr && heard->answers > 0)
            return static_cast<int>(index) + 1;
    }
    return 0;
}

} // namespace path
