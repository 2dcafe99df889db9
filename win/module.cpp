#include "win/module.h"

#include <objbase.h>

namespace brosk::win {

HINSTANCE gModule = nullptr;
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

std::wstring modulePath() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD n = GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

HRESULT setClassesKey(const std::wstring& key, const std::wstring& value, const wchar_t* name,
                      const std::wstring& named) {
  HKEY handle = nullptr;
  LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE, nullptr, &handle, nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  auto set = [&](const wchar_t* valueName, const std::wstring& data) {
    return RegSetValueExW(handle, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                          static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  };
  rc = set(nullptr, value);
  if (rc == ERROR_SUCCESS && name) rc = set(name, named);
  RegCloseKey(handle);
  return HRESULT_FROM_WIN32(rc);
}

HRESULT removeClassesKey(const std::wstring& key) {
  const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

std::wstring guidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

HRESULT ModuleFactory::QueryInterface(REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IClassFactory) {
    *out = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

HRESULT ModuleFactory::LockServer(BOOL lock) {
  lock ? ++gLocks : --gLocks;
  return S_OK;
}

}  // namespace brosk::win

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) brosk::win::gModule = instance;
  return TRUE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  return brosk::win::gObjects == 0 && brosk::win::gLocks == 0 ? S_OK : S_FALSE;
}
