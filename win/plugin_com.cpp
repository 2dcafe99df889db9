// brosk.dll: the class Plugin as a COM object with a dual interface whose IDispatch side
// goes through the embedded type library; the class factory and the entry points. Every
// one of them is an entry(): the plug-in works in its own floating-point state and gives
// the caller's back, and its body runs through the boundary (win/boundary.h), so that
// run-time errors leave as HRESULT 0x800A0000 + number with error information and no C++
// exception crosses.
#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>

#include <optional>

#include "automation/error.h"
#include "brosk_h.h"
#include "dialog/win32_view.h"
#include "order/constantes.h"
#include "platform/fp_state.h"
#include "platform/win32_system.h"
#include "plugin/plugin.h"
#include "win/boundary.h"
#include "win/com.h"
#include "win/dispatch.h"
#include "win/module.h"
#include "win/registration.h"
#include "xls/excel_app.h"

namespace brosk::win {
namespace {

// An entry from outside.
template <class Body>
HRESULT entry(REFIID iid, Body&& body) noexcept {
  const FpEntry fp;
  return resultFromException(kProgId, iid, std::forward<Body>(body));
}

// The services every Plugin object of the process uses.
Services& services() {
  static Win32System system;
  static Win32User user(gModule);
  static ObjectFactory factory = [] {
    ObjectFactory f;
    xls::registerExcel(f, systemFileSystem());  // the in-house engine before any class of that name
    f.setFallback(createComObject);
    return f;
  }();
  static Services s{system, user, factory, systemFileSystem()};
  return s;
}

ComPtr<ITypeInfo> loadTypeInfo() {
  ComPtr<ITypeLib> library;
  ComPtr<ITypeInfo> info;
  if (FAILED(LoadTypeLibEx(modulePath().c_str(), REGKIND_NONE, library.put())) ||
      FAILED(library->GetTypeInfoOfGuid(IID__Plugin, info.put()))) {
    throw RuntimeError(err::kAutomation, u"No se puede leer la biblioteca de tipos de brosk.dll");
  }
  return info;
}

// Live Plugin objects of this apartment (a plain count: nothing to destroy).
thread_local long tApartmentPlugins = 0;

class PluginObject final : public ComObject<PluginObject, _Plugin, ISupportErrorInfo> {
 public:
  static constexpr InterfaceEntry<PluginObject> kInterfaces[] = {
      {&IID_IUnknown, &asInterface<PluginObject, _Plugin>},
      {&IID_IDispatch, &asInterface<PluginObject, _Plugin>},
      {&IID__Plugin, &asInterface<PluginObject, _Plugin>},
      {&IID_ISupportErrorInfo, &asInterface<PluginObject, ISupportErrorInfo>},
  };

  PluginObject() : plugin_(services()), typeInfo_(loadTypeInfo()) { ++tApartmentPlugins; }

  // IDispatch, through the type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) noexcept override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) noexcept override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    typeInfo_->AddRef();
    *info = typeInfo_.get();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) noexcept override {
    return entry(IID__Plugin,
                 [&] { return DispGetIDsOfNames(typeInfo_.get(), names, count, ids); });
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* info,
                                   UINT* badArgument) noexcept override {
    // A failing method leaves its description in the thread's error information, which
    // goes to the caller in EXCEPINFO.
    SetErrorInfo(0, nullptr);
    const HRESULT hr = entry(IID__Plugin, [&] {
      return DispInvoke(static_cast<_Plugin*>(this), typeInfo_.get(), id, flags, params, result,
                        info, badArgument);
    });
    return withExceptionInfo(hr, info);
  }

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) noexcept override {
    return riid == IID__Plugin || riid == IID_IDispatch ? S_OK : S_FALSE;
  }

