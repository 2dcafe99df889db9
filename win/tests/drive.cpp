// brosk-drive: a test host for brosk.dll on Windows (or Wine). It creates brosk.Plugin by
// ProgID and calls OnAppStartAfter and SceneCheck through IDispatch by name, as the
// design host does, while a second thread plays the user: it finds the order data
// dialog and the message boxes by their titles, types into the dialog, presses its
// buttons and answers the boxes, all through window messages. Options make it the kinds
// of host a plug-in meets in the field.
//
//   brosk-drive [--series T] [--quote T] [--customer T] [--point-value T] [--vat T]
//               [--create-folder yes|no] [--cancel | --close] [--keys] [--snapshot FILE]
//               [--fpu default|p24|down|up|zero|unmasked] [--host-window] [--worker]
//               [--links N] [--unload]
//   brosk-drive --version-info DLL       prints the version record of DLL
//   brosk-drive --unload-check DLL       checks DllCanUnloadNow around one object
//   brosk-drive --short-name PATH        prints the short (8.3) form of PATH
//   brosk-drive --alloc-faults DLL       every allocation of every entry point of the test
//                                        build DLL failing in turn (see allocFaults)
//
// Output: "OnAppStartAfter: RESULT", then for each showing of the dialog "[dialog]" and
// the texts it opened with, each message box as "[TITLE] TEXT" (a question with " -> Sí"
// or " -> No"), and "SceneCheck: RESULT" after each link. --keys presses Enter and Esc in
// the dialog first and prints whether it stayed open.
//
// The host's kinds:
//   --fpu        the calling thread's floating-point state before the calls: 24-bit x87
//                precision (a Direct3D 9 device), a rounding mode, or the overflow, zero-
//                divide and invalid exceptions unmasked (a Delphi program); after each call
//                "[fpu] CALL: kept" or what changed in the control words.
//   --host-window a visible host window with a timer, owned by the calling thread. At
//                each window of the plug-in the user delivers the host's menu command to
//                it (SceneCheck and OnAppStartAfter again, "[reenter] ..." lines) and says
//                whether the host window was disabled ("[modal] ..."); the timer checks
//                that the host's code runs in the host's own floating-point state.
//   --worker     the calls run on a worker thread of their own (an STA), which then ends;
//                "[worker] ended" once it has, or "[worker] still running" after 30 s.
//   --links N    N link commands on the same Plugin object, the next after a failed one too.
//   --unload     between links the Plugin is released and CoFreeUnusedLibrariesEx(0, 0)
//                run: "[unload] brosk.dll unloaded" (or "still loaded"); then a new Plugin.
//   --crt-locale NAME  the host sets the C runtime's process-wide locale (setlocale(LC_ALL,
//                NAME): "Spanish", "German", "C"), as any component of a process may.
//   --cpp-locale NAME  the host's C++ global locale gets the number punctuation of NAME
//                ("Spanish" and "German": decimal comma, grouping point; "C").
//   --hold FILE MS  while the links run, FILE is held open by another program, sharing
//                nothing, for MS milliseconds from the first link's start (as a scanner,
//                a sync client or the importer holds a file for a moment).
//   --time       "[time] SceneCheck: N ms" after each link.
//   --names      when the dialog is up, "[names] ..." with what Active Accessibility (a
//                screen reader) names each input.
//   --type-folder when the dialog is up, a folder typed and pasted into the folder box:
//                "[folder] ..." whether the box changed and whether Tab reaches it.
//   --placement  when the dialog is up, "[place] ..." whether it is in front and centred on
//                its host's monitor.
//   --fail-in-dialog  with the test build of the DLL registered (brosk_allocfail.dll), its
//                next allocation fails as Aceptar is pressed, inside the dialog procedure.
//   --load-dll DLL  the host loads DLL first (another component's runtime, say the shared
//                libgcc of a MinGW-built plug-in) and keeps it loaded.
//   --wait-between FILE  before each link after the first, the host (the plug-in loaded)
//                waits until FILE exists, up to 120 s: "[wait] FILE is there" (as a host
//                left open while brosk is updated).
//   --share-classes-key NAME  links the 32-bit view's HKLM\Software\Classes\NAME to the
//                64-bit one's and exits: Windows 7 and later keep one key for both views
//                (only CLSID, Interface and a few more are kept apart), Wine 8 two but for
//                the keys it links itself, such as TypeLib. Done once for brosk.Plugin when
//                the tests' Wine prefix is made, so that it behaves as Windows.
//   --user-registry  brosk.Plugin made from its per-user registration (ProgID, CLSID and
//                InprocServer32 under HKCU\Software\Classes), as Windows' COM finds it;
//                Wine 8's HKEY_CLASSES_ROOT shows only the machine's keys.
//
// Exit status: 0 the success message was shown, 1 it was not, 3 a call failed (error on
// standard error), 4 the user's side timed out. With --snapshot the user, once the
// dialog is up, writes the dialog's screen rectangle ("X Y WIDTH HEIGHT") to FILE.rect
// and waits (up to 60 s) for FILE to appear, so that a script can take a picture of it.
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <locale>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "automation/text.h"
#include "dialog/layout.h"
#include "platform/fp_state.h"
#include "tests/host_fp.h"

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

