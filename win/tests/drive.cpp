// brosk-drive: a test host for brosk.dll on Windows (or Wine). It creates brosk.Plugin by
// ProgID and calls OnAppStartAfter and SceneCheck through IDispatch by name, as the
// design host does, while a second thread plays the user: it finds the order data
// dialog and the message boxes by their titles, types into the dialog, presses its
// buttons and answers the boxes, all through window messages.
//
//   brosk-drive [--series T] [--quote T] [--customer T] [--point-value T] [--vat T]
//               [--create-folder yes|no] [--cancel | --close] [--keys]
//               [--snapshot FILE]
//   brosk-drive --version-info DLL       prints the version record of DLL
//   brosk-drive --unload-check DLL       checks DllCanUnloadNow around one object
//
// Output: "OnAppStartAfter: RESULT", then each message box as "[TITLE] TEXT" (a
// question with " -> Sí" or " -> No"), then "SceneCheck: RESULT". --keys presses Enter
// and Esc in the dialog first and prints whether it stayed open. Exit status: 0 the
// success message was shown, 1 it was not, 3 a call failed (error on standard error),
// 4 the user's side timed out. With --snapshot the user, once the dialog is up, writes
// the dialog's screen rectangle ("X Y WIDTH HEIGHT") to FILE.rect and waits (up to 60 s)
// for FILE to appear, so that a script can take a picture of it.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "automation/text.h"
#include "dialog/layout.h"

namespace {

using brosk::layout::Id;

std::mutex gOutput;

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

struct Script {
  std::vector<std::pair<Id, std::wstring>> texts;
  bool createFolder = true;
  enum class End { Aceptar, Cancelar, Close } end = End::Aceptar;
  bool keys = false;
  std::wstring snapshot;
};

// The user, on a thread of its own, acting on the windows of the main thread.
class User {
 public:
  User(Script script, DWORD thread) : script_(std::move(script)), thread_(thread) {}
  std::atomic<bool> done{false};
  bool sawSuccess = false;
  bool timedOut = false;

  void run() {
    const DWORD start = GetTickCount();
    DWORD dialogSeen = 0;
    while (!done) {
      if (GetTickCount() - start > 120000) {
        timedOut = true;
        print(u"[timeout] the plug-in's windows did not come or go");
        std::fflush(stdout);
        ExitProcess(4);
      }
      HWND box = nullptr;
      HWND dialog = nullptr;
      find(box, dialog);
      if (box) {
        if (answer(box)) {
          waitGone(box);
        } else {
          Sleep(20);
        }
      } else if (dialog && !acted_) {
        act(dialog);
        dialogSeen = GetTickCount();
      } else if (dialog && GetTickCount() - dialogSeen > 2000) {
        // The script is over and the dialog is still open: the user closes it.
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        waitGone(dialog);
      } else {
        Sleep(20);
      }
    }
  }

 private:
  struct Found {
    DWORD thread;
    HWND box = nullptr;
    HWND dialog = nullptr;
  };

  static BOOL CALLBACK visit(HWND h, LPARAM p) {
    auto* f = reinterpret_cast<Found*>(p);
    if (GetWindowThreadProcessId(h, nullptr) != f->thread || !IsWindowVisible(h)) return TRUE;
    wchar_t cls[64];
    GetClassNameW(h, cls, 64);
    if (std::wstring(cls) != L"#32770") return TRUE;
    if (windowText(h) == L"Datos de presupuesto" &&
        GetDlgItem(h, brosk::layout::controlId(Id::Aceptar)) != nullptr) {
      f->dialog = h;
    } else {
      f->box = h;
    }
    return TRUE;
  }

  void find(HWND& box, HWND& dialog) {
    Found found{thread_};
    EnumWindows(visit, reinterpret_cast<LPARAM>(&found));
    box = found.box;
    dialog = found.dialog;
  }

  static BOOL CALLBACK visitText(HWND child, LPARAM p) {
    wchar_t cls[64];
    GetClassNameW(child, cls, 64);
    const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
    if ((std::wstring(cls) == L"Static" || std::wstring(cls) == L"STATIC") &&
        (style & SS_TYPEMASK) != SS_ICON && GetDlgCtrlID(child) == 0xFFFF) {
      *reinterpret_cast<std::wstring*>(p) = windowText(child);
    }
    return TRUE;
  }

