#include "echowatch/helper/probe_helper_client.h"

#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/kernel_time.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace helper {
namespace {

enum class HelperVoice
{
    Heard,
    Silenced,
};

// What a probe keeps of MaxProbeTime for putting a hung helper down.
constexpr std::chrono::milliseconds StopAllowance{40};
// How long a helper whose input closed may take to end before it is killed.
constexpr int ExitWaitMilliseconds = 5;
// Room for two of the largest answers: a partial one is always moved to
// the front before more is read.
constexpr std::size_t ReceiveRoom = 2 * MaxAnswerFrame;
// How long handing a request in flight to the helper may take.
constexpr std::chrono::milliseconds HandOverTime{100};

// The helper gets the socket as its standard input and output, a clean
// signal mask and no environment at all: nothing of ours steers a process
// that may hold a capability. Its standard error is the window's, or
// nothing when what it would say there has been said.
// Returns 0 or the error that kept the helper from starting.
int spawnHelper(const std::string &path, int helperEnd, HelperVoice voice, pid_t &process) noexcept
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return ENOMEM;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return ENOMEM;
    }
    sigset_t none;
    sigemptyset(&none);
    sigset_t defaults;
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawn_file_actions_adddup2(&actions, helperEnd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, helperEnd, STDOUT_FILENO);
    if (voice == HelperVoice::Silenced)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

    char *arguments[] = {const_cast<char *>(path.c_str()), nullptr};
    char *environment[] = {nullptr};
    const int error =
        posix_spawn(&process, path.c_str(), &actions, &attributes, arguments, environment);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

} // namespace

ProbeHelperClient::ProbeHelperClient(std::string helperPath)
    : m_path(std::move(helperPath)), m_request(helper::MaxRequestFrame), m_received(ReceiveRoom),
      m_echoed(helper::MaxRequestData)
{
    m_pending.reserve(MaxInFlight);
    m_ready.reserve(2 * MaxInFlight);
}

ProbeHelperClient::ProbeHelperClient(HelperSocket served) : ProbeHelperClient(std::move(served.path))
{
    m_servedAtSocket = true;
}

ProbeHelperClient::~ProbeHelperClient()
{
    stop();
}

std::uint32_t ProbeHelperClient::nextTag() noexcept
{
    if (++m_nextTag == 0)
        ++m_nextTag;
    return m_nextTag;
}

net::EchoOutcome ProbeHelperClient::echo(std::uint32_t destination,
                                         std::span<const std::byte> requestData,
                                         std::chrono::milliseconds timeout,
                                         net::TimeToLive ttl) noexcept
{
    const auto deadline = Clock::now() + MaxProbeTime - StopAllowance;
    // What no IPv4 packet can carry is refused here, as a socket would.
    if (requestData.size() > helper::MaxRequestData)
        return failed(icmp::IpStatus::PacketTooBig, net::HelperCondition::NotUsed);
    const auto started = ensureRunning();
    if (started != icmp::IpStatus::Success)
        return failed(started, m_lastCondition);
    const EchoRequest request{nextTag(), destination, std::clamp(timeout, {}, MaxTimeout), ttl,
                              requestData};
    if (!handOver(request, deadline)) {
        stop();
        return failed(icmp::IpStatus::GeneralFailure, m_lastCondition);
    }
    m_awaited = {request.tag, request.timeout, deadline};
    return awaitAnswer(deadline);
}

bool ProbeHelperClient::handOver(const EchoRequest &request, Clock::time_point deadline) noexcept
{
    const auto frameSize = helper::encodeRequest(request, m_request);
    return sendAll(std::span(m_request).first(frameSize), deadline);
}

// Answers to requests in flight that come meanwhile are kept for collect().
net::EchoOutcome ProbeHelperClient::awaitAnswer(Clock::time_point deadline) noexcept
{
    m_awaitedOutcome.reset();
    std::size_t handed = 0;
    while (takeAnswers(nullptr, handed) == Reading::Going) {
        if (m_awaitedOutcome) {
            m_awaited.tag = 0;
            m_awaitedOutcome->helper = net::HelperCondition::Serving;
            return *m_awaitedOutcome;
        }
        if (Clock::now() >= deadline || receiveMore(deadline) == Reading::Broken)
            break;
    }
    m_awaited.tag = 0;
    stop();
    return failed(icmp::IpStatus::GeneralFailure, m_lastCondition);
}

net::FlightTag ProbeHelperClient::send(const net::FlightRequest &request) noexcept
{
    const auto tag = nextTag();
    if (request.data.size() > helper::MaxRequestData) {
        ready(tag, failed(icmp::IpStatus::PacketTooBig, net::HelperCondition::NotUsed));
        return tag;
    }
    if (m_pending.size() >= MaxInFlight) {
        ready(tag, failed(icmp::IpStatus::NoResources, net::HelperCondition::NotUsed));
        return tag;
    }
    const auto started = ensureRunning();
    if (started != icmp::IpStatus::Success) {
        ready(tag, failed(started, m_lastCondition));
        return tag;
    }
    const EchoRequest frame{tag, request.destination, std::clamp(request.timeout, {}, MaxTimeout),
                            request.ttl, request.data};
    const auto now = Clock::now();
    if (!handOver(frame, now + HandOverTime)) {
        stop();
        ready(tag, failed(icmp::IpStatus::GeneralFailure, m_lastCondition));
        return tag;
    }
    m_pending.push_back({tag, frame.timeout, now + frame.timeout + FlightAllowance});
    return tag;
}

