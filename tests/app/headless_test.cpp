// The headless prober built over fakes, with no window toolkit: its hosts
// read from a file and read again on SIGHUP (hosts added start their
// watches, hosts gone end theirs, a name moved ends its watch as a change
// of address), its probes fed to a host monitor per host, a verdict filed
// with the outage it was traced for, and every watch ended at the end.
#include "echowatch/app/headless_application.h"
#include "echowatch/app/headless_watch.h"
#include "echowatch/fleet/prober_clock.h"
#include "echowatch/host/host_event_signals.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/path_view/trace_on_down.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <condition_variable>
#include <csignal>
#include <fstream>
#include <map>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// An echo service on which each destination answers as the test says,
// from whichever thread asks.
class TableEcho
{
public:
    void set(std::uint32_t destination, std::int32_t status)
    {
        const std::lock_guard lock(m_mutex);
        m_status[destination] = status;
    }

    // Every other request to the destination fails with the status, so
    // never two in a row.
    void alternate(std::uint32_t destination, std::int32_t status)
    {
        const std::lock_guard lock(m_mutex);
        m_alternating[destination] = status;
    }

    net::EchoOutcome echo(std::uint32_t destination)
    {
        const std::lock_guard lock(m_mutex);
        net::EchoOutcome outcome;
        outcome.status = m_status[destination];
        if (const auto found = m_alternating.find(destination); found != m_alternating.end()) {
            outcome.status = m_failNext[destination] ? found->second : 0;
            m_failNext[destination] = !m_failNext[destination];
        }
        if (outcome.status == 0)
            outcome.roundTrip = 300us;
        outcome.responder = destination;
        return outcome;
    }

private:
    std::mutex m_mutex;
    std::map<std::uint32_t, std::int32_t> m_status;
    std::map<std::uint32_t, std::int32_t> m_alternating;
    std::map<std::uint32_t, bool> m_failNext;
};

class TableLibrary final : public net::IcmpEchoLibrary
{
public:
    explicit TableLibrary(TableEcho &table) : m_handle(table) {}

    net::IcmpHandleOpening IcmpCreateFile() noexcept override
    {
        return {net::IcmpHandle(&m_handle, net::IcmpHandleCloser(net::keepLentHandle)), 0};
    }

private:
    class Handle final : public net::IcmpEchoHandle
    {
    public:
        explicit Handle(TableEcho &table) : m_table(table) {}
        using net::IcmpEchoHandle::echo;
        net::EchoOutcome echo(std::uint32_t destination, std::span<const std::byte>,
                              std::chrono::milliseconds, net::TimeToLive) noexcept override
        {
            return m_table.echo(destination);
        }

    private:
        TableEcho &m_table;
    };
    Handle m_handle;
};

// A trace's echo service that holds every request until the test opens it,
// so that traces pile up behind the first; opened at the latest when the
// test ends, so that the trace's thread can.
class Gate
{
public:
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_opened.wait_for(lock, 30s, [this] { return m_open; });
    }

    void open()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_open = true;
        }
        m_opened.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_opened;
    bool m_open = false;
};

class HeldLibrary final : public net::IcmpEchoLibrary
{
public:
    explicit HeldLibrary(Gate &gate) : m_handle(gate) {}

    net::IcmpHandleOpening IcmpCreateFile() noexcept override
    {
        return {net::IcmpHandle(&m_handle, net::IcmpHandleCloser(net::keepLentHandle)), 0};
    }

private:
    class Handle final : public net::IcmpEchoHandle
    {
    public:
        explicit Handle(Gate &gate) : m_gate(gate) {}
        using net::IcmpEchoHandle::echo;
        net::EchoOutcome echo(std::uint32_t, std::span<const std::byte>,
                              std::chrono::milliseconds, net::TimeToLive) noexcept override
        {
            m_gate.wait();
            net::EchoOutcome outcome;
            outcome.status = icmp::IpStatus::ReqTimedOut;
            return outcome;
        }

    private:
        Gate &m_gate;
    };
    Handle m_handle;
};

constexpr std::uint32_t address(std::uint8_t last)
{
    return 0x000200c0 | (std::uint32_t{last} << 24); // 192.0.2.x in network order
}

// Names the test resolves, changeable between readings.
class Names
{
public:
    void set(const std::string &name, std::uint32_t at)
    {
        const std::lock_guard lock(m_mutex);
        m_table[name] = at;
    }

    void forget(const std::string &name)
    {
        const std::lock_guard lock(m_mutex);
        m_table.erase(name);
    }

    fleet::NameResolver resolver()
    {
        return [this](const std::string &name, std::string &error) -> std::optional<std::uint32_t> {
            const std::lock_guard lock(m_mutex);
            const auto found = m_table.find(name);
            if (found != m_table.end())
                return found->second;
            error = "Name or service not known";
            return std::nullopt;
        };
    }

private:
    std::mutex m_mutex;
    std::map<std::string, std::uint32_t> m_table;
};

