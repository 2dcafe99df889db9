#include "win/tests/drive/common.h"

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

CallResult callByName(IDispatch* object, const wchar_t* name, LONG argument) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) return {false, u"GetIDsOfNames failed"};
  VARIANTARG arg;
  VariantInit(&arg);
  arg.vt = VT_I4;
  arg.lVal = argument;
  DISPPARAMS params{&arg, nullptr, 1, 0};
  brosk::win::unique_variant result;
  EXCEPINFO info{};
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                      result.addressof(), &info, nullptr);
  const brosk::win::unique_bstr description(info.bstrDescription), source(info.bstrSource),
      help(info.bstrHelpFile);
  if (hr == DISP_E_EXCEPTION) {
    return {false, u"error " + brosk::decimal(brosk::vbNumber(info.scode)) + u": " +
                       brosk::win::fromBstr(description.get())};
  }
  if (FAILED(hr)) return {false, u"HRESULT " + brosk::decimal(hr)};
  return {true, result.get().vt == VT_BOOL ? brosk::decimal(result.get().boolVal) : u"?"};
}

ComPtr<IDispatch> createFromDll(HMODULE module, const CLSID& clsid) {
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  const auto getClassObject =
      module ? entryOf<GetClassObject>(module, "DllGetClassObject") : nullptr;
  ComPtr<IClassFactory> factory;
  ComPtr<IDispatch> plugin;
  if (getClassObject && SUCCEEDED(getClassObject(clsid, IID_IClassFactory, factory.putVoid()))) {
    factory->CreateInstance(nullptr, IID_IDispatch, plugin.putVoid());
  }
  return plugin;
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

ComPtr<IDispatch> createPlugin(bool fromUserRegistry) {
  CLSID clsid;
  ComPtr<IDispatch> plugin;
  if (fromUserRegistry) {
    const std::wstring clsidText = userClassesValue(std::wstring(kProgId) + L"\\CLSID");
    const std::wstring server = userClassesValue(L"CLSID\\" + clsidText + L"\\InprocServer32");
    if (server.empty() || FAILED(CLSIDFromString(clsidText.c_str(), &clsid))) return plugin;
    return createFromDll(LoadLibraryW(server.c_str()), clsid);
  }
  if (SUCCEEDED(CLSIDFromProgID(kProgId, &clsid))) {
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, plugin.putVoid());
  }
  return plugin;
}

}  // namespace drive
