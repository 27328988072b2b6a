// The host monitor's rules beyond failures in a row, over a scripted clock
// (one probe a second) and scripted outcomes: down by loss with its two
// levels, slow and normal by a percentile held for a full minute, flapping
// told once and its settling, and every window starting empty with a watch.
#include "recording_sink.h"

#include "echowatch/host/host_monitor.h"
#include "echowatch/host/round_trip_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string_view>

namespace {

using Lines = std::vector<std::string>;

constexpr std::uint32_t Host = 0xC0000207; // 192.0.2.7
constexpr EchoStatus TimedOut = 11010;

host::AlertRules lossRule(int raise, int clear, int window, int downAfter = 3)
{
    host::AlertRules rules;
    rules.downAfter = downAfter;
    rules.loss = {raise, clear, window};
    return rules;
}

host::AlertRules slowRule(int overMilliseconds, int percentile)
{
    host::AlertRules rules;
    rules.slow = {overMilliseconds, percentile};
    return rules;
}

host::AlertRules flapRule(int limit, int windowMinutes = 10)
{
    host::AlertRules rules;
    rules.downAfter = 1;
    rules.flap = {limit, windowMinutes};
    return rules;
}

std::string repeated(std::string_view part, int times)
{
    std::string whole;
    for (int time = 0; time < times; ++time)
        whole += part;
    return whole;
}

// One host's monitor, a probe a second; what it decides beyond each probe
// and the watch's start, as "SECOND: event".
class Scripted
{
public:
    explicit Scripted(host::AlertRules rules) : monitor({"h", 0, "192.0.2.7"}, rules, ids, sink) {}

    // a answered in 1 ms, s in 150 ms, f timed out; | ends the watch.
    void probes(std::string_view letters)
    {
        for (const char letter : letters) {
            if (letter == '|')
                endWatch();
            else
                take(letter == 'f' ? TimedOut : 0, letter == 's' ? 150 : 1);
        }
    }
    void answers(int count, int roundTripMilliseconds)
    {
        for (int answer = 0; answer < count; ++answer)
            take(0, roundTripMilliseconds);
    }
    void endWatch()
    {
        monitor.endWatch(std::int64_t{second} * 1000, host::WatchEnd::Stopped);
        collect();
    }

