// Replaces the global operator new and delete of this binary only. One
// thread: plain counters.
#include "bench/alloc_counter.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

quib::bench::AllocationCount g_count;

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  ++g_count.Calls;
  g_count.LiveBytes += static_cast<std::int64_t>(malloc_usable_size(block));
  return block;
}

void Release(void* block) noexcept {
  if (block == nullptr) return;
  g_count.LiveBytes -= static_cast<std::int64_t>(malloc_usable_size(block));
  std::free(block);
}

}  // namespace

namespace quib::bench {

AllocationCount Allocations() { return g_count; }

}  // namespace quib::bench

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return operator new(size, std::nothrow);
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
