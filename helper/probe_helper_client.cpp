#include "echowatch/helper/probe_helper_client.h"

#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/ip_status.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
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

timespec toTimespec(std::chrono::nanoseconds duration) noexcept
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return timespec{static_cast<time_t>(seconds.count()),
                    static_cast<long>((duration - seconds).count())};
}

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
    : m_path(std::move(helperPath)), m_request(helper::MaxRequestFrame),
      m_answer(helper::MaxAnswerFrame)
{}

ProbeHelperClient::~ProbeHelperClient()
{
    stop();
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
    const EchoRequest request{destination, std::clamp(timeout, {}, MaxTimeout), ttl, requestData};
    const auto frameSize = helper::encodeRequest(request, m_request);
    const auto started = ensureRunning();
    if (started != icmp::IpStatus::Success)
        return failed(started, m_lastCondition);
    // A host may echo more than it was sent (the first bytes must be ours);
    // never more than an IPv4 packet holds.
    const AnswerLimits limits{MaxRequestData, request.timeout};
    return askHelper(std::span(m_request).first(frameSize), limits, deadline);
}

net::EchoOutcome ProbeHelperClient::askHelper(std::span<const std::byte> frame, AnswerLimits limits,
                                              Clock::time_point deadline) noexcept
{
    if (!sendAll(frame, deadline)) {
        stop();
        return failed(icmp::IpStatus::GeneralFailure, m_lastCondition);
    }
    const auto answerSize = receiveAnswer(limits, deadline);
    auto parsed = parseAnswer(std::span(m_answer).first(answerSize), limits);
    if (parsed.verdict != helper::AnswerVerdict::Valid) {
        stop();
        return failed(icmp::IpStatus::GeneralFailure, m_lastCondition);
    }
    parsed.outcome.helper = net::HelperCondition::Serving;
    m_served = true;
    return parsed.outcome;
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

// A helper that has ended since the last probe is replaced before this one,
// so one crash costs no more than the probe it happened in; but not sooner
// than RestartSpacing after the last start.
std::int32_t ProbeHelperClient::ensureRunning() noexcept
{
    if (m_process > 0 && ::waitpid(m_process, nullptr, WNOHANG) == 0)
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
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return icmp::statusForOpenError(errno);
    pid_t process = -1;
    m_silenced = m_saidExit.has_value();
    m_served = false;
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

// Closing its input ends a helper that is waiting for a request; one that
// does not end at once is hung or busy and is killed, so a stop never waits
// on it. How it ended tells why it could not serve.
void ProbeHelperClient::stop() noexcept
{
    if (m_socket >= 0)
        ::close(std::exchange(m_socket, -1));
    if (m_process <= 0)
        return;
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
    const bool lacksCapability =
        ended == process && WIFEXITED(status) && WEXITSTATUS(status) == helper::ExitLacksCapability;
    m_lastCondition = lacksCapability ? net::HelperCondition::LacksCapability
                                      : net::HelperCondition::Unresponsive;
    noteHowItEnded(ended == process ? status : -1);
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
        const timespec remaining = toTimespec(deadline - now);
        ::ppoll(&watched, 1, &remaining, nullptr);
    }
    return true;
}

// Reads until one whole answer frame is in, the frame turns out malformed,
// the helper goes away or the deadline passes; returns the bytes read.
std::size_t ProbeHelperClient::receiveAnswer(AnswerLimits limits,
                                             Clock::time_point deadline) noexcept
{
    std::size_t received = 0;
    pollfd watched{m_socket, POLLIN, 0};
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto parsed = parseAnswer(std::span(m_answer).first(received), limits);
        if (parsed.verdict != helper::AnswerVerdict::Incomplete)
            return received;
        const timespec remaining = toTimespec(deadline - now);
        const int ready = ::ppoll(&watched, 1, &remaining, nullptr);
        if (ready < 0 && errno != EINTR)
            return received;
        if (ready <= 0)
            continue;
        // One answer is outstanding at a time, so whatever is there is
        // ours: take it all at once.
        const ssize_t got =
            ::recv(m_socket, m_answer.data() + received, m_answer.size() - received, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN))
            return received;
        if (got > 0)
            received += static_cast<std::size_t>(got);
    }
    return received;
}

} // namespace helper