    host_test::RecordingSink sink;
    host::IdSource ids;
    host::HostMonitor monitor;
    int second = 0;
    Lines turns;

private:
    void take(EchoStatus status, int roundTripMilliseconds)
    {
        monitor.take(host_test::probeAt(++second, status, Host,
                                        std::int64_t{roundTripMilliseconds} * 1000));
        collect();
    }
    void collect()
    {
        for (; m_seen < sink.lines.size(); ++m_seen) {
            const std::string &line = sink.lines[m_seen];
            if (line.rfind("probe ", 0) != 0 && line.rfind("watch ", 0) != 0)
                turns.push_back(std::to_string(second) + ": " + line);
        }
    }
    std::size_t m_seen = 0;
};

// 30% loss, never two failures in a row: 3 of every 10 probes.
const std::string ThirtyPercent = repeated("faafaafaaa", 5);

// Scripted outcomes under some rules, and the turns they make.
struct LettersCase
{
    const char *name;
    host::AlertRules rules;
    std::string letters;
    Lines expected;
};

class Letters : public testing::TestWithParam<LettersCase>
{};

TEST_P(Letters, MakeTheTurns)
{
    Scripted script(GetParam().rules);
    script.probes(GetParam().letters);
    EXPECT_EQ(script.turns, GetParam().expected);
}

std::string caseName(const testing::TestParamInfo<LettersCase> &info)
{
    return info.param.name;
}

using LossCase = LettersCase;

INSTANTIATE_TEST_SUITE_P(
    LossRule, Letters,
    testing::Values(
        // Failures in a row alone never call 30% loss.
        LossCase{"inARowAloneMissesLoss", lossRule(0, 0, 50), ThirtyPercent, {}},
        // 20% of 50 is 10 failures: the 10th comes at probe 31.
        LossCase{"lossAt30PercentNoThreeInARow",
                 lossRule(20, 5, 50),
                 ThirtyPercent,
                 {"31: down h #2 by loss"}},
        // Up once the window holds at most 2 failures (5% of 50): after 50
        // answers it holds none, after 48 the two last of the loss.
        LossCase{"upAtTheClearLevel",
                 lossRule(20, 5, 50),
                 ThirtyPercent + repeated("a", 50),
                 {"31: down h #2 by loss", "91: up h #2"}},
        // 4 of 20 raises, 1 of 20 clears: hovering at 3 and 4 failures
        // neither flips back nor calls a second down.
        LossCase{"noFlipAtTheBoundary",
                 lossRule(20, 5, 20),
                 repeated("faaaa", 4) + repeated("aaaaf", 8) + repeated("a", 20),
                 {"16: down h #2 by loss", "75: up h #2"}},
        // Down in a row first; the host answers again, but 6 of 20 failed:
        // up waits for the window to clear.
        LossCase{"upWhenBothSayUp",
                 lossRule(50, 10, 20),
                 "ffffff" + repeated("a", 20),
                 {"3: down h #2", "24: up h #2"}},
        // A window not yet full: ten failures are ten failures of fifty.
        LossCase{"aWindowNotYetFull",
                 lossRule(20, 5, 50, 100),
                 repeated("fa", 10),
                 {"19: down h #2 by loss"}}),
    caseName);

TEST(LossRule, TheDownTellsTheWindowsFailures)
{
    Scripted script(lossRule(20, 5, 50));
    script.probes(ThirtyPercent);
    ASSERT_EQ(script.sink.downs.size(), 1U);
    const host::HostDown &down = script.sink.downs[0];
    EXPECT_EQ(down.by, host::DownBy::Loss);
    EXPECT_EQ(down.loss.failed, 10U);
    EXPECT_EQ(down.loss.window, 50U);
    EXPECT_EQ(down.figures.start, 1'000);
    EXPECT_EQ(down.figures.probesLost, 10U);
}

// Round trips, a second apart: for `seconds` seconds, `milliseconds` each.
struct Stretch
{
    int seconds;
    int milliseconds;
};

std::vector<Stretch> halfFailing(int seconds, int milliseconds)
{
    std::vector<Stretch> stretches;
    for (int second = 0; second < seconds; second += 2) {
        stretches.push_back({1, milliseconds});
        stretches.push_back({1, -1});
    }
    return stretches;
}

struct SlowCase
{
    const char *name;
    host::AlertRules rules;
    std::vector<Stretch> stretches;
    Lines expected;
};

class SlowRuleTable : public testing::TestWithParam<SlowCase>
{};

TEST_P(SlowRuleTable, CallsSlowAndNormal)
{
    Scripted script(GetParam().rules);
    for (const Stretch &stretch : GetParam().stretches) {
        if (stretch.milliseconds < 0)
            script.probes(repeated("f", stretch.seconds));
        else
            script.answers(stretch.seconds, stretch.milliseconds);
    }
    EXPECT_EQ(script.turns, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SlowRuleTable,
    testing::Values(
        // Over from the first answer at second 1: 59 s later, nothing yet.
        SlowCase{"overFor59Seconds", slowRule(100, 95), {{60, 150}}, {}},
        SlowCase{"overFor61Seconds", slowRule(100, 95), {{62, 150}}, {"61: slow h since 1 at 61"}},
        // At the rule's round trip is not over it.
        SlowCase{"atTheRoundTripIsNotOver", slowRule(150, 95), {{120, 150}}, {}},
        // The 95th percentile of 60 answers is the 57th shortest: it goes
        // over with the 4th slow answer, and back under once 3 are left.
        SlowCase{"normalAfterAFullMinuteUnder",
                 slowRule(100, 95),
                 {{60, 20}, {100, 150}, {200, 20}},
                 {"124: slow h since 64 at 124", "277: normal h since 217 at 277"}},
        // A timeout is no slow answer: half the probes failing leave the
        // answers' round trips as they were.
        SlowCase{"timeoutsAreNoSlowAnswers", slowRule(100, 50), halfFailing(100, 20), {}},
        // Half over, half under: the median is over, the 95th not under.
        SlowCase{"aLowerPercentile",
                 slowRule(100, 50),
                 {{200, 20}, {130, 150}},
                 {"291: slow h since 231 at 291"}},
        SlowCase{"theRuleOff", slowRule(0, 95), {{200, 500}}, {}}),
    [](const testing::TestParamInfo<SlowCase> &info) { return info.param.name; });

TEST(SlowRule, TellsThePercentileAndWhatIsUsual)
{
    Scripted script(slowRule(100, 95));
    // Ten minutes around 45 ms (minutes of 40 and 50 ms medians), then
    // 200 ms.
    for (int minute = 0; minute < 10; ++minute)
        script.answers(60, minute % 2 == 0 ? 40 : 50);
    script.answers(5, 45);
    script.answers(70, 200);
    ASSERT_EQ(script.sink.slows.size(), 1U);
    const host::RoundTripFigures &figures = script.sink.slows[0].figures;
    EXPECT_EQ(figures.percentile, 95);
    EXPECT_EQ(figures.microseconds, 200'000);
    EXPECT_EQ(figures.answers, 60U);
    EXPECT_EQ(figures.overMilliseconds, 100);
    // The median of five 40 ms and five 50 ms minutes: the lower middle.
    EXPECT_EQ(figures.usualMicroseconds, 40'000);
}

TEST(SlowRule, NothingIsUsualBeforeAMinuteWasWatched)
{
    Scripted script(slowRule(100, 95));
    script.answers(62, 150);
    ASSERT_EQ(script.sink.slows.size(), 1U);
    EXPECT_FALSE(script.sink.slows[0].figures.usualMicroseconds.has_value());
}

TEST(Flapping, SeventyOneFlipsInTenMinutesAreToldOnce)
{
    Scripted script(flapRule(5));
    script.probes(repeated("faaaaaaa", 71));
    const auto told = [](const auto &turns) {
        return std::count_if(turns.begin(), turns.end(),
                             [](const auto &turn) { return !turn.flapping; });
    };
    EXPECT_EQ(script.sink.downs.size(), 71U);
    EXPECT_EQ(told(script.sink.downs), 5);
    EXPECT_EQ(told(script.sink.ups), 5);
    ASSERT_EQ(script.sink.flaps.size(), 1U);
    EXPECT_EQ(script.sink.flaps[0].downs, 6U);
    EXPECT_EQ(script.sink.flaps[0].since, 1'000);
    EXPECT_EQ(script.sink.flaps[0].outage, script.sink.downs[5].outage);
    EXPECT_TRUE(script.sink.settles.empty());
    // Up for the window after the last flip (its up at 562): settled up.
    script.probes(repeated("a", 600));
    ASSERT_EQ(script.sink.settles.size(), 1U);
    const host::FlappingSettled &settled = script.sink.settles[0];
    EXPECT_FALSE(settled.down);
    EXPECT_EQ(settled.at, 1'162'000);
    EXPECT_EQ(settled.downs, 71U);
    EXPECT_EQ(settled.outage, script.sink.ups.back().outage);
    EXPECT_EQ(settled.figures.end, 562'000);
}

using FlapCase = LettersCase;

Lines flips(int count, int firstOutage = 2)
{
    Lines lines;
    for (int flip = 0; flip < count; ++flip) {
        const std::string outage = " #" + std::to_string(firstOutage + flip);
        lines.push_back(std::to_string(2 * flip + 1) + ": down h" + outage);
        lines.push_back(std::to_string(2 * flip + 2) + ": up h" + outage);
    }
    return lines;
}

Lines withFlapping(Lines lines, const Lines &more)
{
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    FlapRule, Letters,
    testing::Values(
        FlapCase{"fiveDownsAreNoFlapping", flapRule(5), repeated("fa", 5), flips(5)},
        FlapCase{"theSixthFlaps",
                 flapRule(5),
                 repeated("fa", 7),
                 withFlapping(flips(5), {"11: down h #7 (flapping)", "11: flapping h #7 6 downs",
                                         "12: up h #7 (flapping)", "13: down h #8 (flapping)",
                                         "14: up h #8 (flapping)"})},
        // Six downs over more than a minute's window: never more than 5
        // within it.
        FlapCase{"spreadBeyondTheWindow",
                 flapRule(5, 1),
                 repeated("f" + repeated("a", 12), 6),
                 {"1: down h #2", "2: up h #2", "14: down h #3", "15: up h #3", "27: down h #4",
                  "28: up h #4", "40: down h #5", "41: up h #5", "53: down h #6", "54: up h #6",
                  "66: down h #7", "67: up h #7"}},
        // Down for the window: settled down, and its up is told again.
        FlapCase{"settledDown",
                 flapRule(2, 1),
                 "fafaf" + repeated("f", 60) + "a",
                 {"1: down h #2", "2: up h #2", "3: down h #3", "4: up h #3",
                  "5: down h #4 (flapping)", "5: flapping h #4 3 downs", "65: settled down h #4 at 65",
                  "66: up h #4"}},
        // Settled, the downs are counted afresh: two more are told, the
        // third flaps again.
        FlapCase{"flapsAgainOnlyAfterAFreshCount",
                 flapRule(2, 1),
                 "fafafa" + repeated("a", 60) + "fafaf",
                 {"1: down h #2", "2: up h #2", "3: down h #3", "4: up h #3",
                  "5: down h #4 (flapping)", "5: flapping h #4 3 downs", "6: up h #4 (flapping)",
                  "66: settled up h #4 at 66", "67: down h #5", "68: up h #5", "69: down h #6",
                  "70: up h #6", "71: down h #7 (flapping)", "71: flapping h #7 3 downs"}},
        FlapCase{"theRuleOff", flapRule(0), repeated("fa", 7), flips(7)}),
    caseName);

// Every window starts empty with a watch: what the last one held counts
// for nothing. Each row beside the same probes in one watch.
using RestartCase = LettersCase;

INSTANTIATE_TEST_SUITE_P(
    Restart, Letters,
    testing::Values(
        RestartCase{"lossInOneWatch",
                    lossRule(20, 5, 50, 100),
                    repeated("fa", 10),
                    {"19: down h #2 by loss"}},
        RestartCase{"lossAcrossAStop",
                    lossRule(20, 5, 50, 100),
                    repeated("fa", 9) + "|fa",
                    {"18: end h stopped at 18"}},
        RestartCase{"flappingInOneWatch",
                    flapRule(2),
                    "fafafa",
                    {"1: down h #2", "2: up h #2", "3: down h #3", "4: up h #3",
                     "5: down h #4 (flapping)", "5: flapping h #4 3 downs", "6: up h #4 (flapping)"}},
        RestartCase{"flappingAcrossAStop",
                    flapRule(2),
                    "fafa|fa",
                    {"1: down h #2", "2: up h #2", "3: down h #3", "4: up h #3",
                     "4: end h stopped at 4", "5: down h #5", "6: up h #5"}},
        RestartCase{"slowInOneWatch", slowRule(100, 50), repeated("s", 70), {"61: slow h since 1 at 61"}},
        RestartCase{"slowAcrossAStop",
                    slowRule(100, 50),
                    repeated("s", 50) + "|" + repeated("s", 20),
                    {"50: end h stopped at 50"}},
        // A slow period open at the watch's end ends with it.
        RestartCase{"aSlowPeriodEndsWithItsWatch",
                    slowRule(100, 50),
                    repeated("s", 70) + "|",
                    {"61: slow h since 1 at 61", "70: slow ended unwatched h since 70 at 70",
                     "70: end h stopped at 70"}}),
    caseName);

// Rules changed mid-watch: switched off, each state ends at the next probe.
TEST(RulesChanged, SwitchedOffEndsWhatTheyCalled)
{
    host::AlertRules rules = lossRule(20, 5, 50);
    rules.slow = {100, 95};
    rules.flap = {1, 10};
    Scripted script(rules);
    script.answers(62, 150);
    script.probes(ThirtyPercent);
    ASSERT_EQ(script.sink.downs.size(), 1U);
    script.monitor.setRules({});
    script.probes("fa");
    EXPECT_EQ(script.turns,
              (Lines{"61: slow h since 1 at 61", "93: down h #2 by loss", "113: slow rule off h since 113 at 113",
                     "114: up h #2"}));
}

// The two ordered halves against a sort, for any percentile, as answers
// come and leave.
TEST(RoundTripWindow, HoldsThePercentileOfTheSpan)
{
    std::mt19937 random(31);
    std::uniform_int_distribution<std::int64_t> roundTrip(1, 40);
    for (const int percentile : {1, 50, 90, 95, 100}) {
        host::RoundTripWindow window(10'000, percentile);
        std::vector<std::pair<history::Milliseconds, std::int64_t>> held;
        for (history::Milliseconds at = 0; at < 60'000; at += 250 + (at % 7) * 100) {
            const std::int64_t value = roundTrip(random);
            window.add(at, value);
            held.emplace_back(at, value);
            std::erase_if(held, [at](const auto &answer) { return answer.first <= at - 10'000; });
            std::vector<std::int64_t> sorted;
            for (const auto &answer : held)
                sorted.push_back(answer.second);
            std::sort(sorted.begin(), sorted.end());
            const std::size_t rank = (static_cast<std::size_t>(percentile) * sorted.size() + 99) / 100;
            ASSERT_EQ(window.answers(), sorted.size());
            ASSERT_EQ(window.percentile(), sorted[rank - 1]) << percentile << "% at " << at;
            ASSERT_EQ(window.median(), sorted[(sorted.size() - 1) / 2]);
        }
    }
}

} // namespace
