#include "support/child_process.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace childprocess {
namespace {

void writeAll(int descriptor, const std::string &bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = ::write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
}

std::string readAll(int descriptor)
{
    std::string bytes;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(descriptor, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return bytes;
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

bool bringLoopbackUp()
{
    const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (control < 0)
        return false;
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(control, SIOCGIFFLAGS, &request) == 0;
    request.ifr_flags |= IFF_UP;
    up = up && ::ioctl(control, SIOCSIFFLAGS, &request) == 0;
    ::close(control);
    return up;
}

} // namespace

std::optional<std::string> run(const std::function<std::string()> &work, std::string &failure)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0) {
        failure = "pipe failed";
        return std::nullopt;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipe[0]);
        writeAll(pipe[1], work());
        ::_exit(0);
    }
    ::close(pipe[1]);
    std::string bytes = readAll(pipe[0]);
    ::close(pipe[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        failure = "the child process failed";
        return std::nullopt;
    }
    return bytes;
}

std::string enterNetworkNamespace(const char *pingGroups)
{
    if (::unshare(CLONE_NEWNET) != 0)
        return std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
    if (!bringLoopbackUp())
        return "could not bring loopback up";
    const int range = ::open("/proc/sys/net/ipv4/ping_group_range", O_WRONLY | O_CLOEXEC);
    if (range < 0)
        return "cannot open ping_group_range";
    const std::string value(pingGroups);
    const bool written =
        ::write(range, value.data(), value.size()) == static_cast<ssize_t>(value.size());
    ::close(range);
    return written ? std::string() : "cannot set ping_group_range";
}

bool shell(const std::string &command)
{
    return std::system(command.c_str()) == 0;
}

bool isRoot()
{
    return ::geteuid() == 0;
}

} // namespace childprocess