  static std::wstring boxText(HWND box) {
    std::wstring text;
    EnumChildWindows(box, visitText, reinterpret_cast<LPARAM>(&text));
    return text;
  }

  // A message box still being made has no title yet: not ready.
  bool answer(HWND box) {
    const std::wstring title = windowText(box);
    const std::wstring text = boxText(box);
    if (title.empty()) return false;
    std::u16string line = u"[" + fromWide(title) + u"] " + fromWide(text);
    int button = IDOK;
    if (GetDlgItem(box, IDYES)) {
      button = script_.createFolder ? IDYES : IDNO;
      line += button == IDYES ? u" -> Sí" : u" -> No";
    }
    if (title == L"¡¡Exito!!") sawSuccess = true;
    print(line);
    PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
    return true;
  }

  void act(HWND dialog) {
    acted_ = true;
    if (!script_.snapshot.empty()) holdForSnapshot(dialog);
    for (const auto& [id, text] : script_.texts) {
      SendMessageTimeoutW(GetDlgItem(dialog, brosk::layout::controlId(id)), WM_SETTEXT, 0,
                          reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 5000, nullptr);
    }
    if (script_.keys) {
      for (const WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        HWND edit = GetDlgItem(dialog, brosk::layout::controlId(Id::NumPedido));
        PostMessageW(edit, WM_KEYDOWN, key, 1);
        PostMessageW(edit, WM_KEYUP, key, 0xC0000001);
      }
      Sleep(500);
      print(IsWindow(dialog) && IsWindowVisible(dialog)
                ? u"[keys] el diálogo sigue abierto tras Intro y Esc"
                : u"[keys] Intro o Esc cerró el diálogo");
    }
    switch (script_.end) {
      case Script::End::Aceptar:
        PostMessageW(GetDlgItem(dialog, brosk::layout::controlId(Id::Aceptar)), BM_CLICK, 0, 0);
        break;
      case Script::End::Cancelar:
        PostMessageW(GetDlgItem(dialog, brosk::layout::controlId(Id::Cancelar)), BM_CLICK, 0, 0);
        break;
      case Script::End::Close:
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        break;
    }
  }

  void holdForSnapshot(HWND dialog) {
    Sleep(300);  // let it paint
    RECT r;
    GetWindowRect(dialog, &r);
    FILE* f = _wfopen((script_.snapshot + L".rect").c_str(), L"w");
    if (f) {
      std::fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
      std::fclose(f);
    }
    for (int i = 0;
         i < 3000 && GetFileAttributesW(script_.snapshot.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) {
      Sleep(20);
    }
  }

  static void waitGone(HWND h) {
    for (int i = 0; i < 500 && IsWindow(h) && IsWindowVisible(h); ++i) Sleep(20);
  }

  Script script_;
  DWORD thread_;
  bool acted_ = false;
};

struct CallResult {
  bool ok = false;
  std::u16string text;
};

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
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO info{};
  hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info,
                      nullptr);
  if (hr == DISP_E_EXCEPTION) {
    const auto code = static_cast<unsigned long>(info.scode);
    const long number =
        (code & 0xFFFF0000ul) == 0x800A0000ul ? static_cast<long>(code & 0xFFFF) : info.scode;
    std::u16string text = u"error " + brosk::decimal(number) + u": " +
                          (info.bstrDescription ? fromWide(info.bstrDescription) : u"");
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    return {false, text};
  }
  if (FAILED(hr)) return {false, u"HRESULT " + brosk::decimal(hr)};
  std::u16string text = result.vt == VT_BOOL ? brosk::decimal(result.boolVal) : u"?";
  VariantClear(&result);
  return {true, text};
}

int versionInfo(const std::wstring& file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file.c_str(), &ignored);
  if (size == 0) return 1;
  std::vector<BYTE> data(size);
  if (!GetFileVersionInfoW(file.c_str(), 0, size, data.data())) return 1;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
    char line[64];
    std::snprintf(
        line, sizeof line, "FixedFileVersion=%u.%u.%u.%u", unsigned(HIWORD(fixed->dwFileVersionMS)),
        unsigned(LOWORD(fixed->dwFileVersionMS)), unsigned(HIWORD(fixed->dwFileVersionLS)),
        unsigned(LOWORD(fixed->dwFileVersionLS)));
    print(brosk::fromUtf8(line));
  }
  WORD* translation = nullptr;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < 4) {
    return 1;
  }
  wchar_t block[32];
  swprintf(block, 32, L"%04X%04X", translation[0], translation[1]);
  print(u"Translation=" + fromWide(block));
  for (const wchar_t* key : {L"FileVersion", L"ProductVersion", L"InternalName",
                             L"OriginalFilename", L"OLESelfRegister"}) {
    wchar_t* value = nullptr;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\") + block + L"\\" + key;
    if (VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length)) {
      print(fromWide(key) + u"=" + fromWide(value ? std::wstring(value) : L""));
    } else {
      print(fromWide(key) + u" missing");
    }
  }
  return 0;
}

