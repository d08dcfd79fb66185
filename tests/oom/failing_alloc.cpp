// The replaced allocation functions behind FailingAlloc. They are defined in
// the executable, so the libraries under test bind to them as well.
#include "failing_alloc.h"

#include <cerrno>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#  define QUILLON_SANITIZED 1
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#    define QUILLON_SANITIZED 1
#  endif
#endif

namespace {

#ifndef QUILLON_SANITIZED
extern "C" void* __libc_malloc(std::size_t);
inline void* raw_malloc(std::size_t n) { return __libc_malloc(n); }
#else
inline void* raw_malloc(std::size_t n) { return std::malloc(n); }
#endif

bool g_active = false;
bool g_sticky = false;
long g_fail_at = -1;
long g_attempts = 0;
long g_failures = 0;
long g_live = 0;
std::size_t g_largest = 0;

bool fail_now(std::size_t n) {
  if (!g_active) return false;
  if (n > g_largest) g_largest = n;
  const long i = g_attempts++;
  const bool fail = g_fail_at >= 0 && (i == g_fail_at || (g_sticky && i > g_fail_at));
  if (fail) ++g_failures;
  return fail;
}

void* new_block(std::size_t n) {
  if (fail_now(n)) return nullptr;
  void* p = raw_malloc(n == 0 ? 1 : n);
  if (p && g_active) ++g_live;
  return p;
}

void delete_block(void* p) {
  if (p && g_active) --g_live;
  std::free(p);
}

}  // namespace

namespace quillon_test {

FailingAlloc::FailingAlloc(long fail_at, bool sticky) {
  g_fail_at = fail_at;
  g_sticky = sticky;
  g_attempts = 0;
  g_failures = 0;
  g_live = 0;
  g_largest = 0;
  g_active = true;
}
FailingAlloc::~FailingAlloc() { g_active = false; }
long FailingAlloc::attempts() const { return g_attempts; }
long FailingAlloc::failures() const { return g_failures; }
long FailingAlloc::live() const { return g_live; }
std::size_t FailingAlloc::largest() const { return g_largest; }

#ifdef QUILLON_SANITIZED
bool malloc_failures_available() { return false; }
#else
bool malloc_failures_available() { return true; }
#endif

}  // namespace quillon_test

// Blocks from operator new come from malloc below, so one counter sees both.
// Every form of operator new and delete is replaced, so none reaches the
// C++ runtime's own.
void* operator new(std::size_t n) {
  void* p = new_block(n);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return new_block(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return new_block(n); }
void operator delete(void* p) noexcept { delete_block(p); }
void operator delete[](void* p) noexcept { delete_block(p); }
void operator delete(void* p, std::size_t) noexcept { delete_block(p); }
void operator delete[](void* p, std::size_t) noexcept { delete_block(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { delete_block(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { delete_block(p); }

#ifndef QUILLON_SANITIZED
// glibc's own entry points, which its malloc, calloc and realloc are.
extern "C" {
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

void* malloc(std::size_t n) {
  if (fail_now(n)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(n);
}
void* calloc(std::size_t k, std::size_t n) {
  if (fail_now(k * n)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_calloc(k, n);
}
void* realloc(void* p, std::size_t n) {
  if (fail_now(n)) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_realloc(p, n);
}
}
#endif
