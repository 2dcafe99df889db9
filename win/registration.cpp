#include "win/registration.h"

#include <olectl.h>

#include "brosk_h.h"
#include "win/module.h"

namespace brosk::win {
namespace {

// The automation (type library) marshaler of dual interfaces.
constexpr wchar_t kTypeLibMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";
const wchar_t* const kPlatform = sizeof(void*) == 8 ? L"win64" : L"win32";

struct Keys {
  std::wstring clsid = L"CLSID\\" + guidText(CLSID_Plugin);
  std::wstring server = clsid + L"\\InprocServer32";
  std::wstring typeLib = L"TypeLib\\" + guidText(LIBID_brosk);
  std::wstring typeLibVersion = typeLib + L"\\1.0";
  std::wstring typeLibPath = typeLibVersion + L"\\0\\" + kPlatform;
  std::wstring interfaceKey = L"Interface\\" + guidText(IID__Plugin);
};

}  // namespace

HRESULT registerPlugin(Scope scope) {
  const Keys k;
  const std::wstring path = modulePath();
  const std::wstring libid = guidText(LIBID_brosk);
  const RegistryValue values[] = {
      {kProgId, nullptr, kProgId, SELFREG_E_CLASS},
      {std::wstring(kProgId) + L"\\CLSID", nullptr, guidText(CLSID_Plugin), SELFREG_E_CLASS},
      {k.clsid, nullptr, kProgId, SELFREG_E_CLASS},
      {k.server, nullptr, path, SELFREG_E_CLASS},
      {k.server, L"ThreadingModel", L"Apartment", SELFREG_E_CLASS},
      {k.clsid + L"\\ProgID", nullptr, kProgId, SELFREG_E_CLASS},
      {k.clsid + L"\\VERSION", nullptr, L"1.0", SELFREG_E_CLASS},
      {k.clsid + L"\\TypeLib", nullptr, libid, SELFREG_E_CLASS},
      {k.clsid + L"\\Programmable", nullptr, L"", SELFREG_E_CLASS},
      {k.typeLibVersion, nullptr, L"brosk", SELFREG_E_TYPELIB},
      {k.typeLibVersion + L"\\FLAGS", nullptr, L"0", SELFREG_E_TYPELIB},
      {k.typeLibPath, nullptr, path, SELFREG_E_TYPELIB},
      {k.interfaceKey, nullptr, L"_Plugin", SELFREG_E_TYPELIB},
      {k.interfaceKey + L"\\ProxyStubClsid", nullptr, kTypeLibMarshaler, SELFREG_E_TYPELIB},
      {k.interfaceKey + L"\\ProxyStubClsid32", nullptr, kTypeLibMarshaler, SELFREG_E_TYPELIB},
      {k.interfaceKey + L"\\TypeLib", nullptr, libid, SELFREG_E_TYPELIB},
      {k.interfaceKey + L"\\TypeLib", L"Version", L"1.0", SELFREG_E_TYPELIB},
  };
  return writeValues(ClassesKeys(scope, View::Own), values);
}

HRESULT unregisterPlugin(Scope scope) {
  const Keys k;
  const ClassesKeys own(scope, View::Own);
  const ClassesKeys other(scope, View::Other);
  HRESULT result = S_OK;
  auto check = [&](HRESULT hr, HRESULT failure) {
    if (FAILED(hr)) result = failure;
  };
  // The class entry, when it is this DLL's (or names no DLL at all).
  const std::optional<std::wstring> server = own.get(k.server);
  if (!server || sameFileName(*server, modulePath())) check(own.remove(k.clsid), SELFREG_E_CLASS);
  check(own.remove(k.typeLibPath), SELFREG_E_TYPELIB);

  // The keys both bitnesses use go with the last registration of the scope.
  if (own.get(k.server) || other.get(k.server)) return result;
  for (const ClassesKeys* view : {&own, &other}) {
    check(view->remove(kProgId), SELFREG_E_CLASS);
    check(view->remove(k.clsid), SELFREG_E_CLASS);
    check(view->remove(k.typeLib), SELFREG_E_TYPELIB);
    check(view->remove(k.interfaceKey), SELFREG_E_TYPELIB);
    // The folders of every class, type library and interface, when registering made them
    // (a new user's profile has none): as Windows Installer does, an empty one goes.
    for (const wchar_t* folder : {L"CLSID", L"TypeLib", L"Interface"}) view->removeIfEmpty(folder);
  }
  return result;
}

}  // namespace brosk::win
