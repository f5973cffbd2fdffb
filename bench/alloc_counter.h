// Counts every call of the global operator new in the benchmark binary, and
// the heap bytes alive, so that a benchmark can tell what a piece of work
// allocates.
#pragma once

#include <cstdint>

namespace quib::bench {

struct AllocationCount {
  std::uint64_t Calls = 0;     // operator new calls so far
  std::int64_t LiveBytes = 0;  // usable bytes of the blocks not yet deleted
};

AllocationCount Allocations();

}  // namespace quib::bench
