// Code that runs inside the helper once it has confined itself (a bug in the
// request parser, say) keeps the socket the helper opened and nothing more:
// no new socket of any kind, packet sockets among them, no socket option but
// the one it switches, and no program run.
#include "confinement.h"

#include "echowatch/net/icmp_socket.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <linux/if_ether.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

struct Attempts
{
    bool confined;
    int packetSocketError;
    int rawSocketError;
    int executeError;
    int headerIncludedError;
    int receiveErrorsError;
    bool keptSocketSends;
};

int errorOf(int result)
{
    return result < 0 ? errno : 0;
}

Attempts attemptAfterConfinement()
{
    Attempts attempts{};
    auto opening = net::IcmpSocket::open(net::IcmpSocketKind::Raw, 0x4242);
    attempts.confined = opening.socket && helper::confine();
    if (!attempts.confined)
        return attempts;
    attempts.packetSocketError = errorOf(::socket(AF_PACKET, SOCK_RAW, htons(ETH_P_ALL)));
    attempts.rawSocketError = errorOf(::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP));
    char *arguments[] = {const_cast<char *>("/bin/true"), nullptr};
    attempts.executeError = errorOf(::execv("/bin/true", arguments));
    const int on = 1;
    const int kept = opening.socket->descriptor();
    attempts.headerIncludedError = errorOf(::setsockopt(kept, SOL_IP, IP_HDRINCL, &on, sizeof on));
    attempts.receiveErrorsError = errorOf(::setsockopt(kept, SOL_IP, IP_RECVERR, &on, sizeof on));
    const unsigned char echo[8] = {8, 0, 0xb5, 0xbd, 0x42, 0x42, 0, 0}; // identifier 0x4242
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    attempts.keptSocketSends =
        ::sendto(opening.socket->descriptor(), echo, sizeof echo, 0,
                 reinterpret_cast<const sockaddr *>(&loopback), sizeof loopback) == sizeof echo;
    return attempts;
}

TEST(HelperConfinement, LeavesOnlyTheSocketItOpened)
{
    if (!childprocess::isRoot())
        GTEST_SKIP() << "skipped: needs root to open the raw socket the helper keeps";
    std::string failure;
    const auto attempts = childprocess::runFor<Attempts>(attemptAfterConfinement, failure);
    ASSERT_TRUE(attempts) << failure;
    ASSERT_TRUE(attempts->confined);
    EXPECT_EQ(attempts->packetSocketError, EPERM);
    EXPECT_EQ(attempts->rawSocketError, EPERM);
    EXPECT_EQ(attempts->executeError, EPERM);
    EXPECT_EQ(attempts->headerIncludedError, EPERM);
    EXPECT_EQ(attempts->receiveErrorsError, 0);
    EXPECT_TRUE(attempts->keptSocketSends);
}

} // namespace
