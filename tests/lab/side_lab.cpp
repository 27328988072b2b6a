// Whose side an outage is on, in the chained lab, through the whole
// program: the application object as main() builds it over the system's
// sockets, the probe helper and the kernel's routes (only the desktop's
// bubbles are kept by the test, to be read). The window probes the lab's
// host every 100 ms with the path traced at the down; each fault point
// breaks the way, the host is called down, and the class filed with the
// outage, the words the down bubble showed and the time from the down to
// the filed class are taken; then the way is mended and the host seen back.
//
//   lab_side [--runs N] [--fault NAME]... [--bench]
//
// Runs inside a lab's client namespace (tests/lab/run_lab.sh --chain, or
// --long for "five-silent-routers"). Prints one line per run and a table;
// --bench prints the bench rows instead. Exits 1 if any run was classed
// wrong or timed out, 2 on bad arguments or outside a lab.
#include "lab_network.h"
#include "test_window.h"

#include "echowatch/app/application.h"
#include "echowatch/app/window_watch.h"
#include "echowatch/helper/automatic_echo_library.h"
#include "echowatch/host/host_event_signals.h"
#include "echowatch/net/sockets_library.h"
#include "echowatch/platform/clock.h"
#include "echowatch/platform/desktop_network.h"
#include "echowatch/route/kernel_view.h"
#include "support/real_probe.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char *const Host = "203.0.113.10";

// A change made in one of the lab's namespaces ("client" is this one).
struct Change
{
    const char *role;
    std::string command;
};

struct FaultPoint
{
    const char *name;
    // What breaks, as the table says it.
    const char *what;
    std::vector<Change> prepare;   // once, before the runs
    std::vector<Change> beforeRun; // before each break
    std::vector<Change> apply;
    std::vector<Change> undo;
    std::vector<Change> restore; // once, after the runs
    host::Side side;
    std::string words;
    // A hop whose address must never be named.
    const char *neverBlamed = nullptr;
};

std::string table(const char *name, const char *hook, const char *rule)
{
    return std::string("nft 'add table ip ") + name + "; add chain ip " + name +
           " c { type filter hook " + hook + " priority -300; policy accept; }; add rule ip " +
           name + " c " + rule + "'";
}

std::string dropTable(const char *name)
{
    return std::string("nft delete table ip ") + name;
}

const char *const HostSilentWords = "the host: every hop answered up to the host; the host did not";
// The host's routes back, which its link's going down took with it.
const char *const HostLinkUp = "sh -c 'ip link set h0 up && ip route replace 192.0.2.0/24 via "
                               "203.0.113.1 && ip route replace 198.51.100.0/28 via 203.0.113.1'";
const char *const ClientLinkUp =
    "sh -c 'ip link set c0 up && ip route replace 192.0.2.16/28 via 192.0.2.1 && "
    "ip route replace 198.51.100.0/28 via 192.0.2.1 && ip route replace 203.0.113.0/28 via "
    "192.0.2.1'";
// Router 2 answers six requests that run out there, then one in ten
// seconds; eight such requests spend what it has.
const char *const Rationing =
    "sysctl -q -w net.ipv4.icmp_ratelimit=10000 net.ipv4.icmp_ratemask=6168";
const char *const NotRationing = "sysctl -q -w net.ipv4.icmp_ratelimit=0 net.ipv4.icmp_ratemask=0";
const char *const SpendAllowance = "ping -n -q -t 2 -c 8 -i 0.01 -W 1 203.0.113.10 >/dev/null 2>&1";

// The long lab's five routers.
std::vector<Change> everyRouter(const std::string &command)
{
    std::vector<Change> changes;
    for (const char *role : {"r1", "r2", "r3", "r4", "r5"})
        changes.push_back({role, command});
    return changes;
}

