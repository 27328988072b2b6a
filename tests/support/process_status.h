#pragma once

#include <string>
#include <sys/types.h>

// The capability sets /proc shows for a process (CapInh, CapPrm, CapEff,
// CapAmb), one "Name:\tvalue" line each, for the tests and the benchmarks
// that check what a process holds.
std::string capabilitySets(pid_t process);
