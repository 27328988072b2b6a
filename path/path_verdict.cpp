#include "echowatch/path/path_verdict.h"

#include "echowatch/path/message_words.h"
#include "echowatch/net/ipv4_text.h"

namespace path {
namespace {

std::string hopText(const PathVerdict &verdict)
{
    return "hop " + std::to_string(verdict.hop) + " (" + net::ipv4Text(verdict.responder) + ")";
}

// "router 198.51.100.2 (hop 2) cannot reach the host (host unreachable)"
std::string errorText(const PathVerdict &verdict)
{
    const Sender sender = verdict.responderIsHost ? Sender::Host : Sender::Router;
    const std::string who = verdict.responderIsHost ? "the host " : "router ";
    return who + net::ipv4Text(verdict.responder) + " (hop " + std::to_string(verdict.hop) +
           ") " + errorDeed(verdict.message, sender) + " (" + errorName(verdict.message) + ")";
}

PathVerdict fromError(const PathTable &trace, int ttl, const HopStats &hop)
{
    const HopResponder *sender = hop.lastErrorSender();
    PathVerdict verdict;
    verdict.kind = PathVerdict::Kind::ErrorFrom;
    verdict.responder = sender->address;
    verdict.responderIsHost = sender->address == trace.destination;
    verdict.ttl = ttl;
    verdict.message = sender->lastError;
    verdict.hop = errorSenderHop(trace, sender->address, ttl);
    return verdict;
}

PathVerdict judge(const PathTable &trace, int hostHop)
{
    using Kind = PathVerdict::Kind;
    const int last = trace.lastAnsweringHop();
    if (last == 0)
        return {};
    const HopStats &hop = trace.hops[static_cast<std::size_t>(last) - 1];
    if (hop.endedByError && hop.lastErrorSender() != nullptr)
        return fromError(trace, last, hop);
    PathVerdict verdict;
    verdict.kind = Kind::StopsAfter;
    verdict.hop = verdict.ttl = last;
    verdict.responder = hop.responder();
    if (hop.isHost) {
        verdict.kind = Kind::HostAnswered;
        verdict.responderIsHost = true;
    } else if (hostHop > 0 && last == hostHop - 1) {
        verdict.kind = Kind::HostSilent;
    }
    return verdict;
}

} // namespace

PathVerdict judgeTrace(const PathTable &trace, int hostHop)
{
    PathVerdict verdict = judge(trace, hostHop);
    verdict.words = verdictText(verdict);
    return verdict;
}

int errorSenderHop(const PathTable &trace, std::uint32_t sender, int errorTtl) noexcept
{
    if (const int answered = trace.hopAnsweredBy(sender); answered > 0 && answered <= errorTtl)
        return answered;
    if (sender == trace.destination || errorTtl <= 1 ||
        static_cast<std::size_t>(errorTtl) > trace.hops.size())
        return errorTtl;
    const HopStats &before = trace.hops[static_cast<std::size_t>(errorTtl) - 2];
    const std::uint32_t other = before.responder();
    return other == 0 || other == sender ? errorTtl - 1 : errorTtl;
}

std::string verdictText(const PathVerdict &verdict)
{
    switch (verdict.kind) {
    case PathVerdict::Kind::HostAnswered:
        return "the host answered at hop " + std::to_string(verdict.hop);
    case PathVerdict::Kind::NothingAnswered:
        return "nothing answered from hop 1";
    case PathVerdict::Kind::HostSilent:
        return "every hop answered up to the host; the host did not";
    case PathVerdict::Kind::StopsAfter:
        return "stops after " + hopText(verdict);
    case PathVerdict::Kind::ErrorFrom:
        return errorText(verdict);
    }
    return {};
}

int hostHopFromReplyTtl(std::uint8_t ttl) noexcept
{
    if (ttl == 0)
        return 0;
    const int initial = ttl <= 64 ? 64 : ttl <= 128 ? 128 : 255;
    return initial - ttl + 1;
}

} // namespace path
