// Every allocation of every entry point failing in turn.
//
// Loads the test build of brosk.dll whose Nth allocation fails on request and runs each
// entry from outside (the class factory and the object, IDispatch by name, the _Plugin
// methods, registration per machine and per user both ways, the unload query) with its
// first, second, third... allocation failing, until a run allocates no more. Every run
// must come back with an HRESULT: the process living on is the test. A registration that
// failed half way is done again without a fault and must succeed. One line per entry:
// "[alloc] NAME: N allocations, each failing gives an HRESULT (...)". With
// BROSK_ALLOC_TRACE set, each run is named on standard error first, to find a crash.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "automation/text.h"
#include "win/tests/drive/checks.h"
#include "win/tests/drive/common.h"

namespace drive {
namespace {

using Plain = HRESULT(__stdcall*)();

// The test build and the entries it exports.
struct TestBuild {
  HMODULE module = nullptr;
  CLSID clsid{};
  void(__stdcall* fail)(long) = nullptr;  // the Nth allocation from now fails; 0: none
  BOOL(__stdcall* failed)() = nullptr;    // whether the requested failure happened
  Plain canUnload = nullptr, registerServer = nullptr, unregisterServer = nullptr;
  HRESULT(__stdcall* install)(BOOL, LPCWSTR) = nullptr;

  bool load(const std::wstring& file) {
    module = LoadLibraryW(file.c_str());
    if (!module) return false;
    fail = entryOf<decltype(fail)>(module, "BroskFailAllocation");
    failed = entryOf<decltype(failed)>(module, "BroskAllocationFailed");
    canUnload = entryOf<Plain>(module, "DllCanUnloadNow");
    registerServer = entryOf<Plain>(module, "DllRegisterServer");
    unregisterServer = entryOf<Plain>(module, "DllUnregisterServer");
    install = entryOf<decltype(install)>(module, "DllInstall");
    return fail && failed && canUnload && registerServer && unregisterServer && install &&
           SUCCEEDED(CLSIDFromString(kClsid, &clsid));
  }

  HRESULT create(ComPtr<IDispatch>& object) const { return createFromDll(module, clsid, object); }

  // Whether the registration under `root` is whole: the ProgID, the class and its server,
  // the type library and the interface.
  bool whole(HKEY root) const {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(module, path, MAX_PATH);
    auto value = [&](const std::wstring& key, const wchar_t* name = nullptr) {
      wchar_t text[1024];
      DWORD bytes = sizeof text;
      const std::wstring full = L"Software\\Classes\\" + key;
      return RegGetValueW(root, full.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) ==
                     ERROR_SUCCESS
                 ? std::wstring(text)
                 : std::wstring();
    };
    const std::wstring id = kClsid;
    const std::wstring server = L"CLSID\\" + id + L"\\InprocServer32";
    const std::wstring typeLib = L"TypeLib\\{22C6A8B7-F949-477F-BE07-6E33944B6A2C}\\1.0\\0\\";
    return value(std::wstring(kProgId) + L"\\CLSID") == id &&
           lstrcmpiW(value(server).c_str(), path) == 0 &&
           value(server, L"ThreadingModel") == L"Apartment" &&
           lstrcmpiW(value(typeLib + (sizeof(void*) == 8 ? L"win64" : L"win32")).c_str(), path) ==
               0;
  }

