#pragma once

#include "echowatch/probe/echo_reply.h"

#include <algorithm>
#include <span>
#include <string_view>

// The 32 bytes every probe of the program carries, written out here rather
// than taken from the window's code, so that a change there shows in the
// tests.
inline constexpr std::u16string_view TestPayload = u"12345678912345678912345678912345";

// Nothing was written into the record: what the probe promises when it sends
// nothing.
inline bool allZero(const EchoReply &reply)
{
    const auto bytes = std::as_bytes(std::span(&reply, 1));
    return std::all_of(bytes.begin(), bytes.end(), [](std::byte b) { return b == std::byte{}; });
}

inline bool echoesTestPayload(const EchoReply &reply)
{
    return reply.header.dataSize == TestPayload.size() &&
           std::equal(TestPayload.begin(), TestPayload.end(), reply.data.begin(),
                      [](char16_t c, std::byte b) { return c == char16_t(b); });
}