// The helper's socket is read at least once, also for a deadline already
// past: a caller that takes what is in without waiting would otherwise
// never see an answer the helper wrote.
std::size_t ProbeHelperClient::collect(Clock::time_point deadline, net::FlightSink &sink) noexcept
{
    std::size_t handed = handOverReady(sink);
    bool read = false;
    for (;;) {
        if (m_socket >= 0 && takeAnswers(&sink, handed) == Reading::Broken)
            stop();
        handed += handOverReady(sink);
        if (handed > 0 || m_pending.empty())
            return handed;
        const auto now = Clock::now();
        const auto overdue = std::min_element(m_pending.begin(), m_pending.end(),
                                              [](const Pending &a, const Pending &b) {
                                                  return a.deadline < b.deadline;
                                              })->deadline;
        if (overdue <= now) {
            stop();
            continue;
        }
        if (now >= deadline && read)
            return 0;
        if (receiveMore(std::min(deadline, overdue)) == Reading::Broken)
            stop();
        read = true;
    }
}

std::size_t ProbeHelperClient::outstanding() const noexcept
{
    return m_pending.size() + m_ready.size();
}

void ProbeHelperClient::ready(std::uint32_t tag, const net::EchoOutcome &outcome) noexcept
{
    if (m_ready.size() < m_ready.capacity())
        m_ready.push_back({tag, outcome});
}

std::size_t ProbeHelperClient::handOverReady(net::FlightSink &sink) noexcept
{
    const std::size_t handed = m_ready.size();
    for (const Done &done : m_ready)
        sink.take(done.tag, done.outcome);
    m_ready.clear();
    return handed;
}

// Every request in flight fails with the helper that held it.
void ProbeHelperClient::failPending() noexcept
{
    for (const Pending &pending : m_pending)
        ready(pending.tag, failed(icmp::IpStatus::GeneralFailure, m_lastCondition));
    m_pending.clear();
}

net::EchoOutcome ProbeHelperClient::failed(std::int32_t status,
                                           net::HelperCondition condition) noexcept
{
    net::EchoOutcome outcome;
    outcome.status = status;
    outcome.origin = net::FailureOrigin::ThisMachine;
    outcome.helper = condition;
    return outcome;
}

// Takes every whole answer received so far, in order; what is left of a
// partial one moves to the front of the buffer.
ProbeHelperClient::Reading ProbeHelperClient::takeAnswers(net::FlightSink *sink,
                                                          std::size_t &handed) noexcept
{
    const AnswerLimits limits{MaxRequestData, MaxTimeout};
    std::size_t used = 0;
    Reading reading = Reading::Going;
    while (reading == Reading::Going) {
        const auto bytes = std::span(m_received).subspan(used, m_receivedSize - used);
        const auto parsed = parseAnswer(bytes, limits);
        if (parsed.verdict == AnswerVerdict::Incomplete)
            break;
        reading = parsed.verdict == AnswerVerdict::Valid ? takeAnswer(parsed, sink, handed)
                                                          : Reading::Broken;
        used += parsed.frameSize;
    }
    if (reading == Reading::Broken)
        return reading;
    std::memmove(m_received.data(), m_received.data() + used, m_receivedSize - used);
    m_receivedSize -= used;
    return reading;
}

// An answer is to a request asked and not yet answered, within what that
// request's own timeout allows; anything else means the helper is broken.
ProbeHelperClient::Reading ProbeHelperClient::takeAnswer(const ParsedAnswer &answer,
                                                         net::FlightSink *sink,
                                                         std::size_t &handed) noexcept
{
    net::EchoOutcome outcome = answer.outcome;
    outcome.helper = net::HelperCondition::Serving;
    m_served = true;
    if (answer.tag != 0 && answer.tag == m_awaited.tag) {
        if (!roundTripWithin(outcome.roundTrip, m_awaited.timeout))
            return Reading::Broken;
        std::copy(outcome.data.begin(), outcome.data.end(), m_echoed.begin());
        outcome.data = std::span(m_echoed).first(outcome.data.size());
        m_awaitedOutcome = outcome;
        m_awaited.tag = 0;
        return Reading::Going;
    }
    const auto pending = std::find_if(m_pending.begin(), m_pending.end(),
                                      [&](const Pending &p) { return p.tag == answer.tag; });
    if (pending == m_pending.end() || !roundTripWithin(outcome.roundTrip, pending->timeout))
        return Reading::Broken;
    m_pending.erase(pending);
    if (sink == nullptr) {
        outcome.data = {};
        ready(answer.tag, outcome);
        return Reading::Going;
    }
    sink->take(answer.tag, outcome);
    ++handed;
    return Reading::Going;
}

