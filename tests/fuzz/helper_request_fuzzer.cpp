// Feeds arbitrary bytes to the probe helper's request parser, as a local
// user writing straight to the helper's input could (frame after frame, as
// the helper reads a stream of them), and to the window's answer parser, as
// a broken helper could. Whatever is accepted must lie within the bytes
// given and within the protocol's limits, a valid request or answer must
// encode back to the very bytes it was read from, a frame of another version
// is told apart only by its version, and an accepted answer must become the
// window's reply record without overflowing.
#include "echowatch/helper/probe_helper_protocol.h"
#include "echowatch/net/icmp_echo_reply.h"
#include "echowatch/net/icmp_reply_writer.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

// One frame from the front of bytes; how many bytes it took, 0 when no
// whole frame is there to take.
std::size_t checkRequest(std::span<const std::byte> bytes)
{
    const auto parsed = helper::parseRequest(bytes);
    if (parsed.verdict == helper::RequestVerdict::OtherVersion) {
        check(bytes.size() >= 5 && parsed.version != helper::ProtocolVersion);
        check(std::to_integer<std::uint8_t>(bytes[4]) == parsed.version);
        return 0;
    }
    if (parsed.verdict != helper::RequestVerdict::Valid &&
        parsed.verdict != helper::RequestVerdict::Refused)
        return 0;
    const auto &request = parsed.request;
    check(parsed.frameSize >= helper::RequestHeaderSize && parsed.frameSize <= bytes.size());
    check(request.data.size() <= helper::MaxRequestData);
    check(request.data.data() == bytes.data() + helper::RequestHeaderSize);
    if (parsed.verdict != helper::RequestVerdict::Valid)
        return parsed.frameSize;
    check(request.timeout <= helper::MaxTimeout);
    static std::array<std::byte, helper::MaxRequestFrame> encoded;
    const auto size = helper::encodeRequest(request, encoded);
    check(size == parsed.frameSize);
    check(std::equal(encoded.begin(), encoded.begin() + size, bytes.begin()));
    return parsed.frameSize;
}

void checkAnswer(std::span<const std::byte> bytes, helper::AnswerLimits limits)
{
    const auto parsed = helper::parseAnswer(bytes, limits);
    if (parsed.verdict != helper::AnswerVerdict::Valid)
        return;
    const auto &outcome = parsed.outcome;
    check(parsed.frameSize <= bytes.size());
    check(outcome.data.size() <= limits.data);
    check(outcome.data.data() == bytes.data() + helper::AnswerHeaderSize);
    check(helper::roundTripWithin(outcome.roundTrip, limits.roundTrip));
    static std::array<std::byte, helper::MaxAnswerFrame> encoded;
    const auto size = helper::encodeAnswer(parsed.tag, outcome, encoded);
    check(size == parsed.frameSize);
    check(std::equal(encoded.begin(), encoded.begin() + size, bytes.begin()));
    static std::array<std::byte, sizeof(net::IcmpEchoReply) + helper::MaxRequestData> record;
    net::writeEchoRecord(record, outcome);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto bytes = std::as_bytes(std::span(data, size));
    for (auto rest = bytes; !rest.empty();) {
        const std::size_t taken = checkRequest(rest);
        if (taken == 0)
            break;
        rest = rest.subspan(taken);
    }
    // The limits vary with the input, so that every bound is fuzzed too.
    const std::size_t dataLimit = size > 0 ? data[0] * 300u : 250u;
    const auto timeout = std::chrono::milliseconds{size > 1 ? data[1] * 2 : 500};
    checkAnswer(bytes, {dataLimit, timeout});
    return 0;
}
