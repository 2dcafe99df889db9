// The COM classes keys of one scope (per machine: HKLM\Software\Classes; per user:
// HKCU\Software\Classes) in one registry view. On 64-bit Windows 32-bit and 64-bit
// components see separate CLSID and Interface keys there and share the rest (ProgIDs,
// type libraries); Wine redirects other keys, or none under HKCU. Registration therefore
// names its view explicitly and checks, before removing anything, what the other
// bitness still uses.
#pragma once

#include <windows.h>

#include <optional>
#include <span>
#include <string>

#include "platform/win32_paths.h"

namespace brosk::win {

enum class Scope { Machine, User };
enum class View { Own, Other };  // this DLL's bitness, or the other one

class ClassesKeys {
 public:
  ClassesKeys(Scope scope, View view);

  // Writes one value of a key (its default value when no name is given), making the key.
  HRESULT set(const std::wstring& key, const wchar_t* name, const std::wstring& value) const;
  // A value of a key; none when the key or the value is missing.
  std::optional<std::wstring> get(const std::wstring& key, const wchar_t* name = nullptr) const;
  bool exists(const std::wstring& key) const;
  // Removes a key with all it holds; a key already gone is no error.
  HRESULT remove(const std::wstring& key) const;
  // Removes a key only when it holds nothing: neither values nor subkeys.
  void removeIfEmpty(const std::wstring& key) const;

 private:
  HKEY root_;
  REGSAM view_;
};

// One value a registration writes: under `key`, the default value (no name) or a named one;
// `failure` is what the registration reports when it cannot be written.
struct RegistryValue {
  std::wstring key;
  const wchar_t* name;
  std::wstring value;
  HRESULT failure;
};

// Writes the values in order and stops at the first one that cannot be written, whose
// failure it returns. Writing them again writes the same values: a registration that
// stopped half way is mended by the next.
HRESULT writeValues(const ClassesKeys& keys, std::span<const RegistryValue> values);

}  // namespace brosk::win
