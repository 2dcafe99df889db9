#include "win/registry.h"

#include "platform/unique_any.h"

namespace brosk::win {
namespace {

constexpr REGSAM kOwnView = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
constexpr REGSAM kOtherView = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;

std::wstring classes(const std::wstring& key) {
  return L"Software\\Classes\\" + key;
}

using Key = unique_any<HKEY, &::RegCloseKey>;

}  // namespace

ClassesKeys::ClassesKeys(Scope scope, View view)
    : root_(scope == Scope::Machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER),
      view_(view == View::Own ? kOwnView : kOtherView) {}

HRESULT ClassesKeys::set(const std::wstring& key, const wchar_t* name,
                         const std::wstring& value) const {
  Key handle;
  LONG rc = RegCreateKeyExW(root_, classes(key).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_WRITE | view_, nullptr, handle.put(), nullptr);
  if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
  rc = RegSetValueExW(handle.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  return HRESULT_FROM_WIN32(rc);
}

HRESULT writeValues(const ClassesKeys& keys, std::span<const RegistryValue> values) {
  for (const RegistryValue& v : values) {
    if (FAILED(keys.set(v.key, v.name, v.value))) return v.failure;
  }
  return S_OK;
}

std::optional<std::wstring> ClassesKeys::get(const std::wstring& key, const wchar_t* name) const {
  Key handle;
  if (RegOpenKeyExW(root_, classes(key).c_str(), 0, KEY_QUERY_VALUE | view_, handle.put()) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(handle.get(), name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return std::nullopt;
  }
  std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
  if (RegQueryValueExW(handle.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value.data()),
                       &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  value.resize(bytes / sizeof(wchar_t));
  while (!value.empty() && value.back() == L'\0') value.pop_back();
  return value;
}

bool ClassesKeys::exists(const std::wstring& key) const {
  Key handle;
  return RegOpenKeyExW(root_, classes(key).c_str(), 0, KEY_QUERY_VALUE | view_, handle.put()) ==
         ERROR_SUCCESS;
}

HRESULT ClassesKeys::remove(const std::wstring& key) const {
  const std::wstring path = classes(key);
  {
    Key handle;
    const LONG rc = RegOpenKeyExW(root_, path.c_str(), 0, KEY_ALL_ACCESS | view_, handle.put());
    if (rc == ERROR_FILE_NOT_FOUND) return S_OK;
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    // Everything below the key, in the key's own view; then the key itself.
    const LONG tree = RegDeleteTreeW(handle.get(), nullptr);
    if (tree != ERROR_SUCCESS && tree != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(tree);
  }
  const LONG rc = RegDeleteKeyExW(root_, path.c_str(), view_, 0);
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(rc);
}

void ClassesKeys::removeIfEmpty(const std::wstring& key) const {
  const std::wstring path = classes(key);
  {
    Key handle;
    if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_QUERY_VALUE | view_, handle.put()) !=
        ERROR_SUCCESS) {
      return;
    }
    DWORD subkeys = 0;
    DWORD values = 0;
    if (RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                         &values, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS ||
        subkeys != 0 || values != 0) {
      return;
    }
  }
  RegDeleteKeyExW(root_, path.c_str(), view_, 0);
}

}  // namespace brosk::win