std::vector<FaultPoint> faultPoints()
{
    const std::string hostDrops = table("sidelab", "input", "icmp type echo-request drop");
    return {
        {"link-down",
         "this computer's link down (ip link set c0 down)",
         {},
         {},
         {{"client", "ip link set c0 down"}},
         {{"client", ClientLinkUp}},
         {},
         host::Side::ThisComputer,
         "this computer: no route to 203.0.113.10"},
        {"gateway-silent",
         "the gateway silent (all to and through it dropped)",
         {},
         {},
         {{"r1", table("sidelab", "prerouting", "iifname a0 drop")}},
         {{"r1", dropTable("sidelab")}},
         {},
         host::Side::LocalNetwork,
         "local network: gateway 192.0.2.1 does not answer"},
        {"router-drops",
         "router 2 drops what it forwards",
         {},
         {},
         {{"r2", table("sidelab", "forward", "drop")}},
         {{"r2", dropTable("sidelab")}},
         {},
         host::Side::BeyondGateway,
         "beyond the gateway: stops after hop 2 (192.0.2.18)"},
        {"host-link-down",
         "the host's link down behind router 3",
         {{"r3", "sysctl -q -w net.ipv4.neigh.d1.mcast_solicit=1 "
                 "net.ipv4.neigh.d1.retrans_time_ms=100"}},
         {},
         {{"host", "ip link set h0 down"}},
         {{"host", HostLinkUp}},
         {{"r3", "sysctl -q -w net.ipv4.neigh.d1.mcast_solicit=3 "
                 "net.ipv4.neigh.d1.retrans_time_ms=1000"}},
         host::Side::BeyondGateway,
         "beyond the gateway: router 198.51.100.2 (hop 3) cannot reach the host (host "
         "unreachable)"},
        {"host-silent",
         "the host silent (drops the requests)",
         {},
         {},
         {{"host", hostDrops}},
         {{"host", dropTable("sidelab")}},
         {},
         host::Side::TheHost,
         HostSilentWords},
        {"rationing-router",
         "router 2 rations its ICMP errors, the host silent",
         {{"r2", Rationing}},
         {{"client", SpendAllowance}},
         {{"host", hostDrops}},
         {{"host", dropTable("sidelab")}},
         {{"r2", NotRationing}},
         host::Side::TheHost,
         HostSilentWords,
         "192.0.2.18"},
        {"five-silent-routers",
         "five silent routers, the host silent (long lab)",
         everyRouter(table("sidesilent", "output", "icmp type time-exceeded drop")),
         {},
         {{"host", hostDrops}},
         {{"host", dropTable("sidelab")}},
         everyRouter(dropTable("sidesilent")),
         host::Side::BeyondGateway,
         "beyond the gateway: gateway 192.0.2.1 answers, nothing past it does"},
    };
}

bool change(const std::string &lab, const Change &change)
{
    const std::string line =
        std::strcmp(change.role, "client") == 0
            ? change.command
            : "ip netns exec " + lab::labNamespace(lab, change.role) + " " + change.command;
    return std::system(line.c_str()) == 0;
}

bool changeAll(const std::string &lab, const std::vector<Change> &changes)
{
    bool all = true;
    for (const Change &each : changes)
        all = change(lab, each) && all;
    return all;
}

// What the program told of the host, as it told it.
struct Heard
{
    int answers = 0;
    std::vector<host::HostDown> downs;
    std::vector<Clock::time_point> downAt;
    std::vector<host::VerdictFiled> filed;
    std::vector<Clock::time_point> filedAt;
    std::vector<host::OutageId> ups;

    void listen(const host::HostEventSignals &events)
    {
        QObject::connect(
            &events, &host::HostEventSignals::taken,
            [this](const host::ProbeTaken &taken) { answers += taken.probe.status == 0; });
        QObject::connect(&events, &host::HostEventSignals::down,
                         [this](const host::HostDown &down) {
                             downs.push_back(down);
                             downAt.push_back(Clock::now());
                         });
        QObject::connect(&events, &host::HostEventSignals::filed,
                         [this](const host::VerdictFiled &verdict) {
                             filed.push_back(verdict);
                             filedAt.push_back(Clock::now());
                         });
        QObject::connect(&events, &host::HostEventSignals::up,
                         [this](const host::HostUp &up) { ups.push_back(up.outage); });
    }
};

