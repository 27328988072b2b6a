#include "echowatch/net/icmp_echo_flight.h"

#include "echowatch/icmp/errno_status.h"
#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/socket_calls.h"
#include "echowatch/net/kernel_time.h"
#include "socket_messages.h"

#include <algorithm>
#include <cerrno>
#include <linux/errqueue.h>
#include <poll.h>

namespace net {
namespace {

// Reads per queue in one pass: a flood cannot hold a pass past its turn.
constexpr int ReadsPerPass = 256;

using messages::failure;

} // namespace

IcmpEchoFlight::IcmpEchoFlight(std::optional<IcmpSocket> &socket, std::uint16_t &nextSequence,
                               SocketCalls &calls, ReceiveBuffers &buffers)
    : m_socket(socket), m_nextSequence(nextSequence), m_calls(calls), m_buffers(buffers)
{
    // Slots are made as they are first needed and kept: one request at a
    // time touches one, not all the room.
    m_slots.reserve(MaxInFlight);
    m_failed.reserve(2 * MaxInFlight);
}

FlightTag IcmpEchoFlight::nextTag() noexcept
{
    // 0 is never given out, so that a holder can use it for none.
    if (++m_nextTag == 0)
        ++m_nextTag;
    return m_nextTag;
}

FlightTag IcmpEchoFlight::send(const FlightRequest &request) noexcept
{
    const FlightTag tag = nextTag();
    if (!m_socket) {
        fail(tag, icmp::IpStatus::GeneralFailure);
        return tag;
    }
    // As for a single probe: 0.0.0.0 would be answered by this host.
    if (request.destination == INADDR_ANY) {
        fail(tag, icmp::IpStatus::BadDestination);
        return tag;
    }
    Slot *slot = freeSlot(request.data.size());
    if (slot == nullptr) {
        fail(tag, icmp::IpStatus::NoResources);
        return tag;
    }
    const std::uint16_t sequence = m_nextSequence++;
    const auto packet =
        icmp::buildEchoRequest(m_buffers.packet, m_socket->identifier(), sequence, request.data);
    if (packet.empty()) {
        fail(tag, icmp::IpStatus::PacketTooBig);
        return tag;
    }
    slot->tag = tag;
    slot->sequence = sequence;
    slot->destination = request.destination;
    slot->data.assign(request.data.begin(), request.data.end());
    slot->sentSize = request.data.size();
    slot->timeout = request.timeout;
    if (transmit(*slot, packet, request.ttl)) {
        slot->used = true;
        ++m_used;
        m_dataInFlight += slot->sentSize;
    }
    return tag;
}

// Sends the built request for slot; a refused send is the request's outcome.
bool IcmpEchoFlight::transmit(Slot &slot, std::span<const std::byte> request,
                              TimeToLive ttl) noexcept
{
    const bool errorsOnlyWhileSending = m_socket->hearsErrorsOnlyWhileSending();
    if (errorsOnlyWhileSending)
        m_socket->queueErrors(true);
    slot.userSentAt = slot.sentAt = realtimeNow();
    slot.stamped = !m_socket->timestamped();
    slot.deadline = Clock::now() + slot.timeout;
    slot.candidate.reset();
    const auto sent = m_calls.send(m_socket->descriptor(), request, slot.destination, ttl);
    const int sendError = errno;
    if (errorsOnlyWhileSending)
        m_socket->queueErrors(false);
    if (sent >= 0)
        return true;
    if (icmp::socketUnusable(sendError))
        socketLost();
    m_failed.push_back({slot.tag, failure(icmp::statusForSendError(sendError),
                                          FailureOrigin::ThisMachine)});
    return false;
}

IcmpEchoFlight::Slot *IcmpEchoFlight::freeSlot(std::size_t dataSize) noexcept
{
    if (m_used >= MaxInFlight || m_dataInFlight + dataSize > MaxDataInFlight)
        return nullptr;
    const auto free = std::find_if(m_slots.begin(), m_slots.end(),
                                   [](const Slot &slot) { return !slot.used; });
    if (free != m_slots.end())
        return &*free;
    // Within the room reserved at the start: nothing moves.
    return &m_slots.emplace_back();
}

IcmpEchoFlight::Slot *IcmpEchoFlight::slotFor(std::uint16_t sequence) noexcept
{
    const auto found = std::find_if(m_slots.begin(), m_slots.end(), [sequence](const Slot &s) {
        return s.used && s.sequence == sequence;
    });
    return found != m_slots.end() ? &*found : nullptr;
}

// A caller that never collects loses what is past the room, never more.
void IcmpEchoFlight::fail(FlightTag tag, std::int32_t status) noexcept
{
    if (m_failed.size() < m_failed.capacity())
        m_failed.push_back({tag, failure(status, FailureOrigin::ThisMachine)});
}

std::size_t IcmpEchoFlight::outstanding() const noexcept
{
    return m_used + m_failed.size();
}

int IcmpEchoFlight::descriptor() const noexcept
{
    return m_socket ? m_socket->descriptor() : -1;
}

std::optional<IcmpEchoFlight::Clock::time_point> IcmpEchoFlight::nextTimeout() const noexcept
{
    std::optional<Clock::time_point> earliest;
    for (const Slot &slot : m_slots) {
        if (slot.used && (!earliest || slot.deadline < *earliest))
            earliest = slot.deadline;
    }
    return earliest;
}

std::size_t IcmpEchoFlight::collect(Clock::time_point deadline, FlightSink &sink) noexcept
{
    bool pollError = false;
    for (;;) {
        const std::size_t handed = takeReady(sink, true, pollError);
        if (handed > 0 || m_used == 0)
            return handed;
        const auto now = Clock::now();
        if (now >= deadline)
            return 0;
        const auto wake = std::min(deadline, nextTimeout().value_or(deadline));
        pollfd watched{descriptor(), POLLIN, 0};
        const int ready = m_calls.poll(watched, toTimespec(wake - now));
        if (ready > 0 && (watched.revents & (POLLNVAL | POLLHUP)) != 0)
            socketLost();
        pollError = ready > 0 && (watched.revents & POLLERR) != 0;
    }
}

// What the kernel received before a request's deadline counts: the queues
// are read before the deadlines are looked at, with the time taken first.
std::size_t IcmpEchoFlight::takeReady(FlightSink &sink, bool readSocket, bool pollError) noexcept
{
    std::size_t handed = handOverFailed(sink);
    if (m_used == 0)
        return handed;
    const auto now = Clock::now();
    if (m_socket && readSocket) {
        bool errorQueued = false;
        bool readSomething = readErrorQueue(pollError);
        readSomething = readReceiveQueue(errorQueued) || readSomething;
        // Said by the receive rather than a poll: a caller that reads
        // without waiting (a prober taking its answers a span at a time)
        // would otherwise never hear the ICMP error behind it.
        if (errorQueued)
            readSomething = readErrorQueue(true) || readSomething;
        if (explainQuietError(pollError, readSomething))
            failAll();
    }
    handed += handOverDecided(sink);
    handed += handOverFailed(sink);
    return handed + handOverExpired(now, sink);
}

// POLLERR with nothing to read would wake the next poll at once: the
// socket's pending error, which stands for one read already, is cleared;
// one that comes straight back means the socket cannot be waited on.
bool IcmpEchoFlight::explainQuietError(bool pollError, bool readSomething) noexcept
{
    if (!pollError || readSomething) {
        m_quietErrors = 0;
        return false;
    }
    if (++m_quietErrors > 1)
        return true;
    m_calls.takePendingError(descriptor());
    return false;
}

// A send's stamp is looked for until it is in; the queue is drained when
// the poll said something is on it (a ping socket's ICMP errors).
bool IcmpEchoFlight::readErrorQueue(bool drain) noexcept
{
    bool readSomething = false;
    for (int read = 0; read < ReadsPerPass && (drain || awaitingStamp()); ++read) {
        const ssize_t length = receive(MSG_ERRQUEUE, m_buffers.quote);
        if (length < 0 && errno == EINTR)
            continue;
        if (length < 0)
            break;
        readSomething = true;
        takeErrorEntry(std::span<const std::byte>(m_buffers.quote)
                           .first(std::min(static_cast<std::size_t>(length),
                                           m_buffers.quote.size())));
    }
    return readSomething;
}

// Read until every request in flight is decided or the queue is empty.
bool IcmpEchoFlight::readReceiveQueue(bool &errorQueued) noexcept
{
    bool readSomething = false;
    for (int read = 0; read < ReadsPerPass && m_socket && awaitingAnswer(); ++read) {
        const ssize_t length = receive(0, m_buffers.packet);
        if (length < 0 && messages::wouldBlock(errno))
            break;
        readSomething = true;
        // A ping socket's receive reports a queued ICMP error once, as an
        // errno; the error itself is read from the error queue.
        if (length < 0) {
            errorQueued = errorQueued || errno != EINTR;
            continue;
        }
        takeReceived(
            std::span<const std::byte>(m_buffers.packet).first(static_cast<std::size_t>(length)));
    }
    return readSomething;
}

void IcmpEchoFlight::takeErrorEntry(std::span<const std::byte> quoted) noexcept
{
    const auto entry = messages::readQueuedError(m_read.message, m_read.name, quoted);
    if (!entry)
        return;
    if (entry->origin == SO_EE_ORIGIN_TIMESTAMPING) {
        if (const auto stamp = softwareStamp(m_read.message))
            takeSendStamp(*stamp);
        return;
    }
    if (entry->origin != icmp::ErrorOriginIcmp)
        return;
    // A raw socket reads its errors as packets: an entry here is a copy of
    // some ICMP error on the host.
    if (m_socket->kind() == IcmpSocketKind::Raw) {
        m_socket->hearErrorsOnlyWhileSending();
        return;
    }
    const auto sequence = icmp::queuedErrorSequence(*entry);
    Slot *slot = sequence ? slotFor(*sequence) : nullptr;
    if (slot == nullptr)
        return;
    const icmp::SentEcho sent{slot->destination, m_socket->identifier(), slot->sequence, {}};
    if (const auto answer = icmp::matchQueuedError(*entry, sent))
        propose(*slot, *answer);
}

bool IcmpEchoFlight::awaitingStamp() const noexcept
{
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [](const Slot &slot) { return slot.used && !slot.stamped; });
}

