// What the parts of brosk-drive share: output, text, the host's floating-point state,
// calls by name and the making of brosk.Plugin.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/fp_state.h"
#include "win/com.h"

namespace drive {

using brosk::FpControlWords;
using brosk::win::ComPtr;

inline constexpr wchar_t kProgId[] = L"brosk.Plugin";
inline constexpr wchar_t kClsid[] = L"{E2582346-AEE3-4033-BC4A-A085F3419C5B}";

// One line on standard output, whole, from any thread.
void print(const std::u16string& line);

std::u16string fromWide(const std::wstring& w);
std::wstring toWide(const std::string& utf8);
std::wstring windowText(HWND h);
std::u16string hex(unsigned value, int digits);

// The control words a host keeps, by name; none for a name it does not know.
std::optional<FpControlWords> hostState(const std::string& name);
// The control bits only: the exception flags are the host's business.
bool sameControl(const FpControlWords& a, const FpControlWords& b);

struct CallResult {
  bool ok = false;
  std::u16string text;
};

// A method called through IDispatch by name with `args`, the first argument first.
struct Invocation {
  bool found = false;  // the name was known
  HRESULT hr = E_FAIL;
  brosk::win::unique_variant result;
  std::int32_t number = 0;  // the run-time error raised, for DISP_E_EXCEPTION
  std::u16string description;
};
Invocation invokeByName(IDispatch* object, const wchar_t* name, std::vector<VARIANTARG> args);

// A method of one Long argument called by name, as the host calls it: the Boolean it
// returned, or the error it raised.
CallResult callByName(IDispatch* object, const wchar_t* name, LONG argument);

// An exported function of a loaded DLL, as the type it has.
template <class Function>
Function entryOf(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// brosk.Plugin through a DLL's own class factory.
HRESULT createFromDll(HMODULE module, const CLSID& clsid, ComPtr<IDispatch>& plugin);

// brosk.Plugin as the host makes it: by ProgID, or (with `fromUserRegistry`) from the
// per-user registration under HKCU\Software\Classes, as Windows' COM finds it there and
// Wine 8's HKEY_CLASSES_ROOT does not.
ComPtr<IDispatch> createPlugin(bool fromUserRegistry, const std::wstring& dll = {});

}  // namespace drive
