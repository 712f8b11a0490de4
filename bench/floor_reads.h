// The floor a refresh is measured against: the kernel sources one refresh
// reads, each read once, with nothing parsed and nothing drawn. Both bench
// programs take their floor from here, so they measure against the same reads.
#pragma once

#include <cstddef>

// The text view's sources: the cpu counter, the two network counters (each
// probe collects its own query, so /proc/net/dev twice), the memory figures,
// the root filesystem and the power supplies. Returns the bytes read, so the
// reads cannot be taken for dead code.
std::size_t readTextViewSources();

// The bar view's only source: the memory figures.
std::size_t readBarViewSources();