// --- The floating-point state of the host's thread --------------------------------------

using brosk::FpControlWords;
using brosk::readFpControl;
using brosk::setFpControl;

// The control words a host keeps, by name; none for a name it does not know.
std::optional<FpControlWords> hostState(const std::string& name) {
  return brosk::testing::hostFpState(name, brosk::testing::kWindowsNormal);
}

// The control bits only: the exception flags are the host's business.
bool sameControl(const FpControlWords& a, const FpControlWords& b) {
  return a.x87 == b.x87 && (a.mxcsr & ~0x3Fu) == (b.mxcsr & ~0x3Fu);
}

std::u16string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return brosk::fromUtf8(text);
}

// --- Calls by name, as the host makes them ----------------------------------------------

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

// Whether brosk.Plugin is made from the per-user registration, as Windows' COM finds it
// under HKCU\Software\Classes: Wine 8's HKEY_CLASSES_ROOT shows only the machine's keys.
bool gFromUserRegistry = false;

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

IDispatch* createFromUserRegistry() {
  const std::wstring clsidText = userClassesValue(L"brosk.Plugin\\CLSID");
  const std::wstring server = userClassesValue(L"CLSID\\" + clsidText + L"\\InprocServer32");
  CLSID clsid;
  if (server.empty() || FAILED(CLSIDFromString(clsidText.c_str(), &clsid))) return nullptr;
  HMODULE module = LoadLibraryW(server.c_str());
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  auto getClassObject = module ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(
                                     GetProcAddress(module, "DllGetClassObject")))
                               : nullptr;
  IClassFactory* factory = nullptr;
  if (!getClassObject ||
      FAILED(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  IDispatch* plugin = nullptr;
  const HRESULT hr =
      factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&plugin));
  factory->Release();
  return SUCCEEDED(hr) ? plugin : nullptr;
}

IDispatch* createPlugin() {
  if (gFromUserRegistry) return createFromUserRegistry();
  CLSID clsid;
  IDispatch* plugin = nullptr;
  if (FAILED(CLSIDFromProgID(L"brosk.Plugin", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&plugin)))) {
    return nullptr;
  }
  return plugin;
}

// --- The host's own window ----------------------------------------------------------------

constexpr UINT kMenuCommand = 100;