QString labelOf(const QList<QVariant> &arguments, bool started)
{
    return QString::fromStdString(
        started ? arguments.at(0).value<host::WatchStarted>().host.label
                : arguments.at(0).value<host::WatchEnded>().host.label);
}

QStringList labels(const QSignalSpy &spy, bool started)
{
    QStringList found;
    for (const QList<QVariant> &arguments : spy)
        found << labelOf(arguments, started);
    found.sort();
    return found;
}

} // namespace

class HeadlessTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_hostsFile = m_dir.filePath(QStringLiteral("hosts"));
        m_names.set("web.lab", address(5));
        m_names.set("db.lab", address(6));
    }

    void hostsFileReadAgainOnHangup();
    void aNameFoundElsewhereEndsItsWatchAsMoved();
    void failuresMakeAnOutageWhoseVerdictIsFiled();
    void theEndEndsEveryWatchAsClosed();
    void theAlertRulesGivenCallEachHostDownByLoss();
    void tracesBeyondTheWaitingBoundAreAnsweredAtOnce();

private:
    void writeHosts(const std::string &text)
    {
        std::ofstream(m_hostsFile.toStdString(), std::ios::trunc) << text;
    }

    app::LaunchOptions options(bool trace = false)
    {
        app::LaunchOptions launch;
        launch.headless = app::LaunchOptions::Headless{};
        launch.headless->hostsFile = m_hostsFile;
        launch.headless->interval = 50ms;
        launch.traceOnDown = trace;
        launch.alerts.downAfter = 2;
        return launch;
    }

    app::HeadlessServices services(bool handleSignals = false)
    {
        auto library = [this] { return std::make_unique<TableLibrary>(m_echo); };
        return {library, library, m_clock, m_names.resolver(), handleSignals};
    }

    QTemporaryDir m_dir;
    QString m_hostsFile;
    TableEcho m_echo;
    Names m_names;
    fleet::SystemProberClock m_clock;
};

void HeadlessTest::hostsFileReadAgainOnHangup()
{
    writeHosts("# lab\n192.0.2.1\nweb.lab\n");
    app::HeadlessApplication program(services(true), options());
    const host::HostEventSignals &events = program.watch().events();
    QSignalSpy started(&events, &host::HostEventSignals::started);
    QSignalSpy ended(&events, &host::HostEventSignals::ended);
    QSignalSpy taken(&events, &host::HostEventSignals::taken);
    program.start();
    QTRY_COMPARE(labels(started, true), (QStringList{"192.0.2.1", "web.lab"}));
    QTRY_VERIFY(taken.count() >= 4);

    writeHosts("web.lab\ndb.lab\n");
    QSignalSpy applied(&program, &app::HeadlessApplication::hostsApplied);
    ::raise(SIGHUP);
    QTRY_COMPARE(applied.count(), 1);
    QCOMPARE(labels(ended, false), QStringList{"192.0.2.1"});
    QCOMPARE(ended.at(0).at(0).value<host::WatchEnded>().why, host::WatchEnd::Stopped);
    QCOMPARE(labels(started, true), (QStringList{"192.0.2.1", "db.lab", "web.lab"}));
    // The host gone is probed no more; the others are.
    taken.clear();
    QTRY_VERIFY(taken.count() >= 6);
    for (const QList<QVariant> &arguments : taken)
        QVERIFY(arguments.at(0).value<host::ProbeTaken>().host->label != "192.0.2.1");
}

void HeadlessTest::aNameFoundElsewhereEndsItsWatchAsMoved()
{
    writeHosts("web.lab\n");
    app::HeadlessApplication program(services(), options());
    const host::HostEventSignals &events = program.watch().events();
    QSignalSpy started(&events, &host::HostEventSignals::started);
    QSignalSpy ended(&events, &host::HostEventSignals::ended);
    QSignalSpy applied(&program, &app::HeadlessApplication::hostsApplied);
    program.start();
    QTRY_COMPARE(applied.count(), 1);
    m_names.set("web.lab", address(9));
    program.reload();
    QTRY_COMPARE(applied.count(), 2);
    QCOMPARE(ended.count(), 1);
    const auto gone = ended.at(0).at(0).value<host::WatchEnded>();
    QCOMPARE(gone.why, host::WatchEnd::AddressChanged);
    QCOMPARE(gone.host.address, address(5));
    QCOMPARE(started.count(), 2);
    QCOMPARE(started.at(1).at(0).value<host::WatchStarted>().host.address, address(9));
    // A name that no longer resolves keeps the address it had.
    m_names.forget("web.lab");
    writeHosts("web.lab\nnosuch.lab\n");
    program.reload();
    QTRY_COMPARE(applied.count(), 3);
    QCOMPARE(ended.count(), 1);
}