bool IcmpEchoFlight::awaitingAnswer() const noexcept
{
    return std::any_of(m_slots.begin(), m_slots.end(),
                       [](const Slot &slot) { return slot.used && !slot.candidate; });
}

// Stamps come in the order of the sends, each taken inside its own send:
// one belongs to the last request sent before it that has none yet.
void IcmpEchoFlight::takeSendStamp(KernelTime stamp) noexcept
{
    Slot *owner = nullptr;
    for (Slot &slot : m_slots) {
        if (slot.used && !slot.stamped && slot.userSentAt <= stamp &&
            (owner == nullptr || slot.userSentAt > owner->userSentAt))
            owner = &slot;
    }
    if (owner == nullptr)
        return;
    owner->sentAt = stamp;
    owner->stamped = true;
}

void IcmpEchoFlight::takeReceived(std::span<const std::byte> bytes) noexcept
{
    const bool raw = m_socket->kind() == IcmpSocketKind::Raw;
    const auto sequence =
        raw ? icmp::rawAnswerSequence(bytes) : icmp::datagramReplySequence(bytes);
    Slot *slot = sequence ? slotFor(*sequence) : nullptr;
    if (slot == nullptr)
        return;
    const icmp::SentEcho sent{slot->destination, m_socket->identifier(), slot->sequence,
                              std::span(slot->data).first(slot->sentSize)};
    auto answer = raw ? icmp::matchRawPacket(bytes, sent)
                      : icmp::matchDatagramReply(bytes, m_read.name.sin_addr.s_addr, 0, 0, sent);
    if (!answer)
        return;
    if (!raw)
        messages::readReplyOptions(m_read.message, *answer);
    propose(*slot, *answer);
}

