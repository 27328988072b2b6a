// The lab's responder: answers echo requests in a host namespace whose kernel
// echo replies are off, late, wrongly, with crafted ICMP errors, or under a
// flood, as its command line says (see responder_plan.h). Prints "ready"
// once it listens; ends on SIGTERM, when its parent dies, or after a minute.
#include "responder_plan.h"
#include "responder_request.h"

#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds Lifetime{60};

using Pending = std::multimap<Clock::time_point, testpackets::Bytes>;

void sendPacket(int descriptor, const testpackets::Bytes &packet)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    std::memcpy(&to.sin_addr.s_addr, packet.data() + 16, sizeof to.sin_addr.s_addr);
    // A flood may outrun the queue; losing some of it is what a flood does.
    ::sendto(descriptor, packet.data(), packet.size(), 0, reinterpret_cast<sockaddr *>(&to),
             sizeof to);
}

void receiveRequests(int descriptor, lab::ResponderPlan &plan, Pending &pending)
{
    std::array<std::byte, 65536> buffer{};
    for (;;) {
        const ssize_t length = ::recv(descriptor, buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (length <= 0)
            return;
        const auto now = Clock::now();
        const auto request =
            lab::readEchoRequest(std::span(buffer).first(static_cast<std::size_t>(length)));
        if (!request)
            continue;
        for (auto &scheduled : plan.respond(*request))
            pending.emplace(now + scheduled.after, std::move(scheduled.packet));
    }
}

timespec untilNext(const Pending &pending, Clock::time_point end)
{
    const auto next = pending.empty() ? end : std::min(end, pending.begin()->first);
    const auto wait = std::max(Clock::duration::zero(), next - Clock::now());
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
    return {static_cast<time_t>(seconds.count()),
            static_cast<long>(std::chrono::nanoseconds(wait - seconds).count())};
}

void serve(int descriptor, lab::ResponderPlan &plan)
{
    Pending pending;
    const auto end = Clock::now() + Lifetime;
    while (Clock::now() < end) {
        pollfd watched{descriptor, POLLIN, 0};
        const timespec timeout = untilNext(pending, end);
        if (::ppoll(&watched, 1, &timeout, nullptr) > 0)
            receiveRequests(descriptor, plan, pending);
        const auto now = Clock::now();
        while (!pending.empty() && pending.begin()->first <= now) {
            sendPacket(descriptor, pending.begin()->second);
            pending.erase(pending.begin());
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    auto plan = lab::ResponderPlan::parse(arguments);
    if (!plan) {
        std::fprintf(stderr,
                     "usage: %s answer MS... | error TYPE CODE [answer...] | broken KIND "
                     "answer|silent | flood answer|silent | flood-foreign PPS\n",
                     argv[0]);
        return 2;
    }
    const int descriptor = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    const int on = 1;
    if (descriptor < 0 || ::setsockopt(descriptor, IPPROTO_IP, IP_HDRINCL, &on, sizeof on) != 0) {
        std::perror("responder socket");
        return 1;
    }
    // Its delays are what the tests measure: do not let a busy machine
    // stretch them. Best effort; without it the answers are merely later.
    const sched_param priority{sched_get_priority_min(SCHED_FIFO)};
    ::sched_setscheduler(0, SCHED_FIFO, &priority);
    std::puts("ready");
    std::fflush(stdout);
    serve(descriptor, *plan);
    ::close(descriptor);
    return 0;
}
