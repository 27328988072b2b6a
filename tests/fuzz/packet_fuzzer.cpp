// Feeds arbitrary bytes to everything that reads a received packet, the way a
// hostile or broken host could: as a raw socket's IP packet, as a datagram
// socket's ICMP message, and as the quote of a queued error. Whatever is
// accepted is written into a reply record, which must never overflow.
#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/net/icmp_reply_writer.h"
#include "echowatch/probe/echo_reply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void writeAndCheck(const icmp::Answer &answer)
{
    net::EchoOutcome outcome;
    outcome.status = answer.status;
    outcome.responder = answer.from;
    outcome.data = answer.echoedData;
    EchoReply reply{};
    const auto replies =
        net::writeEchoRecord(std::as_writable_bytes(std::span(&reply, 1)), outcome);
    if (reply.header.dataSize > reply.data.size() || (replies == 1) != (reply.header.status == 0))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace icmp;
    const auto bytes = std::as_bytes(std::span(data, size));
    // The expected request is taken from the input too, so the matcher's
    // accepting paths are reachable, not only its refusals.
    const auto identifier = static_cast<std::uint16_t>(size > 1 ? data[0] << 8 | data[1] : 0);
    const SentEcho sent{0x0100007f, identifier, identifier, bytes.first(size < 4 ? size : 4)};

    if (const auto answer = matchRawPacket(bytes, sent))
        writeAndCheck(*answer);
    if (const auto answer = matchDatagramReply(bytes, sent.destination, 64, 0, sent))
        writeAndCheck(*answer);
    const QueuedError error{ErrorOriginIcmp,
                            size > 0 ? data[0] : std::uint8_t{3},
                            size > 1 ? data[1] : std::uint8_t{0},
                            0,
                            sent.destination,
                            bytes};
    if (const auto answer = matchQueuedError(error, sent))
        writeAndCheck(*answer);
    return 0;
}
