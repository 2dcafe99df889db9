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
#include "platform/fp_state.h"
#include "platform/unique_any.h"
#include "sim/host.h"
#include "win/boundary.h"
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

using unique_file = unique_any<FILE*, &std::fclose>;

std::string readFile(const std::wstring& path) {
  const unique_file f(_wfopen(path.c_str(), L"rb"));
  if (!f)
    throw sim::SceneError(toUtf8(std::u16string(path.begin(), path.end())) + ": cannot be opened");
  std::string text;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0;)
    text.append(buffer, n);
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
    const unique_file f(_wfopen(trace_.c_str(), L"ab"));
    if (!f) return;
    for (; written_ < trace.size(); ++written_) {
      const std::string line = trace[written_].dump() + "\n";
      std::fwrite(line.data(), 1, line.size(), f.get());
    }
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
  explicit Traced(ObjectRef inner) : inner_(std::move(inner)) {}
  ~Traced() override {
    inner_.reset();
    try {
      session().flush();
    } catch (...) {
      // the trace file misses the release; the test that reads it says so
    }
  }
  Variant call(std::u16string_view name, CallKind kind, std::span<const Arg> args) override {
    struct Flush {
      ~Flush() { session().flush(); }
    } flush;
    if (const std::wstring x87 = environment(L"KDSIM_X87"); !x87.empty()) {
      const auto word = static_cast<std::uint16_t>(std::wcstoul(x87.c_str(), nullptr, 16));
      setFpControl({word, readFpControl().mxcsr});
    }
    return inner_->call(name, kind, args);
  }

 private:
  ObjectRef inner_;
};

class Factory : public ClassFactory<Factory> {
 public:
  explicit Factory(const char16_t* progId) : progId_(progId) {}
  HRESULT create(REFIID riid, void** out) noexcept {
    return resultFromException(L"kdsim", IID_IDispatch, [&] {
      struct Flush {
        ~Flush() {
          try {
            session().flush();
          } catch (...) {
            // as in Traced
          }
        }
      } flush;
      try {
        ObjectRef object = std::make_shared<Traced>(session().host().create(progId_));
        const ComPtr<IDispatch> dispatch(exposeObject(std::move(object), L"kdsim"));
        return dispatch->QueryInterface(riid, out);
      } catch (const sim::SceneError& e) {
        // A scene file that cannot be read: the caller learns why.
        throw RuntimeError(err::kAutomation, fromUtf8(e.what()));
      }
    });
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
  const std::wstring key = L"CLSID\\" + id;
  const RegistryValue values[] = {
      {progId, nullptr, progId, SELFREG_E_CLASS},
      {std::wstring(progId) + L"\\CLSID", nullptr, id, SELFREG_E_CLASS},
      {key, nullptr, progId, SELFREG_E_CLASS},
      {key + L"\\InprocServer32", nullptr, modulePath(), SELFREG_E_CLASS},
      {key + L"\\InprocServer32", L"ThreadingModel", L"Apartment", SELFREG_E_CLASS},
      {key + L"\\ProgID", nullptr, progId, SELFREG_E_CLASS},
  };
  return writeValues(gKeys, values);
}

}  // namespace
}  // namespace brosk::win

using namespace brosk::win;

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** out) {
  return resultFromException(L"kdsim", IID_IClassFactory, [&]() -> HRESULT {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (clsid == kAppliClsid) return gAppli.QueryInterface(riid, out);
    if (clsid == kSceneClsid) return gScene.QueryInterface(riid, out);
    return CLASS_E_CLASSNOTAVAILABLE;
  });
}

extern "C" HRESULT __stdcall DllRegisterServer() {
  return resultFromException(L"kdsim", IID_NULL, [] {
    const HRESULT hr = registerClass(L"KDSDK.Appli", kAppliClsid);
    return FAILED(hr) ? hr : registerClass(L"KDSDK.Scene", kSceneClsid);
  });
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  return resultFromException(L"kdsim", IID_NULL, [] {
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
  });
}
