#pragma once

#include "echowatch/net/echo_outcome.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace net {

// The one place the platform's reply record is written: the IcmpEchoReply
// header, then the echoed data, from the typed outcome. A buffer too small
// for the header is left untouched; nothing is ever written past the end.
// Echoed data that does not fit behind the header makes the record's status
// BufTooSmall. Returns the number of echo replies the record reports: 1 for
// an answer, 0 for everything else.
std::uint32_t writeEchoRecord(std::span<std::byte> buffer, const EchoOutcome &outcome) noexcept;

} // namespace net
