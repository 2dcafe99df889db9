#include "win/tests/drive/common.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "automation/error.h"
#include "automation/text.h"
#include "tests/host_fp.h"

namespace drive {

namespace {
std::mutex gOutput;
}  // namespace

void print(const std::u16string& line) {
  const std::string utf8 = brosk::toUtf8(line) + "\n";
  const std::lock_guard<std::mutex> lock(gOutput);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  std::fflush(stdout);
}

std::u16string fromWide(const std::wstring& w) {
  return std::u16string(w.begin(), w.end());
}

std::wstring toWide(const std::string& utf8) {
  const std::u16string s = brosk::fromUtf8(utf8);
  return std::wstring(s.begin(), s.end());
}

std::wstring windowText(HWND h) {
  wchar_t buffer[4096];
  const int n = GetWindowTextW(h, buffer, 4096);
  return std::wstring(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::u16string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return brosk::fromUtf8(text);
}

std::optional<FpControlWords> hostState(const std::string& name) {
  return brosk::testing::hostFpState(name, brosk::testing::kWindowsNormal);
}

bool sameControl(const FpControlWords& a, const FpControlWords& b) {
  return a.x87 == b.x87 && (a.mxcsr & ~0x3Fu) == (b.mxcsr & ~0x3Fu);
}

Invocation invokeByName(IDispatch* object, const wchar_t* name, std::vector<VARIANTARG> args) {
  Invocation call;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  call.hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(call.hr)) return call;
  call.found = true;
  std::reverse(args.begin(), args.end());  // DISPPARAMS holds the last argument first
  DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
  EXCEPINFO info{};
  call.hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                           call.result.addressof(), &info, nullptr);
  const brosk::win::unique_bstr description(info.bstrDescription), source(info.bstrSource),
      help(info.bstrHelpFile);
  if (call.hr == DISP_E_EXCEPTION) {
    call.number = brosk::vbNumber(info.scode);
    call.description = brosk::win::fromBstr(description.get());
  }
  return call;
}

CallResult callByName(IDispatch* object, const wchar_t* name, LONG argument) {
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = argument;
  const Invocation call = invokeByName(object, name, {arg});
  if (!call.found) return {false, u"GetIDsOfNames failed"};
  if (call.hr == DISP_E_EXCEPTION) {
    return {false, u"error " + brosk::decimal(call.number) + u": " + call.description};
  }
  if (FAILED(call.hr)) return {false, u"HRESULT " + brosk::decimal(call.hr)};
  const VARIANT& result = call.result.get();
  return {true, result.vt == VT_BOOL ? brosk::decimal(result.boolVal) : u"?"};
}

HRESULT createFromDll(HMODULE module, const CLSID& clsid, ComPtr<IDispatch>& plugin) {
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  const auto getClassObject =
      module ? entryOf<GetClassObject>(module, "DllGetClassObject") : nullptr;
  if (!getClassObject) return E_FAIL;
  ComPtr<IClassFactory> factory;
  const HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.putVoid());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, IID_IDispatch, plugin.putVoid());
}

namespace {

std::wstring userClassesValue(const std::wstring& key) {
  wchar_t value[1024];
  DWORD bytes = sizeof value;
  const std::wstring path = L"Software\\Classes\\" + key;
  if (RegGetValueW(HKEY_CURRENT_USER, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value,
                   &bytes) != ERROR_SUCCESS) {
    return {};
  }
  return value;
}

}  // namespace

ComPtr<IDispatch> createPlugin(bool fromUserRegistry, const std::wstring& dll) {
  CLSID clsid;
  ComPtr<IDispatch> plugin;
  if (!dll.empty()) {
    if (SUCCEEDED(CLSIDFromString(kClsid, &clsid))) {
      createFromDll(LoadLibraryW(dll.c_str()), clsid, plugin);
    }
    return plugin;
  }
  if (fromUserRegistry) {
    const std::wstring clsidText = userClassesValue(std::wstring(kProgId) + L"\\CLSID");
    const std::wstring server = userClassesValue(L"CLSID\\" + clsidText + L"\\InprocServer32");
    if (server.empty() || FAILED(CLSIDFromString(clsidText.c_str(), &clsid))) return plugin;
    createFromDll(LoadLibraryW(server.c_str()), clsid, plugin);
    return plugin;
  }
  if (SUCCEEDED(CLSIDFromProgID(kProgId, &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, plugin.putVoid());
  }
  return plugin;
}

}  // namespace drive
