#include "request_server.h"

#include "echowatch/icmp/ip_status.h"
#include "echowatch/net/icmp_echo_library.h"

#include <algorithm>
#include <cerrno>
#include <thread>
#include <unistd.h>

namespace helper {
namespace {

enum class ReadResult
{
    Complete,
    ClosedBefore, // nothing of it had arrived: the input closed between frames
    BrokenOff,
};

ReadResult readExactly(int input, std::span<std::byte> bytes) noexcept
{
    std::size_t have = 0;
    while (have < bytes.size()) {
        const ssize_t got = ::read(input, bytes.data() + have, bytes.size() - have);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return have == 0 ? ReadResult::ClosedBefore : ReadResult::BrokenOff;
        have += static_cast<std::size_t>(got);
    }
    return ReadResult::Complete;
}

bool writeAll(int output, std::span<const std::byte> bytes) noexcept
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(output, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

RequestServer::RequestServer(net::LinuxIcmpEchoLibrary &library)
    : m_library(library), m_request(MaxRequestFrame), m_answer(MaxAnswerFrame)
{}

int RequestServer::serve(int input, int output) noexcept
{
    const auto buffer = std::span(m_request);
    for (;;) {
        const auto header = readExactly(input, buffer.first(RequestHeaderSize));
        if (header == ReadResult::ClosedBefore)
            return 0;
        if (header == ReadResult::BrokenOff)
            return 2;
        // The header's lengths are checked before the body is read.
        const auto framed = parseRequest(buffer.first(RequestHeaderSize));
        if (framed.verdict == RequestVerdict::Malformed)
            return 2;
        const auto body = buffer.subspan(RequestHeaderSize, framed.frameSize - RequestHeaderSize);
        if (readExactly(input, body) != ReadResult::Complete)
            return 2;
        const auto answerSize = answer(parseRequest(buffer.first(framed.frameSize)));
        if (!writeAll(output, std::span(m_answer).first(answerSize)))
            return 3;
        if (!m_library.hasSocket())
            return ExitSocketLost;
    }
}

std::size_t RequestServer::answer(const ParsedRequest &parsed) noexcept
{
    if (parsed.verdict != RequestVerdict::Valid) {
        net::EchoOutcome refused;
        refused.status = icmp::IpStatus::BadReq;
        refused.origin = net::FailureOrigin::ThisMachine;
        return encodeAnswer(refused, m_answer);
    }
    return encodeAnswer(probe(parsed.request), m_answer);
}

net::EchoOutcome RequestServer::probe(const EchoRequest &request) noexcept
{
    std::this_thread::sleep_until(m_nextSend);
    const auto sentAt = Clock::now();
    auto opening = m_library.IcmpCreateFile();
    if (!opening.handle) {
        net::EchoOutcome failed;
        failed.status = opening.failureStatus;
        failed.origin = net::FailureOrigin::ThisMachine;
        return failed;
    }
    const auto outcome =
        opening.handle->echo(request.destination, request.data, request.timeout, request.ttl);
    m_nextSend = sentAt + net::UserPace::spacingAfter(outcome.status);
    return outcome;
}

} // namespace helper
