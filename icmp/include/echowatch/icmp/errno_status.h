#pragma once

#include <cstdint>

// How the kernel's refusals become echo statuses. Kept apart from the socket
// code so the table can be read, and tested, on its own.
namespace icmp {

// socket() failed.
std::int32_t statusForOpenError(int error) noexcept;

// The datagram ("ping") socket is closed to us but a raw socket may still work.
bool datagramSocketRefused(int error) noexcept;

// The socket itself is gone (closed under us, or not a socket): a kept
// socket is to be opened again, not used on.
bool socketUnusable(int error) noexcept;

// sendto() failed: the kernel already knows the request cannot go out.
std::int32_t statusForSendError(int error) noexcept;

// A ping socket's pending error (a receive's errno, or SO_ERROR) that no
// queued ICMP error explains: the kernel's errno for the ICMP error it heard.
std::int32_t statusForPendingError(int error) noexcept;

} // namespace icmp
