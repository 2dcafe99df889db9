#include "win/tests/drive/user.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace drive {

void User::run() {
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

BOOL CALLBACK User::visit(HWND h, LPARAM p) {
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

void User::find(HWND& box, HWND& dialog) {
  Found found{thread_};
  EnumWindows(visit, reinterpret_cast<LPARAM>(&found));
  box = found.box;
  dialog = found.dialog;
}

BOOL CALLBACK User::visitText(HWND child, LPARAM p) {
  wchar_t cls[64];
  GetClassNameW(child, cls, 64);
  const LONG_PTR style = GetWindowLongPtrW(child, GWL_STYLE);
  if ((std::wstring(cls) == L"Static" || std::wstring(cls) == L"STATIC") &&
      (style & SS_TYPEMASK) != SS_ICON && GetDlgCtrlID(child) == 0xFFFF) {
    *reinterpret_cast<std::wstring*>(p) = windowText(child);
  }
  return TRUE;
}

std::wstring User::boxText(HWND box) {
  std::wstring text;
  EnumChildWindows(box, visitText, reinterpret_cast<LPARAM>(&text));
  return text;
}

void User::hostChecks(const std::wstring& title) {
  if (host_ == nullptr) return;
  print(u"[modal] the host window is " +
        std::u16string(IsWindowEnabled(host_->window()) ? u"ENABLED" : u"disabled") + u" under «" +
        fromWide(title) + u"»");
  PostMessageW(host_->window(), WM_COMMAND, kMenuCommand, 0);
  if (WaitForSingleObject(host_->handled(), 10000) != WAIT_OBJECT_0) {
    print(u"[reenter] the host's menu command was not handled");
  }
}

bool User::answer(HWND box) {
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

void User::act(HWND dialog) {
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
    if (fail) {
      fail(1);
    } else {
      print(u"[alloc] brosk_allocfail.dll is not the plug-in's DLL");
    }
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

std::u16string User::labelOf(HWND input) {
  for (HWND w = GetWindow(input, GW_HWNDPREV); w; w = GetWindow(w, GW_HWNDPREV)) {
    if (!IsWindowVisible(w)) continue;
    wchar_t cls[64];
    GetClassNameW(w, cls, 64);
    if (lstrcmpiW(cls, L"Static") == 0) return fromWide(windowText(w));
    if (GetWindowLongPtrW(w, GWL_STYLE) & WS_TABSTOP) break;
  }
  return u"(none)";
}

void User::sayNames(HWND dialog) {
  std::u16string line = u"[names]";
  const char16_t* separator = u" ";
  for (const Id id : brosk::layout::kInputs) {
    line += separator + labelOf(GetDlgItem(dialog, brosk::layout::controlId(id)));
    separator = u" | ";
  }
  print(line);
}

void User::sayPlacement(HWND dialog) {
  RECT r;
  GetWindowRect(dialog, &r);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(host_ ? host_->window() : nullptr, MONITOR_DEFAULTTOPRIMARY),
                  &monitor);
  const RECT& a = monitor.rcWork;
  const bool centred = std::abs((r.left + r.right) - (a.left + a.right)) <= 2 &&
                       std::abs((r.top + r.bottom) - (a.top + a.bottom)) <= 2;
  print(std::u16string(u"[place] ") + (GetForegroundWindow() == dialog ? u"in front" : u"BEHIND") +
        u", " + (centred ? u"centred on the host's monitor" : u"NOT centred"));
  print(u"[owner] «Datos de presupuesto»: " + ownerOf(dialog));
}

std::u16string User::ownerOf(HWND window) const {
  const HWND owner = GetWindow(window, GW_OWNER);
  if (!owner) return u"none";
  return host_ && owner == host_->window() ? u"the host window" : u"another window";
}

void User::typeIntoFolder(HWND dialog) {
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

void User::holdForSnapshot(HWND dialog) {
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

void User::waitGone(HWND h) {
  for (int i = 0; i < 500 && IsWindow(h) && IsWindowVisible(h); ++i) Sleep(20);
}

}  // namespace drive