// A visible top-level window with an edit box that has the focus, a timer, and a menu
// command that runs the link command (as the user picking the menu item would).
class HostWindow {
 public:
  HostWindow(FpControlWords own) : own_(own) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &HostWindow::proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"BroskTestHost";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(0, L"BroskTestHost", L"Host", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                              nullptr, nullptr, wc.hInstance, this);
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 5, 5, 200, 20, window_, nullptr,
                            wc.hInstance, nullptr);
    ShowWindow(window_, SW_SHOW);
    SetActiveWindow(window_);
    SetFocus(edit_);
    SetTimer(window_, 1, 25, nullptr);
    handled_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }
  ~HostWindow() {
    KillTimer(window_, 1);
    DestroyWindow(window_);
    CloseHandle(handled_);
  }
  void use(IDispatch* plugin) { plugin_ = plugin; }
  HWND window() const { return window_; }
  HWND edit() const { return edit_; }
  HANDLE handled() const { return handled_; }
  // Ticks that ran in another floating-point state than the host's own.
  int foreignTicks() const { return foreign_; }
  int ticks() const { return ticks_; }

 private:
  static LRESULT CALLBACK proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
      self = static_cast<HostWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self && message == WM_TIMER) {
      ++self->ticks_;
      if (const FpControlWords now = readFpControl(); !sameControl(now, self->own_)) {
        ++self->foreign_;
        self->lastForeign_ = now;
      }
      return 0;
    }
    if (self && message == WM_COMMAND && LOWORD(wParam) == kMenuCommand && self->plugin_) {
      // The menu item picked again while the plug-in is busy: both host calls come in.
      for (const wchar_t* name : {L"SceneCheck", L"OnAppStartAfter"}) {
        const CallResult r = callByName(self->plugin_, name, 1);
        print(u"[reenter] " + fromWide(name) + u": " + r.text);
      }
      SetEvent(self->handled_);
      return 0;
    }
    return DefWindowProcW(h, message, wParam, lParam);
  }

  FpControlWords own_;
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HANDLE handled_ = nullptr;
  IDispatch* plugin_ = nullptr;
  int ticks_ = 0;
  int foreign_ = 0;

 public:
  FpControlWords lastForeign_;
};

// --- The user -------------------------------------------------------------------------------

struct Script {
  std::vector<std::pair<Id, std::wstring>> texts;
  bool createFolder = true;
  enum class End { Aceptar, Cancelar, Close } end = End::Aceptar;
  bool keys = false;
  std::wstring snapshot;
  bool names = false;         // say what a screen reader names each input
  bool placement = false;     // say where the dialog is, in front or not, and its owner
  bool typeFolder = false;    // type and paste a folder into the folder box
  bool failInDialog = false;  // the test build's next allocation fails as Aceptar is pressed
};

// The user, on a thread of its own, acting on the windows of the plug-in's thread.
class User {
 public:
  User(Script script, DWORD thread, HostWindow* host)
      : script_(std::move(script)), thread_(thread), host_(host) {}
  std::atomic<bool> done{false};
  std::atomic<bool> sawSuccess{false};

