#include "echowatch/probe/status_text.h"

#include <array>
#include <string_view>

namespace {

struct StatusEntry
{
    EchoStatus code;
    std::string_view text;
};

constexpr std::array<StatusEntry, 28> StatusTable{{
    {0, "ip success"},
    {500, "ping timeout"},
    {11001, "ip buf too_small"},
    {11002, "ip dest net unreachable"},
    {11003, "ip dest host unreachable"},
    {11004, "ip dest prot unreachable"},
    {11005, "ip dest port unreachable"},
    {11006, "ip no resources"},
    {11007, "ip bad option"},
    {11008, "ip hw_error"},
    {11009, "ip packet too_big"},
    {11010, "ip req timed out"},
    {11011, "ip bad req"},
    {11012, "ip bad route"},
    {11013, "ip ttl expired transit"},
    {11014, "ip ttl expired reassem"},
    {11015, "ip param_problem"},
    {11016, "ip source quench"},
    {11017, "ip option too_big"},
    {11018, "ip bad destination"},
    {11019, "ip addr deleted"},
    {11020, "ip spec mtu change"},
    {11021, "ip mtu_change"},
    {11022, "ip unload"},
    {11023, "ip addr added"},
    {11050, "ip general failure"},
    {11255, "ip pending"},
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
