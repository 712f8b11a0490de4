// Counts every heap allocation of the process while counting is on, C and C++ alike.
#pragma once

#include <cstddef>

void startCountingAllocations();
std::size_t stopCountingAllocations();
