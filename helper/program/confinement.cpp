#include "confinement.h"

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <linux/audit.h>
#include <linux/capability.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace helper {
namespace {

using CapabilitySets = __user_cap_data_struct[_LINUX_CAPABILITY_U32S_3];

// Only a process started with CAP_SETPCAP (root) may shrink its bounding
// set; one given CAP_NET_RAW by its file may not, and loses nothing by it:
// without a permitted capability and with no_new_privs, nothing it runs can
// gain one back.
void emptyBoundingSet() noexcept
{
    for (int capability = 0; capability < 64; ++capability) {
        if (::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0 && errno == EINVAL)
            break; // past the last capability this kernel knows
    }
}

bool dropEveryCapability() noexcept
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    CapabilitySets sets{};
    if (::syscall(SYS_capset, &header, &sets) != 0)
        return false;
    CapabilitySets after{};
    if (::syscall(SYS_capget, &header, &after) != 0)
        return false;
    for (const auto &set : after) {
        if (set.effective != 0 || set.permitted != 0 || set.inheritable != 0)
            return false;
    }
    return true;
}

#if defined(__x86_64__)
constexpr std::uint32_t OwnArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t OwnArchitecture = AUDIT_ARCH_AARCH64;
#else
#error "name this architecture's AUDIT_ARCH value for the seccomp filter"
#endif

// What serving takes: reading requests and writing answers, sending (a
// request's own TTL rides on sendmsg as a control message, which needs no
// capability; the process holds none by then), waiting and receiving on the
// kept socket, the clock and the pace, memory (the allocator, the
// sanitizers), signals' return and ending.
constexpr std::array AllowedCalls
{
    SYS_read, SYS_write, SYS_writev, SYS_sendto, SYS_sendmsg, SYS_recvmsg, SYS_recvfrom, SYS_ppoll,
        SYS_getsockopt, SYS_clock_gettime, SYS_clock_nanosleep, SYS_nanosleep, SYS_mmap, SYS_munmap,
        SYS_mremap, SYS_madvise, SYS_mprotect, SYS_brk, SYS_futex, SYS_close, SYS_getpid,
        SYS_gettid, SYS_tgkill, SYS_rt_sigreturn, SYS_rt_sigprocmask, SYS_sigaltstack,
        SYS_sched_yield, SYS_getrandom, SYS_restart_syscall, SYS_exit, SYS_exit_group,
#if defined(ECHOWATCH_SANITIZED)
        // The sanitizers probe memory through a pipe and name the executable in
        // their reports; neither gives the process anything new.
        SYS_pipe2, SYS_readlinkat,
#if defined(SYS_readlink)
        SYS_readlink,
#endif
#endif
};

// Every other call fails with EPERM, so that code that tries one sees a
// refusal rather than a crash; a call through another architecture's table
// (x32, i386 on x86_64) ends the process, as its numbers mean other calls.
std::vector<sock_filter> allowListProgram()
{
    std::vector<sock_filter> program
    {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, OwnArchitecture, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
#if defined(__x86_64__)
            BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, 0x40000000u, 0, 1), // the x32 table
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
#endif
    };
    // Switching IP_RECVERR on the kept socket, and no other option: one such
    // as IP_HDRINCL would let code in here write whole IP packets.
    const auto argument = [](int index) {
        return static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * index);
    };
    program.insert(program.end(),
                   {
                       BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_setsockopt, 0, 6),
                       BPF_STMT(BPF_LD | BPF_W | BPF_ABS, argument(1)), // level, low word
                       BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SOL_IP, 0, 2),
                       BPF_STMT(BPF_LD | BPF_W | BPF_ABS, argument(2)), // option, low word
                       BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IP_RECVERR, 1, 0),
                       BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
                       BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
                   });
    for (const auto call : AllowedCalls) {
        program.push_back(
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(call), 0, 1));
        program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    }
    program.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM));
    return program;
}

bool allowOnlyServing() noexcept
{
    try {
        auto program = allowListProgram();
        sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
        return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) == 0;
    } catch (...) {
        return false;
    }
}

} // namespace

bool closeInheritedDescriptors() noexcept
{
    return ::close_range(STDERR_FILENO + 1, ~0u, 0) == 0;
}

bool confine() noexcept
{
    emptyBoundingSet();
    if (::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0)
        return false;
    if (!dropEveryCapability())
        return false;
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return false;
    return allowOnlyServing();
}

} // namespace helper
