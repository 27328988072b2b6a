#pragma once

#include <cstddef>

namespace net {

// Room for descriptors. A process that runs out of them fails in places
// that cannot say so (a thread's event loop aborts without one), so what
// needs a few asks first, and the program starts with as many as the
// system grants it.

// Raises the soft limit on open descriptors to the hard one, as servers do,
// and remembers the limit the process was started with. Called once, at
// start, before any thread exists.
void raiseDescriptorLimit() noexcept;

// Gives a child, between fork and exec, the limit its parent was started
// with: programs that still use select() break above 1024. Only
// async-signal-safe calls.
void restoreStartingDescriptorLimit() noexcept;

// The soft limit now: how many descriptors the process may hold.
std::size_t descriptorLimit() noexcept;

// Whether count more descriptors (up to 16) could be had now; each is
// opened and closed again to find out.
bool descriptorsToSpare(int count) noexcept;

} // namespace net
