// For a test build of brosk.dll only, never shipped: the DLL's allocator, with the Nth
// allocation from a chosen moment failing as an exhausted heap would, so that a test can
// make every allocation of an entry point fail in turn.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

// Allocations left before the one that fails; 0 when none is to fail.
std::atomic<long> gCountdown{0};
// Whether the chosen allocation has failed since the countdown was set.
std::atomic<bool> gFailed{false};

void* allocate(std::size_t size) {
  if (gCountdown.load() > 0 && gCountdown.fetch_sub(1) == 1) {
    gFailed = true;
    return nullptr;
  }
  return std::malloc(size ? size : 1);
}

}  // namespace

// The `n`th allocation from now fails (0: none does).
extern "C" __declspec(dllexport) void __stdcall BroskFailAllocation(long n) {
  gFailed = false;
  gCountdown = n;
}

// Whether the allocation chosen last has failed.
extern "C" __declspec(dllexport) BOOL __stdcall BroskAllocationFailed() {
  return gFailed ? TRUE : FALSE;
}

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
