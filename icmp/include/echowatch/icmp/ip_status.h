#pragma once

#include <cstdint>

// The echo service's status codes. The numbers are those of the IP_STATUS
// values the program was first written against, so a code means the same on
// every platform it runs on.
namespace icmp::IpStatus {

inline constexpr std::int32_t Success = 0;
inline constexpr std::int32_t BufTooSmall = 11001;
inline constexpr std::int32_t DestNetUnreachable = 11002;
inline constexpr std::int32_t DestHostUnreachable = 11003;
inline constexpr std::int32_t DestProtUnreachable = 11004;
inline constexpr std::int32_t DestPortUnreachable = 11005;
inline constexpr std::int32_t NoResources = 11006;
inline constexpr std::int32_t BadOption = 11007;
inline constexpr std::int32_t HwError = 11008;
inline constexpr std::int32_t PacketTooBig = 11009;
inline constexpr std::int32_t ReqTimedOut = 11010;
inline constexpr std::int32_t BadReq = 11011;
inline constexpr std::int32_t BadRoute = 11012;
inline constexpr std::int32_t TtlExpiredTransit = 11013;
inline constexpr std::int32_t TtlExpiredReassem = 11014;
inline constexpr std::int32_t ParamProblem = 11015;
inline constexpr std::int32_t SourceQuench = 11016;
inline constexpr std::int32_t OptionTooBig = 11017;
inline constexpr std::int32_t BadDestination = 11018;
inline constexpr std::int32_t AddrDeleted = 11019;
inline constexpr std::int32_t SpecMtuChange = 11020;
inline constexpr std::int32_t MtuChange = 11021;
inline constexpr std::int32_t Unload = 11022;
inline constexpr std::int32_t AddrAdded = 11023;
inline constexpr std::int32_t GeneralFailure = 11050;
inline constexpr std::int32_t Pending = 11255;

} // namespace icmp::IpStatus
