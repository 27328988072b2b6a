#pragma once

#include <string>
#include <string_view>

namespace records {

// A host name looked up once, for IPv4, through the system's resolver
// (hosts file, DNS, whatever nsswitch.conf names). Blocks for as long as the
// resolver takes: call it off the GUI thread.
struct Resolution
{
    // Dotted IPv4; empty when the name did not resolve.
    std::string address;
    // The resolver's own message when it did not.
    std::string error;
};

Resolution resolveIpv4(const std::string &name);

// Text made of digits and dots only: an address, however malformed, that
// the address box judges for itself and that is never looked up as a name.
bool looksLikeAddress(std::string_view text) noexcept;

} // namespace records
