#include "echowatch/net/descriptor_room.h"

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

#include <array>

namespace net {

namespace {

// Written once, before any thread or child exists; read in children.
rlimit startingLimit{RLIM_INFINITY, RLIM_INFINITY};
bool raised = false;

} // namespace

void raiseDescriptorLimit() noexcept
{
    rlimit limit{};
    if (raised || ::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    startingLimit = limit;
    raised = true;
    if (limit.rlim_cur == limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

void restoreStartingDescriptorLimit() noexcept
{
    if (!raised)
        return;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    limit.rlim_cur = startingLimit.rlim_cur < limit.rlim_max ? startingLimit.rlim_cur
                                                             : limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

std::size_t descriptorLimit() noexcept
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return static_cast<std::size_t>(-1);
    return static_cast<std::size_t>(limit.rlim_cur);
}

bool descriptorsToSpare(int count) noexcept
{
    constexpr int MostAsked = 16;
    count = count < MostAsked ? count : MostAsked;
    std::array<int, MostAsked> opened{};
    int had = 0;
    for (; had < count; ++had) {
        opened[had] = ::eventfd(0, EFD_CLOEXEC);
        if (opened[had] < 0)
            break;
    }
    for (int index = 0; index < had; ++index)
        ::close(opened[index]);
    return had >= count;
}

} // namespace net