  void run() {
    const DWORD start = GetTickCount();
    DWORD dialogSeen = 0;
    while (!done) {
      if (GetTickCount() - start > 120000) {
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
      } else if (dialog && dialog != actedOn_) {
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

  // While a window of the plug-in is up: is the host's window disabled, and does the
  // menu command that the host's message loop delivers meanwhile get refused?
  void hostChecks(const std::wstring& title) {
    if (host_ == nullptr) return;
    print(u"[modal] the host window is " +
          std::u16string(IsWindowEnabled(host_->window()) ? u"ENABLED" : u"disabled") +
          u" under «" + fromWide(title) + u"»");
    PostMessageW(host_->window(), WM_COMMAND, kMenuCommand, 0);
    if (WaitForSingleObject(host_->handled(), 10000) != WAIT_OBJECT_0) {
      print(u"[reenter] the host's menu command was not handled");
    }
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
    if (script_.placement) print(u"[owner] «" + fromWide(title) + u"»: " + ownerOf(box));
    hostChecks(title);
    PostMessageW(GetDlgItem(box, button), BM_CLICK, 0, 0);
    return true;
  }

  void act(HWND dialog) {
    actedOn_ = dialog;
    Sleep(100);  // let it show its texts
    std::u16string seen = u"[dialog]";
    for (const Id id : brosk::layout::kInputs) {
      seen += u" " + fromWide(windowText(GetDlgItem(dialog, brosk::layout::controlId(id))));
    }
    print(seen);
    if (script_.names) sayNames(dialog);
    if (script_.placement) sayPlacement(dialog);
    if (script_.typeFolder) typeIntoFolder(dialog);
    hostChecks(L"Datos de presupuesto");
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
    if (script_.failInDialog) {
      using Fail = void(__stdcall*)(long);
      const auto fail = reinterpret_cast<Fail>(reinterpret_cast<void*>(
          GetProcAddress(GetModuleHandleW(L"brosk_allocfail.dll"), "BroskFailAllocation")));
      if (fail) fail(1);
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

  // The name Active Accessibility gives an input that has no text of its own, as a screen
  // reader speaks it: the text of the nearest static control before it in the window
  // order, passing over hidden windows and stopping at another control the Tab key
  // reaches. (Wine's oleacc does not name controls from their labels; the rule is applied
  // here as Active Accessibility states it.) "[names] Serie: | Número de presupuesto: | ...".
  static std::u16string labelOf(HWND input) {
    for (HWND w = GetWindow(input, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
      if (!IsWindowVisible(w)) continue;
      wchar_t cls[64];
      GetClassNameW(w, cls, 64);
      if (lstrcmpiW(cls, L"Static") == 0) return fromWide(windowText(w));
      if (GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP) break;
    }
    return u"(none)";
  }
  static void sayNames(HWND dialog) {
    std::u16string line = u"[names]";
    const char16_t* separator = u" ";
    for (const Id id : brosk::layout::kInputs) {
      line += separator + labelOf(GetDlgItem(dialog, brosk::layout::controlId(id)));
      separator = u" | ";
    }
    print(line);
  }

  // Whether the dialog is in front, and centred on the work area of the monitor its host's
  // window is on (the primary one without a host window).
  void sayPlacement(HWND dialog) {
    RECT r;
    GetWindowRect(dialog, &r);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(host_ ? host_->window() : nullptr, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
    const RECT& a = monitor.rcWork;
    const bool centred = std::abs((r.left + r.right) - (a.left + a.right)) <= 2 &&
                         std::abs((r.top + r.bottom) - (a.top + a.bottom)) <= 2;
    print(std::u16string(u"[place] ") +
          (GetForegroundWindow() == dialog ? u"in front" : u"BEHIND") + u", " +
          (centred ? u"centred on the host's monitor" : u"NOT centred"));
    print(u"[owner] «Datos de presupuesto»: " + ownerOf(dialog));
  }

  // "the host window" when `window` is owned by it, "none" or "another window" otherwise.
  std::u16string ownerOf(HWND window) const {
    const HWND owner = GetWindow(window, GW_OWNER);
    if (!owner) return u"none";
    return host_ && owner == host_->window() ? u"the host window" : u"another window";
  }

  // A folder typed and pasted into the folder box, as a user would try: "[folder] ..." with
  // what the box shows then, and whether Tab reaches it.
  static void typeIntoFolder(HWND dialog) {
    HWND box = GetDlgItem(dialog, brosk::layout::controlId(Id::Ruta));
    const std::wstring before = windowText(box);
    for (const wchar_t c : std::wstring(L"C:\\OTRA")) SendMessageW(box, WM_CHAR, c, 1);
    const std::wstring pasted = L"C:\\PEGADA";
    if (OpenClipboard(nullptr)) {
      EmptyClipboard();
      if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (pasted.size() + 1) * sizeof(wchar_t))) {
        std::memcpy(GlobalLock(memory), pasted.c_str(), (pasted.size() + 1) * sizeof(wchar_t));
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory)) GlobalFree(memory);
      }
      CloseClipboard();
    }
    SendMessageW(box, EM_SETSEL, 0, -1);
    SendMessageW(box, WM_PASTE, 0, 0);
    const bool tab = (GetWindowLongPtrW(box, GWL_STYLE) & WS_TABSTOP) && IsWindowEnabled(box);
    print(u"[folder] " +
          std::u16string(windowText(box) == before ? u"unchanged by typing and pasting"
                                                   : u"CHANGED to " + fromWide(windowText(box))) +
          u", " + (tab ? u"reached with Tab" : u"NOT reached with Tab"));
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
  HostWindow* host_;
  HWND actedOn_ = nullptr;
};

// --- Version record and unload query --------------------------------------------------------

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
  for (const wchar_t* key : {L"CompanyName", L"FileVersion", L"ProductVersion", L"InternalName",
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

// --- Every allocation of every entry point failing in turn ---------------------------------

// Loads the test build of brosk.dll whose Nth allocation fails on request and runs each
// entry from outside (the class factory and the object, IDispatch by name, the _Plugin
// methods, registration per machine and per user both ways, the unload query) with its
// first, second, third... allocation failing, until a run allocates no more. Every run
// must come back with an HRESULT: the process living on is the test. A registration that
// failed half way is done again without a fault and must succeed. One line per entry:
// "[alloc] NAME: N allocations, each failing gives an HRESULT (...)". With
// BROSK_ALLOC_TRACE set, each run is named on standard error first, to find a crash.
int allocFaults(const std::wstring& file) {
  HMODULE module = LoadLibraryW(file.c_str());
  if (!module) return 1;
  auto entry = [&](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(module, name));
  };
  using Fail = void(__stdcall*)(long);
  using Failed = BOOL(__stdcall*)();
  using GetClassObject = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  using Plain = HRESULT(__stdcall*)();
  using Install = HRESULT(__stdcall*)(BOOL, LPCWSTR);
  const auto fail = reinterpret_cast<Fail>(entry("BroskFailAllocation"));
  const auto failed = reinterpret_cast<Failed>(entry("BroskAllocationFailed"));
  const auto getClassObject = reinterpret_cast<GetClassObject>(entry("DllGetClassObject"));
  const auto canUnload = reinterpret_cast<Plain>(entry("DllCanUnloadNow"));
  const auto registerServer = reinterpret_cast<Plain>(entry("DllRegisterServer"));
  const auto unregisterServer = reinterpret_cast<Plain>(entry("DllUnregisterServer"));
  const auto install = reinterpret_cast<Install>(entry("DllInstall"));
  CLSID clsid;
  if (!fail || !failed || !getClassObject || !canUnload || !registerServer || !unregisterServer ||
      !install || FAILED(CLSIDFromString(L"{E2582346-AEE3-4033-BC4A-A085F3419C5B}", &clsid))) {
    return 1;
  }
  auto create = [&](IDispatch** object) {
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(object));
    factory->Release();
    return hr;
  };
  IDispatch* plugin = nullptr;
  if (FAILED(create(&plugin))) return 1;
  auto invoke = [&](const wchar_t* name, std::vector<VARIANTARG> args) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = plugin->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    std::reverse(args.begin(), args.end());  // DISPPARAMS holds the last argument first
    DISPPARAMS params{args.data(), nullptr, static_cast<UINT>(args.size()), 0};
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO info{};
    hr = plugin->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &result, &info,
                        nullptr);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrHelpFile);
    VariantClear(&result);
    return hr;
  };
  auto lineArgs = [](short& pos, BSTR* texts) {
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
  };
  BSTR texts[6] = {SysAllocString(L"1"), SysAllocString(L"2024"), nullptr,
                   SysAllocString(L"R"), SysAllocString(L"D"),    SysAllocString(L"diez")};
  short badPos = 0;
  short goodPos = 1;
  VARIANTARG block;
  VariantInit(&block);
  block.vt = VT_I4;
  block.lVal = 1;

  // Whether the registration under `root` is whole: the ProgID, the class and its server,
  // the type library and the interface.
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(module, path, MAX_PATH);
  auto whole = [&](HKEY root) {
    auto value = [&](const std::wstring& key, const wchar_t* name = nullptr) {
      wchar_t text[1024];
      DWORD bytes = sizeof text;
      const std::wstring full = L"Software\\Classes\\" + key;
      return RegGetValueW(root, full.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &bytes) ==
                     ERROR_SUCCESS
                 ? std::wstring(text)
                 : std::wstring();
    };
    const std::wstring id = L"{E2582346-AEE3-4033-BC4A-A085F3419C5B}";
    const std::wstring typeLib = L"TypeLib\\{22C6A8B7-F949-477F-BE07-6E33944B6A2C}\\1.0\\0\\";
    return value(L"brosk.Plugin\\CLSID") == id &&
           lstrcmpiW(value(L"CLSID\\" + id + L"\\InprocServer32").c_str(), path) == 0 &&
           value(L"CLSID\\" + id + L"\\InprocServer32", L"ThreadingModel") == L"Apartment" &&
           lstrcmpiW(value(typeLib + (sizeof(void*) == 8 ? L"win64" : L"win32")).c_str(), path) ==
               0;
  };
  auto mended = [&](HRESULT hr, HKEY root, bool registered) {
    return FAILED(hr) ? hr : whole(root) == registered ? S_OK : E_FAIL;
  };

  struct Entry {
    const char* name;
    std::function<HRESULT()> run;
    // Done after a failed run, without a fault: it must succeed and leave the registration
    // whole (or whole again after a removal, for the next run).
    std::function<HRESULT()> mend;
  };
  const std::vector<Entry> entries = {
      {"DllGetClassObject and CreateInstance",
       [&] {
         IDispatch* object = nullptr;
         const HRESULT hr = create(&object);
         if (object) object->Release();
         return hr;
       },
       nullptr},
      {"GetIDsOfNames",
       [&] {
         LPOLESTR names[] = {const_cast<LPOLESTR>(L"SceneCheck")};
         DISPID id = 0;
         return plugin->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
       },
       nullptr},
      {"OnAppStartAfter", [&] { return invoke(L"OnAppStartAfter", {block}); }, nullptr},
      {"insertarEnLista at line 0 (error 9)",
       [&] { return invoke(L"insertarEnLista", lineArgs(badPos, texts)); }, nullptr},
      {"insertarEnLista with a price that is no number (error 13)",
       [&] { return invoke(L"insertarEnLista", lineArgs(goodPos, texts)); }, nullptr},
      {"DllCanUnloadNow", [&] { return canUnload(); }, nullptr},
      {"DllRegisterServer", registerServer,
       [&] { return mended(registerServer(), HKEY_LOCAL_MACHINE, true); }},
      {"DllUnregisterServer", unregisterServer,
       [&] {
         const HRESULT hr = mended(unregisterServer(), HKEY_LOCAL_MACHINE, false);
         return FAILED(hr) ? hr : registerServer();
       }},
      {"DllInstall user", [&] { return install(TRUE, L"user"); },
       [&] { return mended(install(TRUE, L"user"), HKEY_CURRENT_USER, true); }},
      {"DllInstall user, removal", [&] { return install(FALSE, L"user"); },
       [&] {
         const HRESULT hr = mended(install(FALSE, L"user"), HKEY_CURRENT_USER, false);
         return FAILED(hr) ? hr : install(TRUE, L"user");
       }},
  };
  int status = 0;
  for (const Entry& e : entries) {
    std::vector<HRESULT> seen;
    long points = 0;
    for (long n = 1; n < 100000; ++n) {
      if (std::getenv("BROSK_ALLOC_TRACE")) std::fprintf(stderr, "%s %ld\n", e.name, n);
      fail(n);
      const HRESULT hr = e.run();
      const bool hit = failed();
      fail(0);
      if (!hit) break;
      ++points;
      if (std::find(seen.begin(), seen.end(), hr) == seen.end()) seen.push_back(hr);
      if (e.mend && FAILED(e.mend())) {
        print(u"[alloc] " + brosk::fromUtf8(e.name) + u": a retry after allocation " +
              brosk::decimal(n) + u" FAILED");
        status = 1;
      }
    }
    std::u16string results;
    for (const HRESULT hr : seen) results += (results.empty() ? u"" : u" ") + hex(hr, 8);
    print(u"[alloc] " + brosk::fromUtf8(e.name) + u": " + brosk::decimal(points) +
          u" allocations, each failing gives an HRESULT (" + results + u")");
  }
  for (BSTR& t : texts) SysFreeString(t);
  plugin->Release();
  return status;
}

// --- The host's session -------------------------------------------------------------------

struct Options {
  Script script;
  bool time = false;  // how long each SceneCheck took
  std::wstring hold;  // a file held while the links run, for holdMilliseconds
  DWORD holdMilliseconds = 0;
  std::optional<FpControlWords> fpu;
  bool hostWindow = false;
  bool worker = false;
  int links = 1;
  bool unload = false;
  std::wstring waitBetween;  // a file waited for before each link after the first
};

// Waits up to two minutes for a file to exist.
bool waitForFile(const std::wstring& file) {
  for (int i = 0; i < 1200; ++i) {
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(100);
  }
  return false;
}

int shareClassesKey(const std::wstring& name) {
  const std::wstring own = L"Software\\Classes\\" + name;
  const std::wstring link = L"Software\\Classes\\Wow6432Node\\" + name;
  const std::wstring target = L"\\Registry\\Machine\\" + own;
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, link.c_str(), 0, nullptr, REG_OPTION_CREATE_LINK,
                      KEY_ALL_ACCESS | KEY_CREATE_LINK | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return 1;
  }
  const LONG set = RegSetValueExW(key, L"SymbolicLinkValue", 0, REG_LINK,
                                  reinterpret_cast<const BYTE*>(target.data()),
                                  static_cast<DWORD>(target.size() * sizeof(wchar_t)));
  RegCloseKey(key);
  return set == ERROR_SUCCESS ? 0 : 1;
}

