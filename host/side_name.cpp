#include "echowatch/host/host_events.h"

namespace host {

std::string_view sideName(Side side) noexcept
{
    switch (side) {
    case Side::ThisComputer:
        return "this computer";
    case Side::LocalNetwork:
        return "local network";
    case Side::BeyondGateway:
        return "beyond the gateway";
    case Side::TheHost:
        return "the host";
    case Side::NotWatched:
        return "not watched";
    case Side::Unknown:
        break;
    }
    return {};
}

bool tellsWhere(const Verdict &verdict) noexcept
{
    return verdict.traced || verdict.side != Side::Unknown;
}

} // namespace host
