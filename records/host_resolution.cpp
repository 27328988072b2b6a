#include "echowatch/records/host_resolution.h"

#include "echowatch/net/ipv4_text.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

#include <memory>
#include <system_error>

namespace records {

namespace {

struct AddressListDeleter
{
    void operator()(addrinfo *list) const noexcept { freeaddrinfo(list); }
};

} // namespace

Resolution resolveIpv4(const std::string &name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    // One entry per address rather than one per socket type.
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    const int result = getaddrinfo(name.c_str(), nullptr, &hints, &found);
    const std::unique_ptr<addrinfo, AddressListDeleter> list(found);
    if (result != 0)
        return {{},
                result == EAI_SYSTEM ? std::generic_category().message(errno)
                                     : gai_strerror(result)};
    for (const addrinfo *entry = list.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || entry->ai_addr == nullptr)
            continue;
        const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ai_addr);
        return {net::ipv4Text(address->sin_addr.s_addr), {}};
    }
    return {{}, "no IPv4 address"};
}

bool looksLikeAddress(std::string_view text) noexcept
{
    return !text.empty() && text.find_first_not_of("0123456789.") == std::string_view::npos;
}

} // namespace records