void HeadlessTest::failuresMakeAnOutageWhoseVerdictIsFiled()
{
    writeHosts("192.0.2.7\n192.0.2.8\n");
    m_echo.set(address(7), icmp::IpStatus::DestHostUnreachable);
    app::HeadlessApplication program(services(), options(true));
    const host::HostEventSignals &events = program.watch().events();
    QSignalSpy down(&events, &host::HostEventSignals::down);
    QSignalSpy filed(&events, &host::HostEventSignals::filed);
    program.start();
    QTRY_VERIFY(down.count() > 0);
    const auto outage = down.at(0).at(0).value<host::HostDown>();
    QCOMPARE(outage.host.address, address(7));
    QTRY_VERIFY(filed.count() > 0);
    const auto verdict = filed.at(0).at(0).value<host::VerdictFiled>();
    QCOMPARE(verdict.outage, outage.outage);
    QCOMPARE(verdict.host.address, address(7));
    QVERIFY(!verdict.verdict.text.empty());
}

void HeadlessTest::theEndEndsEveryWatchAsClosed()
{
    writeHosts("192.0.2.1\n192.0.2.2\n192.0.2.3\n");
    app::HeadlessApplication program(services(), options());
    const host::HostEventSignals &events = program.watch().events();
    QSignalSpy ended(&events, &host::HostEventSignals::ended);
    QSignalSpy applied(&program, &app::HeadlessApplication::hostsApplied);
    program.start();
    QTRY_COMPARE(applied.count(), 1);
    program.shutDown();
    QCOMPARE(ended.count(), 3);
    for (const QList<QVariant> &arguments : ended)
        QCOMPARE(arguments.at(0).value<host::WatchEnded>().why, host::WatchEnd::Closed);
    QCOMPARE(program.watch().watched(), std::size_t{0});
}

// Half the probes of one host lost, never two in a row: the failures in a
// row never call it down, the loss rule given does, for that host alone.
void HeadlessTest::theAlertRulesGivenCallEachHostDownByLoss()
{
    writeHosts("192.0.2.4\n192.0.2.5\n");
    m_echo.alternate(address(4), icmp::IpStatus::ReqTimedOut);
    app::LaunchOptions launch = options();
    launch.alerts.loss = {20, 5, 10};
    app::HeadlessApplication program(services(), launch);
    const host::HostEventSignals &events = program.watch().events();
    QSignalSpy down(&events, &host::HostEventSignals::down);
    program.start();
    QTRY_VERIFY(down.count() > 0);
    const auto outage = down.at(0).at(0).value<host::HostDown>();
    QCOMPARE(outage.host.address, address(4));
    QCOMPARE(outage.by, host::DownBy::Loss);
    QVERIFY(outage.loss.failed * 100 >= 20 * outage.loss.window);
    program.shutDown();
    for (const QList<QVariant> &arguments : down)
        QCOMPARE(arguments.at(0).value<host::HostDown>().host.address, address(4));
}

// Many hosts down at once with every trace held: the outages past the
// bound are answered "not traced" at once rather than queued ever longer,
// and each answer goes with its own host's outage.
void HeadlessTest::tracesBeyondTheWaitingBoundAreAnsweredAtOnce()
{
    constexpr std::size_t Hosts = path_view::TraceOnDown::MostTracesWaiting + 4;
    std::string list;
    for (std::size_t host = 0; host < Hosts; ++host) {
        const auto last = static_cast<std::uint8_t>(20 + host);
        list += "192.0.2." + std::to_string(last) + "\n";
        m_echo.set(address(last), icmp::IpStatus::DestHostUnreachable);
    }
    writeHosts(list);
    Gate gate;
    app::HeadlessServices held = services();
    held.pathEchoLibrary = [&gate] { return std::make_unique<HeldLibrary>(gate); };
    app::HeadlessApplication program(held, options(true));
    const struct Opener
    {
        Gate &gate;
        ~Opener() { gate.open(); }
    } opener{gate};
    const host::HostEventSignals &events = program.watch().events();
    QSignalSpy down(&events, &host::HostEventSignals::down);
    QSignalSpy filed(&events, &host::HostEventSignals::filed);
    program.start();
    QTRY_COMPARE(down.count(), static_cast<int>(Hosts));
    QTRY_VERIFY(filed.count() >= 4);
    std::map<host::OutageId, std::uint32_t> downs;
    for (const QList<QVariant> &arguments : down) {
        const auto outage = arguments.at(0).value<host::HostDown>();
        downs[outage.outage] = outage.host.address;
    }
    for (const QList<QVariant> &arguments : filed) {
        const auto verdict = arguments.at(0).value<host::VerdictFiled>();
        QCOMPARE(verdict.verdict.text, std::string("not traced: too many traces waiting"));
        QVERIFY(!verdict.verdict.traced);
        QCOMPARE(verdict.host.address, downs.at(verdict.outage));
    }
}

QTEST_GUILESS_MAIN(HeadlessTest)
#include "headless_test.moc"
