// Many hosts probed on one scripted clock: every request leaves at its
// tick whatever the others' answers do, each host's probes come back in the
// order they were sent, and a host taken away is heard of no more.
#include "scripted_flight.h"

#include "echowatch/fleet/fleet_prober.h"
#include "echowatch/icmp/ip_status.h"

#include <gtest/gtest.h>

#include <map>

namespace {

using namespace fleet_test;
using fleet::FleetProbe;
using fleet::FleetProber;
using fleet::HostAddress;

constexpr std::uint32_t A = 0x0100007f; // 127.0.0.1 in network order
constexpr std::uint32_t B = 0x0200007f;
constexpr std::uint32_t C = 0x0300007f;

struct ProberRun
{
    ScriptedClock clock;
    ScriptedFlight flight;
    ScriptedLibrary library{flight};
    FleetProber prober;
    std::vector<FleetProbe> probes;

    ProberRun(AnswerScript script, std::chrono::milliseconds interval,
              std::chrono::nanoseconds batchSpan = {})
        : flight(clock, std::move(script)), prober(library, clock, interval, batchSpan)
    {}

    void add(std::vector<HostAddress> hosts) { prober.add(hosts); }

    void runFor(std::chrono::milliseconds span)
    {
        const auto end = clock.now() + span;
        while (clock.now() < end)
            prober.turn(end, probes);
    }

    // Each host's probes, in the order they were handed over.
    std::map<std::uint32_t, std::vector<FleetProbe>> byHost() const
    {
        std::map<std::uint32_t, std::vector<FleetProbe>> split;
        for (const FleetProbe &probe : probes)
            split[probe.probe.details.destination].push_back(probe);
        return split;
    }

