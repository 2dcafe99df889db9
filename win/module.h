// State of the loaded DLL: its module handle and the count of live objects and locks
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

// Writes a registry key under HKEY_CLASSES_ROOT with its default value and, when a name
// is given, one more named value.
HRESULT setClassesKey(const std::wstring& key, const std::wstring& value,
                      const wchar_t* name = nullptr, const std::wstring& named = L"");
// Removes a key under HKEY_CLASSES_ROOT with all it holds; a key already gone is fine.
HRESULT removeClassesKey(const std::wstring& key);

std::wstring guidText(const GUID& guid);

// A class factory that lives as long as the module: its references count for nothing,
// LockServer keeps the module loaded. Subclasses make the objects.
class ModuleFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;
};

// DllMain (it keeps the module handle) and DllCanUnloadNow (true when no object and no
// lock is alive) are defined in module.cpp for both DLLs.

}  // namespace brosk::win