// DllCanUnloadNow says no while an object or a lock is alive, and yes afterwards.
int unloadCheck(const std::wstring& file) {
  HMODULE module = LoadLibraryW(file.c_str());
  if (!module) return 1;
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  using CanUnload = HRESULT(__stdcall*)();
  auto getClassObject = reinterpret_cast<GetClassObject>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  auto canUnload = reinterpret_cast<CanUnload>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
  CLSID clsid;
  if (!getClassObject || !canUnload || FAILED(CLSIDFromProgID(L"brosk.Plugin", &clsid))) return 1;
  IClassFactory* factory = nullptr;
  if (FAILED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory))))
    return 1;
  const HRESULT before = canUnload();
  IDispatch* object = nullptr;
  if (FAILED(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&object))))
    return 1;
  const HRESULT alive = canUnload();
  object->Release();
  factory->LockServer(TRUE);
  const HRESULT locked = canUnload();
  factory->LockServer(FALSE);
  factory->Release();
  const HRESULT after = canUnload();
  char line[96];
  std::snprintf(line, sizeof line, "unload: before=%ld alive=%ld locked=%ld after=%ld",
                static_cast<long>(before), static_cast<long>(alive), static_cast<long>(locked),
                static_cast<long>(after));
  print(brosk::fromUtf8(line));
  return before == S_OK && alive == S_FALSE && locked == S_FALSE && after == S_OK ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Script script;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(brosk::toUtf8(std::u16string(argv[i], argv[i] + wcslen(argv[i]))));
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    auto text = [&](Id id) { script.texts.emplace_back(id, toWide(args[++i])); };
    if (a == "--version-info" && hasValue) return versionInfo(toWide(args[i + 1]));
    if (a == "--unload-check" && hasValue) return unloadCheck(toWide(args[i + 1]));
    if (a == "--series" && hasValue)
      text(Id::Tipo);
    else if (a == "--quote" && hasValue)
      text(Id::NumPedido);
    else if (a == "--customer" && hasValue)
      text(Id::CodCliente);
    else if (a == "--point-value" && hasValue)
      text(Id::ValorPunto);
    else if (a == "--vat" && hasValue)
      text(Id::Iva);
    else if (a == "--create-folder" && hasValue)
      script.createFolder = args[++i] == "yes";
    else if (a == "--cancel")
      script.end = Script::End::Cancelar;
    else if (a == "--close")
      script.end = Script::End::Close;
    else if (a == "--keys")
      script.keys = true;
    else if (a == "--snapshot" && hasValue)
      script.snapshot = toWide(args[++i]);
    else {
      std::fprintf(stderr, "brosk-drive: unknown argument %s\n", a.c_str());
      return 2;
    }
  }

  CLSID clsid;
  IDispatch* plugin = nullptr;
  if (FAILED(CLSIDFromProgID(L"brosk.Plugin", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&plugin)))) {
    std::fprintf(stderr, "brosk-drive: cannot create brosk.Plugin\n");
    return 3;
  }
  User user(script, GetCurrentThreadId());
  std::thread userThread([&] { user.run(); });
  int status = 0;
  const CallResult start = callByName(plugin, L"OnAppStartAfter", 1);
  print(u"OnAppStartAfter: " + start.text);
  const CallResult check = start.ok ? callByName(plugin, L"SceneCheck", 1) : start;
  if (start.ok) print(u"SceneCheck: " + check.text);
  user.done = true;
  userThread.join();
  plugin->Release();
  if (!start.ok || !check.ok) {
    std::fprintf(stderr, "brosk-drive: %s\n", brosk::toUtf8(check.text).c_str());
    status = 3;
  } else {
    status = user.sawSuccess ? 0 : 1;
  }
  CoUninitialize();
  return status;
}