  // A registration step done again without a fault: it must succeed and leave the
  // registration whole, or gone when `registered` is false.
  HRESULT mended(HRESULT hr, HKEY root, bool registered) const {
    return FAILED(hr) ? hr : whole(root) == registered ? S_OK : E_FAIL;
  }
};

HRESULT invoke(IDispatch* plugin, const wchar_t* name, std::vector<VARIANTARG> args) {
  return invokeByName(plugin, name, std::move(args)).hr;
}

// insertarEnLista's six arguments by reference: the texts but for the position.
std::vector<VARIANTARG> lineArgs(short& pos, BSTR* texts) {
  std::vector<VARIANTARG> args(6);
  for (int i = 0; i < 6; ++i) {
    VariantInit(&args[i]);
    if (i == 2) {
      args[i].vt = VT_BYREF | VT_I2;
      args[i].piVal = &pos;
    } else {
      args[i].vt = VT_BYREF | VT_BSTR;
      args[i].pbstrVal = &texts[i];
    }
  }
  return args;
}

// insertarEnLista's texts, by reference: the callee may put new strings in their place,
// so the ones there at the end are freed.
struct Texts {
  BSTR raw[6] = {SysAllocString(L"1"), SysAllocString(L"2024"), nullptr,
                 SysAllocString(L"R"), SysAllocString(L"D"),    SysAllocString(L"diez")};
  ~Texts() {
    for (BSTR t : raw) SysFreeString(t);
  }
};

struct Entry {
  const char* name;
  std::function<HRESULT()> run;
  // Done after a failed run, without a fault: it must succeed and leave the registration
  // whole (or whole again after a removal, for the next run).
  std::function<HRESULT()> mend;
};

// Runs one entry with each of its allocations failing in turn; false when a mend failed.
bool failEachAllocation(const TestBuild& build, const Entry& e) {
  bool mendedAll = true;
  std::vector<HRESULT> seen;
  long points = 0;
  for (long n = 1; n < 100000; ++n) {
    if (std::getenv("BROSK_ALLOC_TRACE")) std::fprintf(stderr, "%s %ld\n", e.name, n);
    build.fail(n);
    const HRESULT hr = e.run();
    const bool hit = build.failed();
    build.fail(0);
    if (!hit) break;
    ++points;
    if (std::find(seen.begin(), seen.end(), hr) == seen.end()) seen.push_back(hr);
    if (e.mend && FAILED(e.mend())) {
      print(u"[alloc] " + brosk::fromUtf8(e.name) + u": a retry after allocation " +
            brosk::decimal(n) + u" FAILED");
      mendedAll = false;
    }
  }
  std::u16string results;
  for (const HRESULT hr : seen) results += (results.empty() ? u"" : u" ") + hex(hr, 8);
  print(u"[alloc] " + brosk::fromUtf8(e.name) + u": " + brosk::decimal(points) +
        u" allocations, each failing gives an HRESULT (" + results + u")");
  return mendedAll;
}

}  // namespace

int allocFaults(const std::wstring& file) {
  TestBuild b;
  ComPtr<IDispatch> plugin;
  if (!b.load(file) || FAILED(b.create(plugin))) return 1;
  Texts texts;
  BSTR* raw = texts.raw;
  short badPos = 0;
  short goodPos = 1;
  VARIANTARG block;
  VariantInit(&block);
  block.vt = VT_I4;  // the host's call parameters block
  block.lVal = 1;
  IDispatch* p = plugin.get();
  const std::vector<Entry> entries = {
      {"DllGetClassObject and CreateInstance",
       [&] {
         ComPtr<IDispatch> object;
         return b.create(object);
       },
       nullptr},
      {"GetIDsOfNames",
       [&] {
         LPOLESTR names[] = {const_cast<LPOLESTR>(L"SceneCheck")};
         DISPID id = 0;
         return p->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
       },
       nullptr},
      {"OnAppStartAfter", [&] { return invoke(p, L"OnAppStartAfter", {block}); }, nullptr},
      {"insertarEnLista at line 0 (error 9)",
       [&] { return invoke(p, L"insertarEnLista", lineArgs(badPos, raw)); }, nullptr},
      {"insertarEnLista with a price that is no number (error 13)",
       [&] { return invoke(p, L"insertarEnLista", lineArgs(goodPos, raw)); }, nullptr},
      {"DllCanUnloadNow", [&] { return b.canUnload(); }, nullptr},
      {"DllRegisterServer", b.registerServer,
       [&] { return b.mended(b.registerServer(), HKEY_LOCAL_MACHINE, true); }},
      {"DllUnregisterServer", b.unregisterServer,
       [&] {
         const HRESULT hr = b.mended(b.unregisterServer(), HKEY_LOCAL_MACHINE, false);
         return FAILED(hr) ? hr : b.registerServer();
       }},
      {"DllInstall user", [&] { return b.install(TRUE, L"user"); },
       [&] { return b.mended(b.install(TRUE, L"user"), HKEY_CURRENT_USER, true); }},
      {"DllInstall user, removal", [&] { return b.install(FALSE, L"user"); },
       [&] {
         const HRESULT hr = b.mended(b.install(FALSE, L"user"), HKEY_CURRENT_USER, false);
         return FAILED(hr) ? hr : b.install(TRUE, L"user");
       }},
  };
  int status = 0;
  for (const Entry& e : entries) {
    if (!failEachAllocation(b, e)) status = 1;
  }
  return status;
}

}  // namespace drive
