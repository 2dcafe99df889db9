#include "win/tests/drive/checks.h"

#include <cstdio>
#include <vector>

#include "automation/text.h"
#include "win/tests/drive/common.h"

namespace drive {

namespace {

// The fixed file version, as "FixedFileVersion=A.B.C.D".
void printFixedVersion(const std::vector<BYTE>& data) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed) {
    return;
  }
  char line[64];
  std::snprintf(line, sizeof line, "FixedFileVersion=%u.%u.%u.%u",
                unsigned(HIWORD(fixed->dwFileVersionMS)), unsigned(LOWORD(fixed->dwFileVersionMS)),
                unsigned(HIWORD(fixed->dwFileVersionLS)), unsigned(LOWORD(fixed->dwFileVersionLS)));
  print(brosk::fromUtf8(line));
}

}  // namespace

int versionInfo(const std::wstring& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return 1;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return 1;
  printFixedVersion(data);
  WORD* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < 4) {
    return 1;
  }
  wchar_t block[32];
  swprintf(block, 32, L"%04X%04X", translation[0], translation[1]);
  print(u"Translation=" + fromWide(block));
  for (const wchar_t* key : {L"CompanyName", L"FileVersion", L"ProductVersion", L"InternalName",
                             L"OriginalFilename", L"OLESelfRegister"}) {
    wchar_t* value = nullptr;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + key;
    if (VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
      print(fromWide(key) + u"=" + fromWide(value ? std::wstring(value) : L""));
    } else {
      print(fromWide(key) + u" missing");
    }
  }
  return 0;
}

int unloadCheck(const std::wstring& file) {
  HMODULE module = LoadLibraryW(file.c_str());
  if (!module) return 1;
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  using CanUnload = HRESULT(__stdcall*)();
  const auto getClassObject = entryOf<GetClassObject>(module, "DllGetClassObject");
  const auto canUnload = entryOf<CanUnload>(module, "DllCanUnloadNow");
  CLSID clsid;
  if (!getClassObject || !canUnload || FAILED(CLSIDFromProgID(kProgId, &clsid))) return 1;
  ComPtr<IClassFactory> factory;
  if (FAILED(getClassObject(clsid, IID_IClassFactory, factory.putVoid()))) return 1;
  const HRESULT before = canUnload();
  ComPtr<IDispatch> object;
  if (FAILED(factory->CreateInstance(nullptr, IID_IDispatch, object.putVoid()))) return 1;
  const HRESULT alive = canUnload();
  object = {};
  factory->LockServer(TRUE);
  const HRESULT locked = canUnload();
  factory->LockServer(FALSE);
  factory = {};
  const HRESULT after = canUnload();
  char line[96];
  std::snprintf(line, sizeof line, "unload: before=%ld alive=%ld locked=%ld after=%ld",
                static_cast<long>(before), static_cast<long>(alive), static_cast<long>(locked),
                static_cast<long>(after));
  print(brosk::fromUtf8(line));
  return before == S_OK && alive == S_FALSE && locked == S_FALSE && after == S_OK ? 0 : 1;
}

int shortName(const std::wstring& path) {
  wchar_t shortName[MAX_PATH];
  if (!GetShortPathNameW(path.c_str(), shortName, MAX_PATH)) return 1;
  print(fromWide(shortName));
  return 0;
}

int shareClassesKey(const std::wstring& name) {
  const std::wstring own = L"Software\\Classes\\" + name;
  const std::wstring link = L"Software\\Classes\\Wow6432Node\\" + name;
  const std::wstring target = L"\\Registry\\Machine\\" + own;
  brosk::unique_any<HKEY, &::RegCloseKey> key;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, link.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK | KEY_WOW64_64KEY, nullptr, key.put(),
                      nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  const LONG set = RegSetValueExW(key.get(), L"SymbolicLinkValue", 0, REG_LINK,
                                  reinterpret_cast<const BYTE*>(target.data()),
                                  static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  return set == ERROR_SUCCESS ? 0 : 1;
}

}  // namespace drive
