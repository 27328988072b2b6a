#include "echowatch/net/probe_helper_client.h"

#include "echowatch/net/errno_status.h"
#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/net/ip_status.h"
#include "echowatch/net/probe_helper_protocol.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <new>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace net {
namespace {

// How long past the probe's own timeout the helper may take to answer before
// it is taken for hung: room for a starved CPU, never a hang of the window.
constexpr std::chrono::milliseconds AnswerGrace{2000};

timespec toTimespec(std::chrono::nanoseconds duration) noexcept
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return timespec{static_cast<time_t>(seconds.count()),
                    static_cast<long>((duration - seconds).count())};
}

// The helper gets the socket as its standard input and output, a clean
// signal mask and no environment at all: nothing of ours steers a process
// that may hold a capability.
// Returns 0 or the error that kept the helper from starting.
int spawnHelper(const std::string &path, int helperEnd, pid_t &process) noexcept
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

std::uint32_t ProbeHelperClient::echo(std::uint32_t destination,
                                      std::span<const std::byte> requestData,
                                      std::span<std::byte> replyBuffer,
                                      std::chrono::milliseconds timeout) noexcept
{
    if (requestData.size() > helper::MaxRequestData) {
        writeEchoFailure(replyBuffer, IpStatus::PacketTooBig);
        return 0;
    }
    if (replyBuffer.size() < helper::MinReplySize) {
        writeEchoFailure(replyBuffer, IpStatus::BufTooSmall);
        return 0;
    }
    const auto replySize =
        static_cast<std::uint32_t>(std::min(replyBuffer.size(), helper::MaxReplySize));
    const helper::EchoRequest request{destination, std::clamp(timeout, {}, helper::MaxTimeout),
                                      replySize, requestData};
    const auto deadline = Clock::now() + request.timeout + AnswerGrace;
    const auto frameSize = helper::encodeRequest(request, m_request);
    const auto started = ensureRunning();
    if (started != IpStatus::Success || !sendAll(std::span(m_request).first(frameSize))) {
        stop();
        writeEchoFailure(replyBuffer,
                         started != IpStatus::Success ? started : IpStatus::GeneralFailure);
        return 0;
    }
    const auto answerSize = receiveAnswer(replySize, deadline);
    const auto parsed = helper::parseAnswer(std::span(m_answer).first(answerSize), replySize);
    if (parsed.verdict != helper::AnswerVerdict::Valid) {
        stop();
        writeEchoFailure(replyBuffer, IpStatus::GeneralFailure);
        return 0;
    }
    if (parsed.answer.kind == helper::AnswerKind::Refused) {
        writeEchoFailure(replyBuffer, parsed.answer.status);
        return 0;
    }
    std::copy(parsed.answer.record.begin(), parsed.answer.record.end(), replyBuffer.begin());
    return parsed.answer.replies;
}

// A helper that has ended since the last probe is replaced before this one,
// so one crash costs no more than the probe it happened in.
std::int32_t ProbeHelperClient::ensureRunning() noexcept
{
    if (m_process > 0) {
        int status = 0;
        if (::waitpid(m_process, &status, WNOHANG) == 0)
            return IpStatus::Success;
        m_process = -1;
        stop();
    }
    return start();
}

// Out of descriptors or memory is said as such; a helper that is not there
// or will not run is a general failure.
std::int32_t ProbeHelperClient::start() noexcept
{
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return statusForOpenError(errno);
    pid_t process = -1;
    const int error = spawnHelper(m_path, ends[1], process);
    ::close(ends[1]);
    m_socket = ends[0];
    if (error != 0) {
        stop();
        return statusForOpenError(error);
    }
    m_process = process;
    return IpStatus::Success;
}

// Closing its input ends the helper; one that does not end at once is hung
// or busy and is killed, so a stop never waits on it.
void ProbeHelperClient::stop() noexcept
{
    if (m_socket >= 0)
        ::close(std::exchange(m_socket, -1));
    if (m_process <= 0)
        return;
    const pid_t process = std::exchange(m_process, -1);
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (::waitpid(process, nullptr, WNOHANG) != 0)
            return;
        ::usleep(1000);
    }
    ::kill(process, SIGKILL);
    ::waitpid(process, nullptr, 0);
}

bool ProbeHelperClient::sendAll(std::span<const std::byte> bytes) noexcept
{
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(sent));
    }
    return true;
}

// Reads until one whole answer frame is in, the frame turns out malformed,
// the helper goes away or the deadline passes; returns the bytes read.
std::size_t ProbeHelperClient::receiveAnswer(std::uint32_t replySize,
                                             Clock::time_point deadline) noexcept
{
    std::size_t received = 0;
    pollfd watched{m_socket, POLLIN, 0};
    for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
        const auto parsed = helper::parseAnswer(std::span(m_answer).first(received), replySize);
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

} // namespace net
