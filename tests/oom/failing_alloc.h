// Allocation failure on demand for the out-of-memory tests: while a
// FailingAlloc is alive, the allocations of the process (operator new, and
// malloc where this program may replace it) are counted and the chosen ones
// fail.
#ifndef QUILLON_TESTS_OOM_FAILING_ALLOC_H
#define QUILLON_TESTS_OOM_FAILING_ALLOC_H

#include <cstddef>

namespace quillon_test {

// True when the replaced operator new is the one in use: tools that bring
// their own allocator (valgrind) take its place, and nothing can be failed.
bool new_failures_available();

// True when malloc, calloc and realloc are replaced as well and in use (not
// under a sanitizer or valgrind, whose own allocators stay in charge).
// Blend2D grows paths with malloc, so only then can a path be made to fail
// to grow.
bool malloc_failures_available();

class FailingAlloc {
 public:
  // Fails the allocation with index fail_at (0-based) and, with sticky, every
  // one after it; fail_at < 0 fails none.
  explicit FailingAlloc(long fail_at = -1, bool sticky = false);
  ~FailingAlloc();
  FailingAlloc(const FailingAlloc&) = delete;
  FailingAlloc& operator=(const FailingAlloc&) = delete;

  long attempts() const;  // allocations attempted so far
  long failures() const;  // of those, failed
  long live() const;      // operator new blocks not yet deleted
  size_t largest() const;  // largest request seen
};

}  // namespace quillon_test

#endif  // QUILLON_TESTS_OOM_FAILING_ALLOC_H