// The first the kernel received decides. A reply's echoed data starts with
// the request's own (it was matched on it), so the slot keeps it by taking
// the rest.
void IcmpEchoFlight::propose(Slot &slot, const icmp::Answer &answer) noexcept
{
    const KernelTime at = softwareStamp(m_read.message).value_or(realtimeNow());
    if (slot.candidate && slot.candidate->at <= at)
        return;
    const std::size_t echoed = answer.echoedData.size();
    if (answer.status == icmp::IpStatus::Success && echoed > slot.sentSize) {
        slot.data.resize(echoed);
        std::copy(answer.echoedData.begin() + static_cast<std::ptrdiff_t>(slot.sentSize),
                  answer.echoedData.end(),
                  slot.data.begin() + static_cast<std::ptrdiff_t>(slot.sentSize));
    }
    slot.candidate = Candidate{answer, at, echoed};
}

std::size_t IcmpEchoFlight::handOverDecided(FlightSink &sink) noexcept
{
    std::size_t handed = 0;
    for (Slot &slot : m_slots) {
        if (!slot.used || !slot.candidate)
            continue;
        const Candidate &decided = *slot.candidate;
        EchoOutcome outcome;
        const auto roundTrip = std::max(decided.at - slot.sentAt, std::chrono::nanoseconds{});
        if (roundTrip >= slot.timeout) {
            outcome = failure(icmp::IpStatus::ReqTimedOut, FailureOrigin::None);
        } else {
            const icmp::Answer &answer = decided.answer;
            outcome.status = answer.status;
            outcome.roundTrip = roundTrip;
            outcome.responder = answer.from;
            outcome.ttl = answer.ttl;
            outcome.tos = answer.tos;
            outcome.message = answer.kind;
            outcome.origin = answer.status == icmp::IpStatus::Success
                                 ? FailureOrigin::None
                                 : FailureOrigin::IcmpMessage;
            if (answer.status == icmp::IpStatus::Success)
                outcome.data = std::span(slot.data).first(decided.echoedSize);
        }
        const FlightTag tag = slot.tag;
        sink.take(tag, outcome);
        release(slot);
        ++handed;
    }
    return handed;
}

