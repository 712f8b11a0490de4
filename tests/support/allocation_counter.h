// Counts every heap allocation of the process while counting is on, C and C++
// alike. Linking this file replaces malloc and friends for the whole program.
#pragma once

#include <cstddef>

// A sanitizer brings its own malloc; under one nothing is counted.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIVO_COUNTS_ALLOCATIONS 0
#else
#define KIVO_COUNTS_ALLOCATIONS 1
#endif

void startCountingAllocations();
std::size_t stopCountingAllocations();