struct Run
{
    bool finished = false;
    bool right = false;
    std::string words;        // as the verdict was filed
    std::string notification; // what the down bubble showed after "Where: "
    double milliseconds = 0;
};

// The program as main() builds it, the desktop's bubbles kept by the test.
struct Program
{
    Program()
        : icmp(RealProbe::builtHelperPath()),
          application({sockets, icmp, messageBox, clock, notifications,
                       [] {
                           return std::make_unique<helper::AutomaticEchoLibrary>(
                               RealProbe::builtHelperPath());
                       },
                       true, false, false, route::lookUpRoute,
                       [this] {
                           return network.saysOffline();
                       }},
                      options())
    {}

    static app::LaunchOptions options()
    {
        app::LaunchOptions options;
        options.traceOnDown = true;
        options.notify = true;
        // Every fault's down is told on its own, however many come within
        // the flapping rule's window.
        options.alerts.flap.limit = 0;
        return options;
    }

    void start()
    {
        application.open();
        Form1 &window = application.window();
        window.Text1->setText(QString::fromLatin1(Host));
        window.Text2->setText(QStringLiteral("100"));
        window.Command1->click();
    }

    net::LinuxSocketsLibrary sockets;
    helper::AutomaticEchoLibrary icmp;
    fakes::MessageBox messageBox;
    platform::SystemClock clock;
    fakes::Notifications notifications;
    platform::DesktopNetwork network;
    app::Application application;
};

bool waitFor(const std::function<bool()> &condition, std::chrono::seconds limit)
{
    return QTest::qWaitFor(condition, static_cast<int>(limit / 1ms));
}

std::string notificationWhere(const fakes::Notifications &desktop)
{
    if (desktop.shown.empty())
        return {};
    const QString body = desktop.shown.back().body;
    const auto at = body.lastIndexOf(QStringLiteral("Where: "));
    return at < 0 ? std::string() : body.mid(at + 7).toStdString();
}

Run breakOnce(const std::string &lab, const FaultPoint &fault, Program &program, Heard &heard)
{
    Run run;
    const int answers = heard.answers;
    if (!waitFor([&] { return heard.answers > answers + 2; }, 20s))
        return run;
    changeAll(lab, fault.beforeRun);
    const std::size_t downs = heard.downs.size();
    if (!changeAll(lab, fault.apply) || !waitFor([&] { return heard.downs.size() > downs; }, 20s))
        return run;
    const host::OutageId outage = heard.downs.back().outage;
    const auto filed = [&] {
        return std::find_if(heard.filed.begin(), heard.filed.end(),
                            [outage](const auto &f) { return f.outage == outage; });
    };
    const bool classed = waitFor([&] { return filed() != heard.filed.end(); }, 10s);
    changeAll(lab, fault.undo);
    if (!classed)
        return run;
    const auto index = static_cast<std::size_t>(filed() - heard.filed.begin());
    const host::Verdict &verdict = heard.filed[index].verdict;
    run.words = verdict.text;
    run.notification = notificationWhere(program.notifications);
    run.milliseconds =
        std::chrono::duration<double, std::milli>(heard.filedAt[index] - heard.downAt.back())
            .count();
    run.right =
        verdict.side == fault.side && verdict.text == fault.words &&
        run.notification == fault.words &&
        (fault.neverBlamed == nullptr || verdict.text.find(fault.neverBlamed) == std::string::npos);
    run.finished = waitFor(
        [&] { return std::find(heard.ups.begin(), heard.ups.end(), outage) != heard.ups.end(); },
        20s);
    return run;
}

double quantile(std::vector<double> values, double share)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1) + 0.5)];
}

struct Series
{
    const FaultPoint *fault;
    std::vector<Run> runs;

    int right() const
    {
        return static_cast<int>(
            std::count_if(runs.begin(), runs.end(), [](const Run &run) { return run.right; }));
    }
    std::vector<double> times() const
    {
        std::vector<double> times;
        for (const Run &run : runs) {
            if (!run.words.empty())
                times.push_back(run.milliseconds);
        }
        return times;
    }
};

