// kdsim.dll, a test component that is never shipped: the substitute host as COM classes
// KDSDK.Appli and KDSDK.Scene, so that the real brosk.dll can be driven on Windows (or
// Wine) without the design host. It serves the scene file named by KDSIM_SCENE and
// appends its call trace, as JSON lines, to the file named by KDSIM_TRACE. With
// KDSIM_X87 (a control word in hexadecimal) every call sets the thread's x87 control word
// to it, as a host with a Direct3D 9 view does whenever it draws.
#include <objbase.h>
#include <olectl.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "automation/error.h"
#include "automation/text.h"
#include "sim/host.h"
#include "win/com.h"
#include "win/dispatch.h"
#include "win/module.h"
#include "win/registry.h"

namespace brosk::win {
namespace {

// {2eb6e312-bf7a-4f7b-b3d2-176405a93fbd} KDSDK.Appli, {8ab2e0bd-d41e-428f-8558-d40503e7dbce}
// KDSDK.Scene
constexpr CLSID kAppliClsid = {
    0x2eb6e312, 0xbf7a, 0x4f7b, {0xb3, 0xd2, 0x17, 0x64, 0x05, 0xa9, 0x3f, 0xbd}};
constexpr CLSID kSceneClsid = {
    0x8ab2e0bd, 0xd41e, 0x428f, {0x85, 0x58, 0xd4, 0x05, 0x03, 0xe7, 0xdb, 0xce}};

std::wstring environment(const wchar_t* name) {
  const DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
  if (n == 0) return {};
  std::wstring value(n, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), n));
  return value;
}

std::string readFile(const std::wstring& path) {
  FILE* f = _wfopen(path.c_str(), L"rb");
  if (f == nullptr)
    throw sim::SceneError(toUtf8(std::u16string(path.begin(), path.end())) + ": cannot be opened");
  std::string text;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// The host of this process, made from the scene file on first use.
class Session {
 public:
  sim::Host& host() {
    if (!host_) {
      const std::wstring scene = environment(L"KDSIM_SCENE");
      if (scene.empty()) throw sim::SceneError("KDSIM_SCENE names no scene file");
      const std::string name = toUtf8(std::u16string(scene.begin(), scene.end()));
      host_ = std::make_unique<sim::Host>(sim::parseScene(readFile(scene), name));
      trace_ = environment(L"KDSIM_TRACE");
    }
    return *host_;
  }
  // Appends the trace entries not written yet.
  void flush() {
    if (!host_ || trace_.empty()) return;
    const auto& trace = host_->trace();
    if (written_ >= trace.size()) return;
    FILE* f = _wfopen(trace_.c_str(), L"ab");
    if (f == nullptr) return;
    for (; written_ < trace.size(); ++written_) {
      const std::string line = trace[written_].dump() + "\n";
      std::fwrite(line.data(), 1, line.size(), f);
    }
    std::fclose(f);
  }

 private:
  std::unique_ptr<sim::Host> host_;
  std::wstring trace_;
  std::size_t written_ = 0;
};

Session& session() {
  static Session s;
  return s;
}

// A host object whose calls reach the trace file as they happen.
class Traced : public Object {
 public:
  explicit Traced(ObjectRef inner) : inner_(std::move(inner)) { ++gObjects; }
  ~Traced() override {
    inner_.reset();
    session().flush();
    --gObjects;
  }
  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override {
    struct Flush {
      ~Flush() { session().flush(); }
    } flush;
    if (const std::wstring x87 = environment(L"KDSIM_X87"); !x87.empty()) {
      const auto word = static_cast<unsigned short>(std::wcstoul(x87.c_str(), nullptr, 16));
      asm volatile("fldcw %0" : : "m"(word));
    }
    return inner_->call(name, kind, args);
  }

 private:
  ObjectRef inner_;
};

class Factory : public ModuleFactory {
 public:
  explicit Factory(const char16_t* progId) : progId_(progId) {}
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    try {
      ObjectRef object = std::make_shared<Traced>(session().host().create(progId_));
      session().flush();
      ComPtr<IDispatch> dispatch(exposeObject(std::move(object)));
      return dispatch->QueryInterface(riid, out);
    } catch (const RuntimeError& e) {
      session().flush();
      setErrorInfo(e, L"kdsim", IID_IDispatch);
      return hresultOf(e.number());
    } catch (const std::exception& e) {
      // A scene file that cannot be read: the caller learns why.
      setErrorInfo(RuntimeError(err::kAutomation, fromUtf8(e.what())), L"kdsim", IID_IDispatch);
      return E_FAIL;
    }
  }

 private:
  const char16_t* progId_;
};

Factory gAppli(u"KDSDK.Appli");
Factory gScene(u"KDSDK.Scene");

// Per machine, in this DLL's bitness.
const ClassesKeys gKeys(Scope::Machine, View::Own);

HRESULT registerClass(const wchar_t* progId, const CLSID& clsid) {
  const std::wstring id = guidText(clsid);
  for (HRESULT hr : {gKeys.set(progId, progId), gKeys.set(std::wstring(progId) + L"\\CLSID", id),
                     gKeys.set(L"CLSID\\" + id, progId),
                     gKeys.set(L"CLSID\\" + id + L"\\InprocServer32", modulePath(),
                               L"ThreadingModel", L"Apartment"),
                     gKeys.set(L"CLSID\\" + id + L"\\ProgID", progId)}) {
    if (FAILED(hr)) return SELFREG_E_CLASS;
  }
  return S_OK;
}

}  // namespace
}  // namespace brosk::win

using namespace brosk::win;

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  if (clsid == kAppliClsid) return gAppli.QueryInterface(riid, out);
  if (clsid == kSceneClsid) return gScene.QueryInterface(riid, out);
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  const HRESULT hr = registerClass(L"KDSDK.Appli", kAppliClsid);
  return FAILED(hr) ? hr : registerClass(L"KDSDK.Scene", kSceneClsid);
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  // Where the other bitness's kdsim is registered too, the ProgIDs both share stay.
  const ClassesKeys other(Scope::Machine, View::Other);
  HRESULT result = S_OK;
  for (const auto& [progId, clsid] :
       {std::pair{L"KDSDK.Appli", kAppliClsid}, std::pair{L"KDSDK.Scene", kSceneClsid}}) {
    const std::wstring key = L"CLSID\\" + guidText(clsid);
    if (FAILED(gKeys.remove(key))) result = SELFREG_E_CLASS;
    if (!other.exists(key + L"\\InprocServer32") && FAILED(gKeys.remove(progId))) {
      result = SELFREG_E_CLASS;
    }
  }
  return result;
}