// Waits for more of the helper's answers until deadline, and takes what
// came; the helper gone (or the wait failing) breaks the reading.
ProbeHelperClient::Reading ProbeHelperClient::receiveMore(Clock::time_point deadline) noexcept
{
    pollfd watched{m_socket, POLLIN, 0};
    const timespec remaining = net::toTimespec(deadline - Clock::now());
    const int ready = ::ppoll(&watched, 1, &remaining, nullptr);
    if (ready < 0 && errno != EINTR)
        return Reading::Broken;
    if (ready <= 0)
        return Reading::Going;
    const ssize_t got = ::recv(m_socket, m_received.data() + m_receivedSize,
                               m_received.size() - m_receivedSize, MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
        return Reading::Broken;
    if (got > 0)
        m_receivedSize += static_cast<std::size_t>(got);
    return Reading::Going;
}

// A helper that has ended since the last probe is replaced before this one,
// so one crash costs no more than the probe it happened in; but not sooner
// than RestartSpacing after the last start.
std::int32_t ProbeHelperClient::ensureRunning() noexcept
{
    if (m_process > 0 && ::waitpid(m_process, nullptr, WNOHANG) == 0)
        return icmp::IpStatus::Success;
    // A served helper that has gone shows as the end of its connection.
    if (m_servedAtSocket && m_socket >= 0)
        return icmp::IpStatus::Success;
    stop();
    if (m_started && Clock::now() - m_lastStart < RestartSpacing)
        return icmp::IpStatus::GeneralFailure;
    return start();
}

// Out of descriptors or memory is said as such; a helper that is not there
// or will not run is a general failure.
std::int32_t ProbeHelperClient::start() noexcept
{
    m_started = true;
    m_lastStart = Clock::now();
    m_served = false;
    if (m_servedAtSocket)
        return connectToServed();
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return icmp::statusForOpenError(errno);
    pid_t process = -1;
    m_silenced = m_saidExit.has_value();
    const int error = spawnHelper(m_path, ends[1],
                                  m_silenced ? HelperVoice::Silenced : HelperVoice::Heard, process);
    ::close(ends[1]);
    m_socket = ends[0];
    if (error != 0) {
        stop();
        m_lastCondition = net::HelperCondition::Missing;
        return icmp::statusForOpenError(error);
    }
    m_process = process;
    return icmp::IpStatus::Success;
}

// The service starts a helper for each connection; one that cannot serve
// says why in the service's log, and its connection ends.
std::int32_t ProbeHelperClient::connectToServed() noexcept
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (m_path.size() >= sizeof address.sun_path) {
        m_lastCondition = net::HelperCondition::Missing;
        return icmp::IpStatus::GeneralFailure;
    }
    std::copy(m_path.begin(), m_path.end(), address.sun_path);
    const int socket = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket < 0)
        return icmp::statusForOpenError(errno);
    if (::connect(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(socket);
        m_lastCondition = net::HelperCondition::Missing;
        return icmp::IpStatus::GeneralFailure;
    }
    m_socket = socket;
    return icmp::IpStatus::Success;
}

// Closing its input ends a helper that is waiting for a request; one that
// does not end at once is hung or busy and is killed, so a stop never waits
// on it. How it ended tells why it could not serve; every request it held
// fails with it.
void ProbeHelperClient::stop() noexcept
{
    m_receivedSize = 0;
    if (m_socket >= 0)
        ::close(std::exchange(m_socket, -1));
    if (m_process > 0) {
        const pid_t process = std::exchange(m_process, -1);
        int status = 0;
        pid_t ended = 0;
        for (int waited = 0; waited < ExitWaitMilliseconds; ++waited) {
            ended = ::waitpid(process, &status, WNOHANG);
            if (ended != 0)
                break;
            ::usleep(1000);
        }
        if (ended == 0) {
            ::kill(process, SIGKILL);
            ended = ::waitpid(process, &status, 0);
        }
        const bool lacksCapability = ended == process && WIFEXITED(status) &&
                                     WEXITSTATUS(status) == helper::ExitLacksCapability;
        m_lastCondition = lacksCapability ? net::HelperCondition::LacksCapability
                                          : net::HelperCondition::Unresponsive;
        noteHowItEnded(ended == process ? status : -1);
    }
    failPending();
}

// A helper that cannot serve says why at each start, once a second: it is
// heard once, and again only when it ends otherwise or after one served.
void ProbeHelperClient::noteHowItEnded(int status) noexcept
{
    if (m_served)
        m_saidExit.reset();
    else if (!m_silenced)
        m_saidExit = status;
    else if (m_saidExit != status)
        m_saidExit.reset();
}

bool ProbeHelperClient::sendAll(std::span<const std::byte> bytes,
                                Clock::time_point deadline) noexcept
{
    pollfd watched{m_socket, POLLOUT, 0};
    while (!bytes.empty()) {
        const ssize_t sent =
            ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent == 0 || (errno != EINTR && errno != EAGAIN))
            return false;
        const auto now = Clock::now();
        if (now >= deadline)
            return false;
        const timespec remaining = net::toTimespec(deadline - now);
        ::ppoll(&watched, 1, &remaining, nullptr);
    }
    return true;
}

} // namespace helper
