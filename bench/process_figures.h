#pragma once

#include <cstddef>

// What the kernel says this process holds.
std::size_t residentBytes();
int openDescriptors();
double cpuSeconds();
