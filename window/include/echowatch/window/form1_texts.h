#pragma once

#include "echowatch/probe/probe_payload.h"

#include <string_view>

namespace window {

// The window's own words.

using probe::ProbePayload;

inline constexpr std::string_view SocketsNotRespondingText =
    "Windows Sockets for 32 bit Windows environments is not successfully responding.";
inline constexpr std::string_view BadIntervalText =
    "The interval must be a whole number of milliseconds from 1 to 2147483647.";

inline constexpr std::string_view StartCaption = "Start";
inline constexpr std::string_view StopCaption = "Stop";
inline constexpr std::string_view AttributionText =
    "EchoWatch - ICMP echo monitor, by the EchoWatch authors";

// What each input box takes, shown greyed while it is empty.
inline constexpr std::string_view AddressPlaceholder = "IPv4 address";
inline constexpr std::string_view IntervalPlaceholder = "Interval in ms";

inline constexpr std::string_view MillisecondsSuffix = " ms";
inline constexpr std::string_view BytesSuffix = " bytes";
inline constexpr std::string_view LogSeparator = " - ";

// For screen readers. The result labels keep their text as their name, so
// that a reader announces the value; their role goes in the description.
inline constexpr std::string_view AddressName = "Address";
inline constexpr std::string_view IntervalName = "Interval (ms)";
inline constexpr std::string_view FailureLogName = "Failure log";
inline constexpr std::string_view StatusDescription = "Status";
inline constexpr std::string_view RoundTripDescription = "Round-trip time";
inline constexpr std::string_view ReplySizeDescription = "Reply size";

} // namespace window
