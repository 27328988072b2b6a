// echowatch-probe: the one part of EchoWatch that is given CAP_NET_RAW. It
// opens its raw ICMP socket, then gives up every capability and confines
// itself (confinement.h) before it reads a byte of input; from then on it
// sends ICMP echo requests for the window's process, which asks over its
// standard input and reads the outcomes from its standard output, no faster
// than the system ping lets any user send to each host.
#include "confinement.h"
#include "request_server.h"

#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/icmp_socket.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
// The leak check at exit stops the process's threads through ptrace, which
// the confinement refuses; the build's tests check for leaks elsewhere.
extern "C" const char *__asan_default_options()
{
    return "detect_leaks=0";
}
#endif

namespace {

int refuseToServe(int error)
{
    if (error == EPERM) {
        std::fputs("echowatch-probe: a raw ICMP socket was refused: this program lacks "
                   "CAP_NET_RAW (setcap cap_net_raw+ep on it); not serving.\n",
                   stderr);
        return helper::ExitLacksCapability;
    }
    std::fprintf(stderr, "echowatch-probe: no raw ICMP socket: %s; not serving.\n",
                 std::strerror(error));
    return 1;
}

} // namespace

int main()
{
    if (!helper::closeInheritedDescriptors()) {
        std::fputs("echowatch-probe: could not close inherited descriptors; not serving.\n",
                   stderr);
        return 1;
    }
    auto opening = net::IcmpSocket::open(net::IcmpSocketKind::Raw, net::randomIdentifier());
    if (!opening.socket)
        return refuseToServe(opening.error);
    // A window that went away shows as a failed write, not a signal; one
    // that reads slowly holds answers back, not the requests in flight.
    std::signal(SIGPIPE, SIG_IGN);
    const int outputFlags = ::fcntl(STDOUT_FILENO, F_GETFL);
    if (outputFlags >= 0)
        ::fcntl(STDOUT_FILENO, F_SETFL, outputFlags | O_NONBLOCK);
    net::LinuxIcmpEchoLibrary library(std::move(*opening.socket));
    helper::RequestServer server(library);
    if (!helper::confine()) {
        std::fputs("echowatch-probe: could not give up its privileges; not serving.\n", stderr);
        return 1;
    }
    return server.serve(STDIN_FILENO, STDOUT_FILENO);
}
