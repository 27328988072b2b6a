// echowatch-probe: the one part of EchoWatch that may hold CAP_NET_RAW. It
// sends ICMP echo requests for the window's process, which asks over its
// standard input and reads the answers from its standard output, and can do
// nothing else: see privileges.h and the limits of the protocol.
#include "privileges.h"
#include "request_server.h"

#include "echowatch/net/icmp_echo_library.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main()
{
    if (!net::helper::keepOnlyRawSockets()) {
        std::fputs("echowatch-probe: could not drop its privileges; not serving.\n", stderr);
        return 1;
    }
    // A window that went away shows as a failed write, not a signal.
    std::signal(SIGPIPE, SIG_IGN);
    net::LinuxIcmpEchoLibrary library(net::SocketKindChoice::RawOnly);
    net::helper::RequestServer server(library);
    return server.serve(STDIN_FILENO, STDOUT_FILENO);
}