    // How far each request's send was from the nearest multiple of interval
    // after the first one to the same host.
    std::chrono::nanoseconds worstSendError(std::chrono::milliseconds interval) const
    {
        std::map<std::uint32_t, SteadyClock::time_point> first;
        std::chrono::nanoseconds worst{0};
        for (const auto &sent : flight.sent) {
            const auto start = first.emplace(sent.destination, sent.at).first->second;
            worst = std::max(worst, (sent.at - start) % interval);
        }
        return worst;
    }
};

Answer always(std::chrono::milliseconds after, std::int32_t status = 0)
{
    return {after, status};
}

struct SlowHostCase
{
    const char *name;
    Answer slow; // what host A does at every request
    std::chrono::milliseconds interval;
};

class SlowHost : public testing::TestWithParam<SlowHostCase>
{};

// However host A answers (late, not at all, with an error), B and C leave on
// their ticks, and A on its own.
TEST_P(SlowHost, NeverDelaysAnyTick)
{
    const SlowHostCase &given = GetParam();
    ProberRun run([&given](std::uint32_t destination, int) {
        return destination == A ? given.slow : always(1ms);
    }, given.interval);
    run.add({{1, A}, {2, B}, {3, C}});
    run.runFor(given.interval * 40);
    EXPECT_EQ(run.worstSendError(given.interval), std::chrono::nanoseconds{0});
    for (const FleetProbe &probe : run.probes)
        EXPECT_EQ(probe.lateness, std::chrono::nanoseconds{0});
    const auto split = run.byHost();
    EXPECT_GE(split.at(B).size(), 39u);
    EXPECT_GE(split.at(C).size(), 39u);
    EXPECT_GE(split.at(A).size(), 34u);
}

INSTANTIATE_TEST_SUITE_P(
    Fleet, SlowHost,
    testing::Values(SlowHostCase{"late_answer", always(450ms), 1000ms},
                    SlowHostCase{"silent", always(900ms), 1000ms},
                    SlowHostCase{"error", always(30ms, icmp::IpStatus::DestHostUnreachable), 1000ms},
                    SlowHostCase{"several_in_flight", always(450ms), 100ms},
                    SlowHostCase{"silent_several_in_flight", always(900ms), 100ms}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(FleetProber, AHostsProbesComeBackInTheOrderTheyWentOut)
{
    // Every other request to A is answered 450 ms late, the others at once,
    // with a request every 100 ms: answers arrive out of order.
    ProberRun run([](std::uint32_t, int request) { return always(request % 2 == 0 ? 450ms : 5ms); },
            100ms);
    run.add({{1, A}});
    run.runFor(3s);
    const auto probes = run.byHost().at(A);
    ASSERT_GE(probes.size(), 20u);
    for (std::size_t index = 1; index < probes.size(); ++index)
        EXPECT_LT(probes[index - 1].probe.sentAt, probes[index].probe.sentAt);
}

TEST(FleetProber, TellsWhatEachRequestCameTo)
{
    ProberRun run([](std::uint32_t destination, int) {
        return destination == A ? always(2ms) : always(900ms);
    }, 1000ms);
    run.add({{1, A}, {2, B}});
    run.runFor(3s);
    const auto split = run.byHost();
    const FleetProbe &answered = split.at(A).front();
    EXPECT_EQ(answered.host, 1u);
    EXPECT_EQ(answered.probe.status, 0);
    EXPECT_EQ(answered.probe.details.roundTripMicroseconds, 1000);
    const FleetProbe &silent = split.at(B).front();
    EXPECT_EQ(silent.host, 2u);
    EXPECT_EQ(silent.probe.status, icmp::IpStatus::ReqTimedOut);
    EXPECT_EQ(silent.probe.details.roundTripMicroseconds, -1);
}

TEST(FleetProber, AHostRemovedWithRequestsInFlightIsHeardOfNoMore)
{
    ProberRun run([](std::uint32_t, int) { return always(400ms); }, 100ms);
    run.add({{1, A}, {2, B}});
    run.runFor(1s);
    run.prober.remove(1);
    const std::size_t before = run.byHost().at(A).size();
    run.runFor(2s);
    EXPECT_EQ(run.byHost().at(A).size(), before);
    EXPECT_EQ(run.prober.hosts(), 1u);
    EXPECT_LE(run.prober.inFlight(), 5u);
}

TEST(FleetProber, NoEchoServiceFailsEachTickAtOnceWithItsStatus)
{
    ProberRun run([](std::uint32_t, int) { return always(1ms); }, 500ms);
    run.library.openFailure = icmp::IpStatus::NoResources;
    run.add({{1, A}});
    run.runFor(2s);
    ASSERT_EQ(run.probes.size(), 3u); // at 0.5, 1 and 1.5 s
    for (const FleetProbe &probe : run.probes) {
        EXPECT_EQ(probe.probe.status, icmp::IpStatus::NoResources);
        EXPECT_EQ(probe.probe.details.destination, A);
    }
    EXPECT_TRUE(run.flight.sent.empty());
}

// Batched, the ticks of one span leave together at its start: never
// later than unbatched, earlier by less than the span, each host at the
// same place in every interval, and none counted late.
TEST(FleetProber, BatchedTicksLeaveAtTheStartOfTheirSpan)
{
    constexpr auto Span = 10ms;
    const auto answer = [](std::uint32_t, int) { return always(1ms); };
    ProberRun single(answer, 1000ms);
    ProberRun batched(answer, 1000ms, Span);
    std::vector<HostAddress> hosts;
    for (std::uint32_t host = 1; host <= 7; ++host)
        hosts.push_back({host, A + (host << 24)});
    single.add(hosts);
    batched.add(hosts);
    single.runFor(3s);
    batched.runFor(3s);
    EXPECT_EQ(batched.worstSendError(1000ms), std::chrono::nanoseconds{0});
    std::map<std::uint32_t, SteadyClock::time_point> firstSingle;
    for (const auto &sent : single.flight.sent)
        firstSingle.emplace(sent.destination, sent.at);
    std::map<std::uint32_t, SteadyClock::time_point> firstBatched;
    for (const auto &sent : batched.flight.sent) {
        EXPECT_EQ(sent.at.time_since_epoch() % Span, std::chrono::nanoseconds{0});
        firstBatched.emplace(sent.destination, sent.at);
    }
    ASSERT_EQ(firstBatched.size(), 7u);
    bool someEarly = false;
    for (const auto &[destination, at] : firstBatched) {
        const auto early = firstSingle.at(destination) - at;
        EXPECT_GE(early, std::chrono::nanoseconds{0}) << destination;
        EXPECT_LT(early, Span) << destination;
        someEarly = someEarly || early > std::chrono::nanoseconds{0};
    }
    EXPECT_TRUE(someEarly) << "every tick fell on a span's start: the case proves nothing";
    for (const FleetProbe &probe : batched.probes)
        EXPECT_EQ(probe.lateness, std::chrono::nanoseconds{0});
}

// With spans, answers are taken at the turn of the span they came in, not
// each as it comes, and never later; a silent host's timeout likewise.
TEST(FleetProber, BatchedAnswersAreTakenAtTheEndOfTheSpanTheyCameIn)
{
    constexpr auto Span = 10ms;
    const auto answer = [](std::uint32_t destination, int) {
        return destination == A ? always(3ms) : always(900ms);
    };
    ProberRun run(answer, 1000ms, Span);
    run.add({{1, A}, {2, B}});
    std::map<std::uint32_t, std::vector<SteadyClock::time_point>> handedAt;
    const auto end = run.clock.now() + 2500ms;
    while (run.clock.now() < end) {
        const std::size_t before = run.probes.size();
        run.prober.turn(end, run.probes);
        for (std::size_t index = before; index < run.probes.size(); ++index)
            handedAt[run.probes[index].probe.details.destination].push_back(run.clock.now());
    }
    std::map<std::uint32_t, std::vector<SteadyClock::time_point>> sentAt;
    for (const auto &sent : run.flight.sent)
        sentAt[sent.destination].push_back(sent.at);
    const struct
    {
        std::uint32_t host;
        std::chrono::milliseconds outcomeAfter;
    } cases[] = {{A, 3ms}, {B, 500ms}};
    for (const auto &expected : cases) {
        ASSERT_EQ(handedAt[expected.host].size(), 2u) << expected.host;
        for (std::size_t probe = 0; probe < 2; ++probe) {
            const auto in = sentAt[expected.host][probe] + expected.outcomeAfter;
            const auto taken = handedAt[expected.host][probe];
            EXPECT_GE(taken, in) << expected.host;
            EXPECT_LE(taken - in, Span) << expected.host;
            EXPECT_EQ(taken.time_since_epoch() % Span, std::chrono::nanoseconds{0})
                << expected.host;
        }
    }
}

TEST(FleetProber, AStalledTurnTakesEachHostsLatestTickOnceAndSaysHowLate)
{
    ProberRun run([](std::uint32_t, int) { return always(1ms); }, 100ms);
    run.add({{1, A}});
    run.runFor(150ms);
    run.probes.clear();
    run.clock.advanceTo(run.clock.now() + 320ms); // the thread got no CPU
    run.prober.turn(run.clock.now(), run.probes);
    run.runFor(10ms);
    ASSERT_EQ(run.probes.size(), 1u);
    EXPECT_EQ(run.probes.front().lateness, std::chrono::milliseconds{70});
    EXPECT_EQ(run.prober.skippedTicks(), 2u);
}

} // namespace
