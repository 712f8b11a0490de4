// glibc lets a program replace malloc and friends; these forward to glibc's
// own allocator and count the calls, so allocations made inside the C library
// (fopen, opendir, localtime) are seen too, not just operator new.
#include "support/allocation_counter.h"

#include <atomic>
#include <cstdlib>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<bool> counting{false};
std::atomic<std::size_t> allocations{0};

[[maybe_unused]] void countOne() {
  if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

void startCountingAllocations() {
  allocations = 0;
  counting = true;
}

std::size_t stopCountingAllocations() {
  counting = false;
  return allocations;
}

#if KIVO_COUNTS_ALLOCATIONS
extern "C" {
void* malloc(std::size_t size) noexcept {
  countOne();
  return __libc_malloc(size);
}
void* calloc(std::size_t count, std::size_t size) noexcept {
  countOne();
  return __libc_calloc(count, size);
}
void* realloc(void* block, std::size_t size) noexcept {
  countOne();
  return __libc_realloc(block, size);
}
void* memalign(std::size_t alignment, std::size_t size) noexcept {
  countOne();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  countOne();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** result, std::size_t alignment, std::size_t size) noexcept {
  countOne();
  *result = __libc_memalign(alignment, size);
  return *result != nullptr ? 0 : 12;  // ENOMEM
}
void free(void* block) noexcept { __libc_free(block); }
}
#endif
