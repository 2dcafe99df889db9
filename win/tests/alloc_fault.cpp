// For the test build of brosk.dll only, never shipped: its allocator fails the Nth
// allocation on request (tests/failing_allocator.cpp), driven from outside through these
// two exports, so that a test can make every allocation of an entry point fail in turn.
#include <windows.h>

#include "tests/failing_allocator.h"

// The `n`th allocation from now fails (0: none does).
extern "C" __declspec(dllexport) void __stdcall BroskFailAllocation(long n) {
  brosk::testing::failAllocation(n);
}

// Whether the allocation chosen last has failed.
extern "C" __declspec(dllexport) BOOL __stdcall BroskAllocationFailed() {
  return brosk::testing::allocationFailed() ? TRUE : FALSE;
}