// A call by name, with the floating-point control words checked around it.
CallResult hostCall(IDispatch* plugin, const wchar_t* name, bool checkFp) {
  const FpControlWords before = readFpControl();
  CallResult r = callByName(plugin, name, 1);
  const FpControlWords after = readFpControl();
  if (checkFp) {
    print(u"[fpu] " + fromWide(name) +
          (sameControl(before, after)
               ? std::u16string(u": kept")
               : u": x87 " + hex(before.x87, 4) + u" -> " + hex(after.x87, 4) + u", MXCSR " +
                     hex(before.mxcsr, 4) + u" -> " + hex(after.mxcsr, 4)));
  }
  return r;
}

// The host's session on the calling thread: its windows, the plug-in, the calls. The
// exit status as for the whole program.
int session(const Options& options) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // From here on the thread is in the host's floating-point state, as in a real host.
  if (options.fpu) setFpControl(*options.fpu);
  std::optional<HostWindow> host;
  if (options.hostWindow) host.emplace(readFpControl());
  IDispatch* plugin = createPlugin();
  if (plugin == nullptr) {
    std::fprintf(stderr, "brosk-drive: cannot create brosk.Plugin\n");
    CoUninitialize();
    return 3;
  }
  if (host) host->use(plugin);
  User user(options.script, GetCurrentThreadId(), host ? &*host : nullptr);
  std::thread userThread([&] { user.run(); });

  std::optional<CallResult> failed;
  std::thread holder;
  if (!options.hold.empty()) {
    HANDLE held = CreateFileW(options.hold.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    holder = std::thread([held, ms = options.holdMilliseconds] {
      Sleep(ms);
      CloseHandle(held);
    });
  }
  const CallResult start = hostCall(plugin, L"OnAppStartAfter", options.fpu.has_value());
  print(u"OnAppStartAfter: " + start.text);
  if (!start.ok) failed = start;
  // A failed link does not stop the next: a host goes on after a failed command.
  for (int link = 1; link <= options.links && start.ok; ++link) {
    if (link > 1 && !options.waitBetween.empty()) {
      if (!waitForFile(options.waitBetween)) {
        failed = CallResult{false, u"the file waited for did not come"};
        break;
      }
      print(u"[wait] " + fromWide(options.waitBetween) + u" is there");
    }
    if (link > 1 && options.unload) {
      if (host) host->use(nullptr);
      plugin->Release();
      CoFreeUnusedLibrariesEx(0, 0);
      print(GetModuleHandleW(L"brosk.dll") ? u"[unload] brosk.dll still loaded"
                                           : u"[unload] brosk.dll unloaded");
      plugin = createPlugin();
      if (plugin == nullptr) {
        failed = CallResult{false, u"brosk.Plugin cannot be created again"};
        break;
      }
      if (host) host->use(plugin);
    }
    const ULONGLONG started = GetTickCount64();
    const CallResult check = hostCall(plugin, L"SceneCheck", options.fpu.has_value());
    print(u"SceneCheck: " + check.text);
    if (options.time)
      print(u"[time] SceneCheck: " +
            brosk::decimal(static_cast<long long>(GetTickCount64() - started)) + u" ms");
    if (!check.ok) failed = check;
  }
  user.done = true;
  userThread.join();
  if (holder.joinable()) holder.join();
  if (host) {
    for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&m);
    print(IsWindowEnabled(host->window()) ? u"[modal] the host window is enabled afterwards"
                                          : u"[modal] the host window is still DISABLED");
    print(GetFocus() == host->edit() ? u"[modal] the focus is back in the host window"
                                     : u"[modal] the focus is NOT back in the host window");
    print(host->foreignTicks() == 0
              ? u"[timer] the host's timer ran in the host's floating-point state"
              : u"[timer] " + brosk::decimal(host->foreignTicks()) + u" of " +
                    brosk::decimal(host->ticks()) +
                    u" ticks of the host's timer ran in ANOTHER floating-point state (x87 " +
                    hex(host->lastForeign_.x87, 4) + u", MXCSR " +
                    hex(host->lastForeign_.mxcsr, 4) + u")");
    host->use(nullptr);
  }
  if (plugin) plugin->Release();
  host.reset();
  CoUninitialize();
  setFpControl(*hostState("default"));
  if (failed) {
    std::fprintf(stderr, "brosk-drive: %s\n", brosk::toUtf8(failed->text).c_str());
    return 3;
  }
  return user.sawSuccess ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  Script& script = options.script;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(brosk::toUtf8(std::u16string(argv[i], argv[i] + wcslen(argv[i]))));
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    auto text = [&](Id id) { script.texts.emplace_back(id, toWide(args[++i])); };
    if (a == "--version-info" && hasValue) {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      return versionInfo(toWide(args[i + 1]));
    }
    if (a == "--alloc-faults" && hasValue) {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      return allocFaults(toWide(args[i + 1]));
    }
    if (a == "--short-name" && hasValue) {
      wchar_t shortName[MAX_PATH];
      if (!GetShortPathNameW(toWide(args[i + 1]).c_str(), shortName, MAX_PATH)) return 1;
      print(fromWide(shortName));
      return 0;
    }
    if (a == "--share-classes-key" && hasValue) return shareClassesKey(toWide(args[i + 1]));
    if (a == "--unload-check" && hasValue) {
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      return unloadCheck(toWide(args[i + 1]));
    }
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
    else if (a == "--names")
      script.names = true;
    else if (a == "--placement")
      script.placement = true;
    else if (a == "--type-folder")
      script.typeFolder = true;
    else if (a == "--fail-in-dialog")
      script.failInDialog = true;
    else if (a == "--snapshot" && hasValue)
      script.snapshot = toWide(args[++i]);
    else if (a == "--fpu" && hasValue && hostState(args[i + 1]))
      options.fpu = hostState(args[++i]);
    else if (a == "--host-window")
      options.hostWindow = true;
    else if (a == "--worker")
      options.worker = true;
    else if (a == "--links" && hasValue)
      options.links = std::max(1, std::atoi(args[++i].c_str()));
    else if (a == "--unload")
      options.unload = true;
    else if (a == "--wait-between" && hasValue)
      options.waitBetween = toWide(args[++i]);
    else if (a == "--user-registry")
      gFromUserRegistry = true;
    else if (a == "--crt-locale" && hasValue) {
      if (!std::setlocale(LC_ALL, args[++i].c_str())) {
        std::fprintf(stderr, "brosk-drive: the C runtime knows no locale %s\n", args[i].c_str());
        return 2;
      }
    } else if (a == "--cpp-locale" && hasValue) {
      // The C++ library of this host knows no named locale but "C": the punctuation is
      // given as a facet of its own.
      struct CommaDecimal : std::numpunct<char> {
        char do_decimal_point() const override { return ','; }
        char do_thousands_sep() const override { return '.'; }
        std::string do_grouping() const override { return "\3"; }
      };
      const std::string name = args[++i];
      std::locale::global(name == "C" ? std::locale::classic()
                                      : std::locale(std::locale::classic(), new CommaDecimal));
    } else if (a == "--time") {
      options.time = true;
    } else if (a == "--hold" && i + 2 < args.size()) {
      options.hold = toWide(args[++i]);
      options.holdMilliseconds = static_cast<DWORD>(std::atoi(args[++i].c_str()));
    } else if (a == "--load-dll" && hasValue) {
      if (!LoadLibraryW(toWide(args[++i]).c_str())) {
        std::fprintf(stderr, "brosk-drive: cannot load %s\n", args[i].c_str());
        return 2;
      }
    } else {
      std::fprintf(stderr, "brosk-drive: unknown argument %s\n", a.c_str());
      return 2;
    }
  }
  if (!options.worker) return session(options);

  // The calls on a worker thread that ends afterwards, as hosts run plug-ins on threads
  // of their own.
  static Options workerOptions;
  static int status = 3;
  workerOptions = options;
  struct Worker {
    static DWORD WINAPI run(void*) {
      status = session(workerOptions);
      return 0;
    }
  };
  HANDLE worker = CreateThread(nullptr, 0, &Worker::run, nullptr, 0, nullptr);
  const DWORD waited = WaitForSingleObject(worker, 30000);
  print(waited == WAIT_OBJECT_0 ? u"[worker] ended" : u"[worker] still running after 30 s");
  CloseHandle(worker);
  return waited == WAIT_OBJECT_0 ? status : 5;
}
