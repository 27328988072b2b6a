#include "request_server.h"

#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_echo_flight.h"
#include "echowatch/net/icmp_echo_library.h"
#include "echowatch/net/kernel_time.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <unistd.h>
#include <utility>

namespace helper {
namespace {

// Destinations whose pace is remembered at once: more than the global
// spacing lets through in the longest spacing a destination keeps.
constexpr std::size_t PacedDestinations = 64;

void sayOtherVersion(std::uint8_t version) noexcept
{
    char line[160];
    const int length = std::snprintf(line, sizeof line,
                                     "echowatch-probe: asked in protocol version %u, speaks "
                                     "version %u (a window of another release?); not serving.\n",
                                     version, ProtocolVersion);
    if (length > 0)
        (void)!::write(STDERR_FILENO, line, static_cast<std::size_t>(length));
}

} // namespace

RequestServer::RequestServer(net::LinuxIcmpEchoLibrary &library)
    : m_library(library), m_flight(library.flight()), m_pace(PacedDestinations),
      m_in(2 * MaxRequestFrame), m_out(MaxUnwritten + MaxAnswerFrame)
{
    m_queue.reserve(MaxQueued);
    m_heldBack.reserve(PacedDestinations);
    m_sent.reserve(net::EchoFlight::MaxInFlight);
}

int RequestServer::serve(int input, int output) noexcept
{
    m_input = input;
    m_output = output;
    for (;;) {
        if (const auto ending = takeRequests())
            return *ending;
        sendDue();
        m_flight.takeReady(*this, std::exchange(m_socketReady, false), m_pollError);
        if (!writeAnswers() || m_writeFailed)
            return 3;
        if (!m_library.hasSocket() && m_flight.outstanding() == 0 && m_outSize == 0)
            return ExitSocketLost;
        if (finished())
            return 0;
        if (!wait())
            return 3;
    }
}

// Whole frames are taken from the front of what was read, as long as there
// is room to hold them; a frame's lengths are checked before its body is
// waited for.
std::optional<int> RequestServer::takeRequests() noexcept
{
    std::size_t used = 0;
    std::optional<int> ending;
    while (!ending && m_queued < MaxQueued && m_queuedData < MaxQueuedData) {
        const auto parsed = parseRequest(std::span(m_in).subspan(used, m_inSize - used));
        if (parsed.verdict == RequestVerdict::Incomplete)
            break;
        if (parsed.verdict == RequestVerdict::Malformed)
            return 2;
        if (parsed.verdict == RequestVerdict::OtherVersion) {
            sayOtherVersion(parsed.version);
            return ExitOtherVersion;
        }
        if (parsed.verdict == RequestVerdict::Refused)
            answerRefused(parsed.request.tag);
        else if (!enqueue(parsed.request))
            ending = 1;
        used += parsed.frameSize;
    }
    std::memmove(m_in.data(), m_in.data() + used, m_inSize - used);
    m_inSize -= used;
    // Input that ends inside a frame broke off.
    const bool brokenOff = m_inputClosed && m_inSize > 0 &&
                           parseRequest(std::span(m_in).first(m_inSize)).verdict ==
                               RequestVerdict::Incomplete;
    return ending ? ending : brokenOff ? std::optional(2) : std::nullopt;
}

bool RequestServer::enqueue(const EchoRequest &request) noexcept
{
    try {
        if (m_queued == m_queue.size())
            m_queue.emplace_back();
        Queued &queued = m_queue[m_queued];
        queued.data.assign(request.data.begin(), request.data.end());
        queued.request = request;
        queued.request.data = queued.data;
        ++m_queued;
        m_queuedData += queued.data.size();
        return true;
    } catch (...) {
        return false;
    }
}

// The entry moves behind the queue, its data's room kept for the next.
void RequestServer::dequeue(std::size_t index) noexcept
{
    m_queuedData -= m_queue[index].data.size();
    const auto at = m_queue.begin() + static_cast<std::ptrdiff_t>(index);
    std::rotate(at, at + 1, m_queue.begin() + static_cast<std::ptrdiff_t>(m_queued));
    --m_queued;
}

void RequestServer::answerRefused(std::uint32_t tag) noexcept
{
    net::EchoOutcome refused;
    refused.status = icmp::IpStatus::BadReq;
    refused.origin = net::FailureOrigin::ThisMachine;
    append(tag, refused);
}

// In the order they came, each destination's requests in turn: a request
// goes once its destination's pace and the pace of all allow it.
void RequestServer::sendDue() noexcept
{
    auto &heldBack = m_heldBack;
    heldBack.clear();
    for (std::size_t index = 0; index < m_queued;) {
        const auto now = Clock::now();
        if (now < m_nextAnySend || m_sent.size() >= net::EchoFlight::MaxInFlight)
            return;
        const auto destination = m_queue[index].request.destination;
        const bool behindAnother = std::find(heldBack.begin(), heldBack.end(), destination) !=
                                   heldBack.end();
        if (!behindAnother && sendOne(index, now))
            continue;
        if (!behindAnother && heldBack.size() < PacedDestinations)
            heldBack.push_back(destination);
        ++index;
    }
}

bool RequestServer::sendOne(std::size_t index, Clock::time_point now) noexcept
{
    const EchoRequest &request = m_queue[index].request;
    if (m_pace.nextSendAt(request.destination, now) > now)
        return false;
    const auto flightTag = m_flight.send(
        {request.destination, request.data, request.timeout, request.ttl});
    m_pace.noteSent(request.destination, flightTag, now);
    m_nextAnySend = now + GlobalSpacing;
    m_sent.push_back({flightTag, request.tag, request.destination});
    // On loopback the answer is in before the send returns: look at once.
    m_socketReady = true;
    dequeue(index);
    return true;
}

void RequestServer::take(net::FlightTag tag, const net::EchoOutcome &outcome) noexcept
{
    const auto sent = std::find_if(m_sent.begin(), m_sent.end(),
                                   [tag](const Sent &s) { return s.flightTag == tag; });
    if (sent == m_sent.end())
        return;
    if (outcome.status == icmp::IpStatus::Success)
        m_pace.noteAnswered(sent->destination, tag);
    const auto answerTag = sent->tag;
    m_sent.erase(sent);
    append(answerTag, outcome);
}

// Answers wait in one buffer and leave together.
void RequestServer::append(std::uint32_t tag, const net::EchoOutcome &outcome) noexcept
{
    const std::size_t frame = AnswerHeaderSize + outcome.data.size();
    try {
        if (m_out.size() < m_outSize + frame)
            m_out.resize(m_outSize + frame);
    } catch (...) {
        m_writeFailed = true;
        return;
    }
    m_outSize += encodeAnswer(tag, outcome, std::span(m_out).subspan(m_outSize));
}

bool RequestServer::writeAnswers() noexcept
{
    std::size_t written = 0;
    while (written < m_outSize) {
        const ssize_t wrote = ::write(m_output, m_out.data() + written, m_outSize - written);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (wrote <= 0)
            return false;
        written += static_cast<std::size_t>(wrote);
    }
    std::memmove(m_out.data(), m_out.data() + written, m_outSize - written);
    m_outSize -= written;
    return true;
}

bool RequestServer::finished() const noexcept
{
    return m_inputClosed && m_inSize == 0 && m_queued == 0 && m_flight.outstanding() == 0 &&
           m_outSize == 0;
}

bool RequestServer::canRead() const noexcept
{
    return !m_inputClosed && m_queued < MaxQueued && m_queuedData < MaxQueuedData &&
           m_outSize < MaxUnwritten && m_inSize < m_in.size();
}

// The earliest of: a request's turn to go, a request in flight timing out.
std::optional<RequestServer::Clock::time_point> RequestServer::nextWake() noexcept
{
    std::optional<Clock::time_point> wake = m_flight.nextTimeout();
    const auto now = Clock::now();
    if (m_sent.size() >= net::EchoFlight::MaxInFlight)
        return wake;
    for (std::size_t index = 0; index < m_queued; ++index) {
        const Queued &queued = m_queue[index];
        const auto turn =
            std::max(m_pace.nextSendAt(queued.request.destination, now), m_nextAnySend);
        wake = wake ? std::min(*wake, turn) : turn;
    }
    return wake;
}

// Sleeps until input, room to write, an answer or a deadline; false when
// the wait itself fails.
bool RequestServer::wait() noexcept
{
    pollfd watched[3];
    nfds_t count = 0;
    const bool reading = canRead();
    if (reading)
        watched[count++] = {m_input, POLLIN, 0};
    if (m_outSize > 0)
        watched[count++] = {m_output, POLLOUT, 0};
    const int socket = m_flight.descriptor();
    const nfds_t socketAt = count;
    if (socket >= 0 && m_flight.outstanding() > 0)
        watched[count++] = {socket, POLLIN, 0};
    const auto wake = nextWake();
    timespec timeout{};
    if (wake)
        timeout = net::toTimespec(*wake - Clock::now());
    const int ready = ::ppoll(watched, count, wake ? &timeout : nullptr, nullptr);
    if (ready < 0)
        return errno == EINTR;
    if (socketAt < count) {
        const short events = watched[socketAt].revents;
        if ((events & (POLLNVAL | POLLHUP)) != 0)
            m_flight.socketLost();
        m_socketReady = events != 0;
        m_pollError = (events & POLLERR) != 0;
    }
    if (reading && watched[0].revents != 0)
        return readInput();
    return true;
}

bool RequestServer::readInput() noexcept
{
    const ssize_t got = ::read(m_input, m_in.data() + m_inSize, m_in.size() - m_inSize);
    if (got == 0)
        m_inputClosed = true;
    else if (got > 0)
        m_inSize += static_cast<std::size_t>(got);
    else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
        m_inputClosed = true;
    return true;
}

} // namespace helper
