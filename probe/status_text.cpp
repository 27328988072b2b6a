#include "echowatch/probe/status_text.h"

#include "echowatch/icmp/ip_status.h"

#include <array>
#include <string_view>

namespace {

namespace IpStatus = icmp::IpStatus;

// The one place a status code meets its words. 500 is a code of the table
// that nothing produces.
inline constexpr EchoStatus PingTimeoutStatus = 500;

struct StatusEntry
{
    EchoStatus code;
    std::string_view text;
};

constexpr std::array<StatusEntry, 28> StatusTable{{
    {IpStatus::Success, "ip success"},
    {PingTimeoutStatus, "ping timeout"},
    {IpStatus::BufTooSmall, "ip buf too_small"},
    {IpStatus::DestNetUnreachable, "ip dest net unreachable"},
    {IpStatus::DestHostUnreachable, "ip dest host unreachable"},
    {IpStatus::DestProtUnreachable, "ip dest prot unreachable"},
    {IpStatus::DestPortUnreachable, "ip dest port unreachable"},
    {IpStatus::NoResources, "ip no resources"},
    {IpStatus::BadOption, "ip bad option"},
    {IpStatus::HwError, "ip hw_error"},
    {IpStatus::PacketTooBig, "ip packet too_big"},
    {IpStatus::ReqTimedOut, "ip req timed out"},
    {IpStatus::BadReq, "ip bad req"},
    {IpStatus::BadRoute, "ip bad route"},
    {IpStatus::TtlExpiredTransit, "ip ttl expired transit"},
    {IpStatus::TtlExpiredReassem, "ip ttl expired reassem"},
    {IpStatus::ParamProblem, "ip param_problem"},
    {IpStatus::SourceQuench, "ip source quench"},
    {IpStatus::OptionTooBig, "ip option too_big"},
    {IpStatus::BadDestination, "ip bad destination"},
    {IpStatus::AddrDeleted, "ip addr deleted"},
    {IpStatus::SpecMtuChange, "ip spec mtu change"},
    {IpStatus::MtuChange, "ip mtu_change"},
    {IpStatus::Unload, "ip unload"},
    {IpStatus::AddrAdded, "ip addr added"},
    {IpStatus::GeneralFailure, "ip general failure"},
    {IpStatus::Pending, "ip pending"},
    {BadAddressStatus, "inet_addr: bad IP format"},
}};

constexpr std::string_view UnknownStatusText = "unknown  msg returned";

std::string_view textOf(EchoStatus status)
{
    for (const auto &entry : StatusTable) {
        if (entry.code == status)
            return entry.text;
    }
    return UnknownStatusText;
}

} // namespace

std::string StatusText(EchoStatus status)
{
    std::string line = std::to_string(status);
    line += "   [ ";
    line += textOf(status);
    line += " ]";
    return line;
}