  // _Plugin. The two host commands refuse a call that comes while one runs; the other
  // methods are refused as well then, so that nothing from outside changes the state a
  // running command works on.
  HRESULT STDMETHODCALLTYPE OnAppStartAfter(LONG block, VARIANT_BOOL* result) noexcept override {
    return run(result, [&] { return plugin_.OnAppStartAfter(block); });
  }
  HRESULT STDMETHODCALLTYPE SceneCheck(LONG block, VARIANT_BOOL* result) noexcept override {
    return run(result, [&] { return plugin_.SceneCheck(block); });
  }
  HRESULT STDMETHODCALLTYPE escribirPedido(VARIANT_BOOL* result) noexcept override {
    return run(result, [&] {
      refuseDuringACommand();
      return plugin_.escribirPedido();
    });
  }
  HRESULT STDMETHODCALLTYPE insertarEnLista(BSTR* tip, BSTR* num, short* pos, BSTR* art, BSTR* des,
                                            BSTR* pre) noexcept override {
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
  HRESULT STDMETHODCALLTYPE escribirPRE() noexcept override {
    return run(nullptr, [&] {
      refuseDuringACommand();
      plugin_.escribirPRE();
      return true;
    });
  }
  HRESULT STDMETHODCALLTYPE escribirLPS() noexcept override {
    return run(nullptr, [&] {
      refuseDuringACommand();
      plugin_.escribirLPS();
      return true;
    });
  }

 private:
  ~PluginObject() override {
    const FpEntry fp;  // the host's release is an entry too
    // With the apartment's last Plugin gone, nothing can use the host objects a failed
    // command left in the order state: they are released now, on their own thread,
    // rather than at the thread's or the library's end under the loader lock.
    if (--tApartmentPlugins == 0) releaseHostObjects();
  }

  static void refuseDuringACommand() {
    if (Plugin::commandRunning()) throw RuntimeError(err::kInvalidCall);
  }

  // A _Plugin method: its Boolean result is False unless the body completes.
  template <class Body>
  HRESULT run(VARIANT_BOOL* result, Body body) noexcept {
    if (result) *result = VARIANT_FALSE;
    return entry(IID__Plugin, [&] {
      const bool value = body();
      if (result) *result = value ? VARIANT_TRUE : VARIANT_FALSE;
    });
  }

  Plugin plugin_;
  ComPtr<ITypeInfo> typeInfo_;
};

class Factory : public ClassFactory<Factory> {
 public:
  HRESULT create(REFIID riid, void** out) noexcept {
    return entry(IID_IClassFactory, [&] {
      const ComPtr<PluginObject> object(new PluginObject());
      return object->QueryInterface(riid, out);
    });
  }
};

Factory gFactory;

// The scope DllInstall's command line names: "user" or "machine" (any case).
std::optional<Scope> scopeOf(const wchar_t* commandLine) {
  const std::wstring text = commandLine ? commandLine : L"";
  if (sameFileName(text, L"user")) return Scope::User;
  if (sameFileName(text, L"machine")) return Scope::Machine;
  return std::nullopt;
}

}  // namespace
}  // namespace brosk::win

using namespace brosk::win;

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  return entry(IID_IClassFactory, [&]() -> HRESULT {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_Plugin) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(riid, out);
  });
}

// Per machine, as regsvr32 does it.
extern "C" HRESULT __stdcall DllRegisterServer() {
  return entry(IID_NULL, [] { return registerPlugin(Scope::Machine); });
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  return entry(IID_NULL, [] { return unregisterPlugin(Scope::Machine); });
}

// regsvr32 /n /i:user (and /u /n /i:user) registers (and unregisters) for the current
// user only, under HKCU\Software\Classes, which needs no administrator rights;
// "machine" does what DllRegisterServer does. Without a command line (regsvr32 /i, which
// calls DllRegisterServer as well) there is nothing more to do.
extern "C" HRESULT __stdcall DllInstall(BOOL install, LPCWSTR commandLine) {
  return entry(IID_NULL, [&]() -> HRESULT {
    if (commandLine == nullptr || *commandLine == L'\0') return S_OK;
    const std::optional<Scope> scope = scopeOf(commandLine);
    if (!scope) return E_INVALIDARG;
    return install ? registerPlugin(*scope) : unregisterPlugin(*scope);
  });
}
