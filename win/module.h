// State of the loaded DLL: its module handle and the count of live objects and locks
// that DllCanUnloadNow answers from.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

namespace brosk::win {

extern HINSTANCE gModule;
extern std::atomic<long> gObjects;
extern std::atomic<long> gLocks;

// The full path of this DLL.
std::wstring modulePath();

// Writes a registry key under HKEY_CLASSES_ROOT with its default value and, when a name
// is given, one more named value.
HRESULT setClassesKey(const std::wstring& key, const std::wstring& value,
                      const wchar_t* name = nullptr, const std::wstring& named = L"");
// Removes a key under HKEY_CLASSES_ROOT with all it holds; a key already gone is fine.
HRESULT removeClassesKey(const std::wstring& key);

std::wstring guidText(const GUID& guid);

}  // namespace brosk::win
