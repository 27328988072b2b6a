#pragma once

namespace net::helper {

// Leaves this process able to open raw ICMP sockets and nothing more: every
// capability but CAP_NET_RAW is dropped from the effective, permitted and
// bounding sets (the bounding set where the process may change it),
// inheritable and ambient ones are cleared, no_new_privs is set, executing
// any program is refused by a seccomp filter, and inherited descriptors other
// than the standard three are closed. Returns false when any step failed,
// and the process must then not go on.
bool keepOnlyRawSockets() noexcept;

} // namespace net::helper