void printTable(const std::vector<Series> &all)
{
    std::printf("\n| fault point | runs classed right | the down notification's \"Where:\" | "
                "verdict after the down, median / max |\n|---|---|---|---|\n");
    for (const Series &series : all) {
        const auto times = series.times();
        const std::string shown = series.runs.empty() ? "" : series.runs.front().notification;
        std::printf("| %s | %d of %zu | %s | %.0f / %.0f ms |\n", series.fault->what,
                    series.right(), series.runs.size(), shown.c_str(), quantile(times, 0.5),
                    times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()));
    }
}

void printBench(const std::vector<Series> &all)
{
    for (const Series &series : all) {
        const auto times = series.times();
        const bool fast = std::strcmp(series.fault->name, "five-silent-routers") == 0;
        std::printf("| time from the down decision to the filed class, %s | %.0f / %.0f ms "
                    "median / max (%d of %zu classed right) | - | %s |\n",
                    series.fault->what, quantile(times, 0.5),
                    times.empty() ? 0.0 : *std::max_element(times.begin(), times.end()),
                    series.right(), series.runs.size(), fast ? "under 1 s" : "under 2 s");
    }
}

Series runSeries(const std::string &lab, const FaultPoint &fault, int runs, Program &program,
                 Heard &heard, bool quiet)
{
    Series series{&fault, {}};
    changeAll(lab, fault.prepare);
    for (int index = 1; index <= runs; ++index) {
        series.runs.push_back(breakOnce(lab, fault, program, heard));
        const Run &run = series.runs.back();
        if (!quiet)
            std::printf(
                "%s run %d: %s in %.0f ms%s%s\n", fault.name, index,
                run.words.empty() ? "(no verdict)" : run.words.c_str(), run.milliseconds,
                run.right ? "" : "  WRONG, bubble: ", run.right ? "" : run.notification.c_str());
        std::fflush(stdout);
        if (!run.finished)
            break;
    }
    changeAll(lab, fault.restore);
    return series;
}

struct Arguments
{
    int runs = 3;
    std::vector<std::string> faults;
    bool bench = false;
    bool valid = true;
};

Arguments readArguments(int argc, char **argv)
{
    Arguments read;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "--runs" && index + 1 < argc)
            read.runs = std::max(1, std::atoi(argv[++index]));
        else if (argument == "--fault" && index + 1 < argc)
            read.faults.emplace_back(argv[++index]);
        else if (argument == "--bench")
            read.bench = true;
        else
            read.valid = false;
    }
    return read;
}

std::vector<const FaultPoint *> chosen(const std::vector<FaultPoint> &all,
                                       const Arguments &arguments)
{
    std::vector<const FaultPoint *> picked;
    for (const FaultPoint &fault : all) {
        const bool named = std::find(arguments.faults.begin(), arguments.faults.end(),
                                     fault.name) != arguments.faults.end();
        // The long lab's fault point only where it is asked for.
        const bool byDefault = std::strcmp(fault.name, "five-silent-routers") != 0;
        if (arguments.faults.empty() ? byDefault : named)
            picked.push_back(&fault);
    }
    return picked;
}

} // namespace

int main(int argc, char **argv)
{
    const Arguments arguments = readArguments(argc, argv);
    const auto lab = lab::currentLab();
    if (!arguments.valid || !lab) {
        std::fprintf(stderr,
                     "usage: %s [--runs N] [--fault NAME]... [--bench], in a lab's "
                     "client namespace (tests/lab/run_lab.sh --chain)\n",
                     argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    const std::vector<FaultPoint> all = faultPoints();
    const auto picked = chosen(all, arguments);
    if (picked.empty())
        return 2;
    Program program;
    Heard heard;
    heard.listen(program.application.watch().events());
    program.start();
    std::vector<Series> done;
    for (const FaultPoint *fault : picked)
        done.push_back(runSeries(*lab, *fault, arguments.runs, program, heard, arguments.bench));
    if (arguments.bench)
        printBench(done);
    else
        printTable(done);
    const bool allRight = std::all_of(done.begin(), done.end(), [&](const Series &series) {
        return series.right() == arguments.runs;
    });
    return allRight ? 0 : 1;
}
