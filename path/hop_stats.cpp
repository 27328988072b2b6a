#include "echowatch/path/hop_stats.h"

namespace path {

HopStats::Duration HopStats::average() const noexcept
{
    return answered() > 0 ? total / answered() : Duration{};
}

double HopStats::lossPercent() const noexcept
{
    return sent > 0 ? 100.0 * lost / sent : 0.0;
}

void HopStats::noteAnswer(std::uint32_t from, Duration roundTrip) noexcept
{
    const bool first = answered() == 0;
    ++sent;
    responder = from;
    last = roundTrip;
    best = first || roundTrip < best ? roundTrip : best;
    worst = first || roundTrip > worst ? roundTrip : worst;
    total += roundTrip;
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

} // namespace path