std::size_t IcmpEchoFlight::handOverExpired(Clock::time_point now, FlightSink &sink) noexcept
{
    std::size_t handed = 0;
    for (Slot &slot : m_slots) {
        if (!slot.used || slot.deadline > now)
            continue;
        sink.take(slot.tag, failure(icmp::IpStatus::ReqTimedOut, FailureOrigin::None));
        release(slot);
        ++handed;
    }
    return handed;
}

std::size_t IcmpEchoFlight::handOverFailed(FlightSink &sink) noexcept
{
    const std::size_t handed = m_failed.size();
    for (const Failed &failed : m_failed)
        sink.take(failed.tag, failed.outcome);
    m_failed.clear();
    return handed;
}

void IcmpEchoFlight::release(Slot &slot) noexcept
{
    slot.used = false;
    slot.candidate.reset();
    --m_used;
    m_dataInFlight -= slot.sentSize;
}

void IcmpEchoFlight::socketLost() noexcept
{
    failAll();
    m_socket.reset();
}

void IcmpEchoFlight::failAll() noexcept
{
    for (Slot &slot : m_slots) {
        if (!slot.used)
            continue;
        fail(slot.tag, icmp::IpStatus::GeneralFailure);
        release(slot);
    }
}

ssize_t IcmpEchoFlight::receive(int flags, std::span<std::byte> into) noexcept
{
    return messages::receive(m_calls, m_socket->descriptor(), flags, into, m_buffers.control, m_read);
}

} // namespace net
