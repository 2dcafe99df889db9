#include "failing_allocator.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<long> gCountdown{0};  // allocations left before the one that fails; 0: none fails
std::atomic<bool> gFailed{false};
std::atomic<long> gCount{0};

void* allocate(std::size_t size) {
  ++gCount;
  if (gCountdown.load() > 0 && gCountdown.fetch_sub(1) == 1) {
    gFailed = true;
    return nullptr;
  }
  return std::malloc(size ? size : 1);
}

}  // namespace

namespace brosk::testing {

void failAllocation(long n) {
  gFailed = false;
  gCountdown = n;
}

bool allocationFailed() {
  return gFailed;
}

long allocationCount() {
  return gCount;
}

}  // namespace brosk::testing

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
