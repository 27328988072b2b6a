#include "privileges.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace net::helper {
namespace {

constexpr std::uint32_t RawSocketsBit = 1u << CAP_NET_RAW;
static_assert(CAP_NET_RAW < 32, "CAP_NET_RAW lives in the first capability word");

using CapabilitySets = __user_cap_data_struct[_LINUX_CAPABILITY_U32S_3];

bool readCapabilities(CapabilitySets &sets) noexcept
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capget, &header, &sets) == 0;
}

bool writeCapabilities(CapabilitySets &sets) noexcept
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return ::syscall(SYS_capset, &header, &sets) == 0;
}

// Only a process started with CAP_SETPCAP (root) may shrink its bounding
// set; one given CAP_NET_RAW by its file has nothing else to shed there.
void shrinkBoundingSet() noexcept
{
    for (int capability = 0; capability < 64; ++capability) {
        if (capability == CAP_NET_RAW)
            continue;
        if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno == EINVAL)
            break; // past the last capability this kernel knows
    }
}

bool keepOnlyRawSocketCapability() noexcept
{
    CapabilitySets sets{};
    if (!readCapabilities(sets))
        return false;
    const std::uint32_t kept = sets[0].permitted & RawSocketsBit;
    sets[0] = {kept, kept, 0};
    sets[1] = {0, 0, 0};
    if (!writeCapabilities(sets))
        return false;
    CapabilitySets after{};
    return readCapabilities(after) && (after[0].effective & ~RawSocketsBit) == 0 &&
           (after[0].permitted & ~RawSocketsBit) == 0 && after[0].inheritable == 0 &&
           after[1].effective == 0 && after[1].permitted == 0 && after[1].inheritable == 0;
}

#if defined(__x86_64__)
constexpr std::uint32_t OwnArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t OwnArchitecture = AUDIT_ARCH_AARCH64;
#else
#error "name this architecture's AUDIT_ARCH value for the seccomp filter"
#endif

// execve and execveat fail with EPERM; a call made through another
// architecture's table (x32, i386 on x86_64) is refused outright, so the
// numbers checked here are the only ones that can reach exec.
bool refuseExecution() noexcept
{
    constexpr auto Allow = SECCOMP_RET_ALLOW;
    constexpr auto Refuse = SECCOMP_RET_ERRNO | EPERM;
    sock_filter program[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, OwnArchitecture, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
#if defined(__x86_64__)
        BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 2, 0), // the x32 table
#else
        BPF_JUMP(BPF_JMP | BPF_JA, 0, 0, 0),
#endif
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_execve, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_execveat, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, Refuse),
        BPF_STMT(BPF_RET | BPF_K, Allow),
    };
    sock_fprog filter{static_cast<unsigned short>(std::size(program)), program};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) == 0;
}

} // namespace

bool keepOnlyRawSockets() noexcept
{
    if (::close_range(STDERR_FILENO + 1, ~0u, 0) != 0)
        return false;
    shrinkBoundingSet();
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0)
        return false;
    if (!keepOnlyRawSocketCapability())
        return false;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    return refuseExecution();
}

} // namespace net::helper
