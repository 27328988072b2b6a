#pragma once

namespace helper {

// Closes every inherited descriptor but the standard three, before the
// helper opens its own.
bool closeInheritedDescriptors() noexcept;

// Leaves this process able to use the descriptors it has open and little
// more: every capability set ends empty (effective, permitted, inheritable,
// ambient; the bounding set too where the process may change it),
// no_new_privs is set, and a seccomp filter allows only the system calls the
// helper serves with: no socket() (so no packet socket, whatever code runs
// in it), no execve, no open, no fork. Returns false when any step failed,
// and the process must then not go on.
bool confine() noexcept;

} // namespace helper
