// brosk.dll: the class Plugin as a COM object with a dual interface whose IDispatch side
// goes through the embedded type library; the class factory and the entry points.
// Run-time errors leave as HRESULT 0x800A0000 + number with error information; no C++
// exception ever crosses this boundary. Every entry runs inside an FpEntry, in the
// plug-in's own floating-point state, and gives the caller's state back.
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>

#include <new>
#include <optional>

#include "automation/error.h"
#include "brosk_h.h"
#include "dialog/win32_view.h"
#include "order/constantes.h"
#include "platform/fp_state.h"
#include "platform/win32_system.h"
#include "plugin/plugin.h"
#include "win/com.h"
#include "win/dispatch.h"
#include "win/module.h"
#include "win/registration.h"
#include "xls/excel_app.h"

namespace brosk::win {
namespace {

constexpr wchar_t kProgId[] = L"brosk.Plugin";

// The services every Plugin object of the process uses.
Services& services() {
  static Win32System system;
  static Win32User user(gModule);
  static ObjectFactory factory = [] {
    ObjectFactory f;
    xls::registerExcel(
        f, systemFileSystem());  // the in-house engine before any registered class of that name
    f.setFallback(createComObject);
    return f;
  }();
  static Services s{system, user, factory};
  return s;
}

HRESULT loadTypeInfo(ITypeInfo** info) {
  ComPtr<ITypeLib> library;
  const HRESULT hr = LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, library.put());
  if (FAILED(hr)) return hr;
  return library->GetTypeInfoOfGuid(IID__Plugin, info);
}

// Live Plugin objects of this apartment (a plain count: nothing to destroy).
thread_local long tApartmentPlugins = 0;

class PluginObject final : public _Plugin, public ISupportErrorInfo {
 public:
  PluginObject() : plugin_(services()) {
    ++gObjects;
    ++tApartmentPlugins;
  }
  HRESULT init() { return loadTypeInfo(typeInfo_.put()); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    const FpEntry entry;
    if (out == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID__Plugin) {
      *out = static_cast<_Plugin*>(this);
    } else if (riid == IID_ISupportErrorInfo) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const FpEntry entry;
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  // IDispatch, through the type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *info = typeInfo_.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    const FpEntry entry;
    return DispGetIDsOfNames(typeInfo_.get(), names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info, UINT* badArgument) override {
    const FpEntry entry;
    failure_.reset();
    const HRESULT hr = DispInvoke(static_cast<_Plugin*>(this), typeInfo_.get(), id, flags, params,
                                  result, info, badArgument);
    if (FAILED(hr) && failure_ && info != nullptr) {
      *info = EXCEPINFO{};
      info->bstrSource = SysAllocString(kProgId);
      info->bstrDescription = Bstr(failure_->description()).release();
      info->scode = hresultOf(failure_->number());
      return DISP_E_EXCEPTION;
    }
    return hr;
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
    return riid == IID__Plugin || riid == IID_IDispatch ? S_OK : S_FALSE;
  }

  // _Plugin. The two host commands refuse a call that comes while one runs; the other
  // methods are refused as well then, so that nothing from outside changes the state a
  // running command works on.
  HRESULT STDMETHODCALLTYPE OnAppStartAfter(LONG block, VARIANT_BOOL* result) override {
    return run(result, [&] { return plugin_.OnAppStartAfter(block); });
  }
  HRESULT STDMETHODCALLTYPE SceneCheck(LONG block, VARIANT_BOOL* result) override {
    return run(result, [&] { return plugin_.SceneCheck(block); });
  }
  HRESULT STDMETHODCALLTYPE escribirPedido(VARIANT_BOOL* result) override {
    return run(result, [&] {
      refuseDuringACommand();
      return plugin_.escribirPedido();
    });
  }
  HRESULT STDMETHODCALLTYPE insertarEnLista(BSTR* tip, BSTR* num, short* pos, BSTR* art, BSTR* des,
                                            BSTR* pre) override {
    if (!tip || !num || !pos || !art || !des || !pre) return E_POINTER;
    return run(nullptr, [&] {
      refuseDuringACommand();
      std::u16string t = fromBstr(*tip), n = fromBstr(*num), a = fromBstr(*art), d = fromBstr(*des),
                     p = fromBstr(*pre);
      std::int16_t position = *pos;
      plugin_.insertarEnLista(t, n, position, a, d, p);
      return true;
    });
  }
  HRESULT STDMETHODCALLTYPE escribirPRE() override {
    return run(nullptr, [&] {
      refuseDuringACommand();
      plugin_.escribirPRE();
      return true;
    });
  }
  HRESULT STDMETHODCALLTYPE escribirLPS() override {
    return run(nullptr, [&] {
      refuseDuringACommand();
      plugin_.escribirLPS();
      return true;
    });
  }

 private:
  ~PluginObject() {
    // With the apartment's last Plugin gone, nothing can use the host objects a failed
    // command left in the order state: they are released now, on their own thread,
    // rather than at the thread's or the library's end under the loader lock.
    if (--tApartmentPlugins == 0) releaseHostObjects();
    --gObjects;
  }

  static void refuseDuringACommand() {
    if (Plugin::commandRunning()) throw RuntimeError(err::kInvalidCall);
  }

  template <class Body>
  HRESULT run(VARIANT_BOOL* result, Body body) {
    const FpEntry entry;
    if (result) *result = VARIANT_FALSE;
    SetErrorInfo(0, nullptr);
    try {
      const bool value = body();
      if (result) *result = value ? VARIANT_TRUE : VARIANT_FALSE;
      return S_OK;
    } catch (...) {
      RuntimeError e(err::kAutomation);
      try {
        e = currentError();
      } catch (...) {
        // not a C++ standard exception: reported as an automation error
      }
      failure_ = e;
      setErrorInfo(e, kProgId, IID__Plugin);
      return hresultOf(e.number());
    }
  }

  std::atomic<ULONG> refs_{1};
  Plugin plugin_;
  ComPtr<ITypeInfo> typeInfo_;
  std::optional<RuntimeError> failure_;
};

class Factory : public ModuleFactory {
 public:
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    const FpEntry entry;
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    PluginObject* object = nullptr;
    try {
      object = new PluginObject();
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    HRESULT hr = object->init();
    if (SUCCEEDED(hr)) hr = object->QueryInterface(riid, out);
    object->Release();
    return hr;
  }
};

Factory gFactory;

// The scope DllInstall's command line names: "user" or "machine" (any case).
std::optional<Scope> scopeOf(const wchar_t* commandLine) {
  const std::wstring text = commandLine ? commandLine : L"";
  if (sameName(text, L"user")) return Scope::User;
  if (sameName(text, L"machine")) return Scope::Machine;
  return std::nullopt;
}

}  // namespace
}  // namespace brosk::win

using namespace brosk::win;

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  const brosk::FpEntry entry;
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid != CLSID_Plugin) return CLASS_E_CLASSNOTAVAILABLE;
  return gFactory.QueryInterface(riid, out);
}

// Per machine, as regsvr32 does it.
extern "C" HRESULT __stdcall DllRegisterServer() {
  const brosk::FpEntry entry;
  return registerPlugin(Scope::Machine);
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  const brosk::FpEntry entry;
  return unregisterPlugin(Scope::Machine);
}

// regsvr32 /n /i:user (and /u /n /i:user) registers (and unregisters) for the current
// user only, under HKCU\Software\Classes, which needs no administrator rights;
// "machine" does what DllRegisterServer does. Without a command line (regsvr32 /i, which
// calls DllRegisterServer as well) there is nothing more to do.
extern "C" HRESULT __stdcall DllInstall(BOOL install, LPCWSTR commandLine) {
  const brosk::FpEntry entry;
  if (commandLine == nullptr || *commandLine == L'\0') return S_OK;
  const std::optional<Scope> scope = scopeOf(commandLine);
  if (!scope) return E_INVALIDARG;
  return install ? registerPlugin(*scope) : unregisterPlugin(*scope);
}
