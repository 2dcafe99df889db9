// State of the loaded DLL: its module handle and the counts of live objects and locks
// that DllCanUnloadNow answers from.
#pragma once

#include <objbase.h>
#include <windows.h>

#include <atomic>
#include <string>

namespace brosk::win {

extern HINSTANCE gModule;
extern std::atomic<long> gObjects;
extern std::atomic<long> gLocks;

// The full path of this DLL.
std::wstring modulePath();

std::wstring guidText(const GUID& guid);

// DllMain (it keeps the module handle and frees the threads' module state) and
// DllCanUnloadNow (true when no object and no lock is alive) are defined in module.cpp
// for both DLLs.

}  // namespace brosk::win
