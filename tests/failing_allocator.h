// An allocator for test programs and test builds only: operator new and delete over
// malloc and free, with the Nth allocation from a chosen moment failing as an exhausted
// heap would. Linking failing_allocator.cpp into a program or DLL replaces its allocator.
#pragma once

namespace brosk::testing {

// The `n`th allocation from now fails (0: none does).
void failAllocation(long n);
// Whether the allocation chosen last has failed.
bool allocationFailed();
// How many allocations have been made so far.
long allocationCount();

}  // namespace brosk::testing
