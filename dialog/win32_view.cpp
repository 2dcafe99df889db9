#include "dialog/win32_view.h"

#include <shlobj.h>

#include <exception>
#include <vector>

#include "automation/error.h"
#include "dialog/frm_datos.h"
#include "dialog/layout.h"
#include "platform/fp_state.h"
#include "platform/unique_any.h"
#include "platform/win32_system.h"

namespace brosk {
namespace {

// The dialog window of this thread while it is shown: the owner of message boxes and of
// the folder browser.
thread_local HWND tDialog = nullptr;

std::u16string windowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  const int n = GetWindowTextW(window, buffer.data(), length + 1);
  return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                        static_cast<std::size_t>(n));
}

// Makes a window of the plug-in modal to the calling thread: the thread's other visible
// and enabled top-level windows are disabled while it is up, then enabled again and the
// focus put back where it was. The window the user was working in is the host's window:
// the plug-in's windows show on its monitor.
class ThreadModal {
 public:
  ThreadModal() : focus_(GetFocus()), active_(GetActiveWindow()) {
    EnumThreadWindows(GetCurrentThreadId(), &ThreadModal::disable, reinterpret_cast<LPARAM>(this));
    // No exception may unwind through the system's frames: one is taken back here.
    if (failure_) {
      end();
      std::rethrow_exception(failure_);
    }
  }
  ~ThreadModal() {
    end();
    if (active_ && IsWindow(active_)) SetActiveWindow(active_);
    if (focus_ && IsWindow(focus_)) SetFocus(focus_);
  }
  ThreadModal(const ThreadModal&) = delete;
  ThreadModal& operator=(const ThreadModal&) = delete;

  // Enables the windows again. Called before the plug-in's window goes as well, so that
  // the activation passes back to the host's window and not to another program.
  void end() {
    for (auto it = disabled_.rbegin(); it != disabled_.rend(); ++it) {
      if (IsWindow(*it)) EnableWindow(*it, TRUE);
    }
    disabled_.clear();
  }

  // The host's window the user was in, or the foreground window when the thread has none.
  HWND hostWindow() const { return active_ ? active_ : GetForegroundWindow(); }
  // The owner of the plug-in's windows: the host's top-level window the user was in (the
  // root owner of the active window), when it belongs to this thread; none otherwise.
  // Owned, the plug-in's window has no taskbar button of its own, stays above the host,
  // and a click on the host brings it forward.
  HWND owner() const {
    if (!active_ || !IsWindow(active_)) return nullptr;
    HWND root = GetAncestor(active_, GA_ROOTOWNER);
    return root && GetWindowThreadProcessId(root, nullptr) == GetCurrentThreadId() ? root : nullptr;
  }

 private:
  static BOOL CALLBACK disable(HWND window, LPARAM self) {
    auto* modal = reinterpret_cast<ThreadModal*>(self);
    try {
      if (IsWindowVisible(window) && IsWindowEnabled(window)) {
        modal->disabled_.push_back(window);
        EnableWindow(window, FALSE);
      }
      return TRUE;
    } catch (...) {
      modal->failure_ = std::current_exception();
      return FALSE;
    }
  }

  HWND focus_;
  HWND active_;
  std::vector<HWND> disabled_;
  std::exception_ptr failure_;
};

using unique_icon = unique_any<HICON, &::DestroyIcon>;
using unique_font = unique_any<HFONT, &::DeleteObject>;

struct DialogContext {
  FrmDatos* form;
  HINSTANCE module;
  ThreadModal* modal;
  // The windows of layout::kControls, in its order, and what they are drawn with at the
  // dialog's DPI.
  std::vector<HWND> controls{};
  unique_font font{};
  unique_icon smallIcon{};
  unique_icon largeIcon{};
  // What was thrown in the dialog procedure, to be thrown again once the dialog is gone.
  std::exception_ptr failure{};
};

// Closes the dialog: the host's windows are enabled first, then the dialog ends.
void closeDialog(HWND dialog, DialogContext& context) {
  context.modal->end();
  EndDialog(dialog, 0);
}

void showTexts(HWND dialog, FrmDatos& form) {
  for (const layout::Id id : layout::kInputs) {
    SetDlgItemTextW(dialog, layout::controlId(id), wide(form.text(id)));
  }
}

// The folder box only shows the folder: what Examinar chose is the order's folder, and the
// box's text is never taken back.
void takeTexts(HWND dialog, FrmDatos& form) {
  for (const layout::Id id : layout::kInputs) {
    if (id == layout::Id::Ruta) continue;
    form.text(id) = windowText(GetDlgItem(dialog, layout::controlId(id)));
  }
}

// The calls that know a window's DPI, where the system has them (Windows 10 from 1607 on).
template <class Function>
Function user32(const char* name) {
  return reinterpret_cast<Function>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}
const auto getDpiForWindow = user32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
const auto adjustWindowRectExForDpi =
    user32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
const auto getSystemMetricsForDpi = user32<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");

// The screen's device context, released as it was got.
void releaseScreenDc(HDC dc) noexcept {
  ReleaseDC(nullptr, dc);
}
using unique_screen_dc = unique_any<HDC, &releaseScreenDc>;

// The screen's DPI: the system's, at which the dialog manager made the dialog's font.
int systemDpi() {
  const unique_screen_dc screen(GetDC(nullptr));
  return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

// The dialog's own DPI where the system says it (per monitor), the screen's otherwise.
int dpiOf(HWND window) {
  if (getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
  }
  return systemDpi();
}

int metric(int index, int dpi) {
  return getSystemMetricsForDpi ? getSystemMetricsForDpi(index, static_cast<UINT>(dpi))
                                : GetSystemMetrics(index);
}

// The window's size for the layout's client area at `dpi`.
SIZE frameSize(HWND dialog, int dpi) {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE));
  RECT frame{0, 0, layout::toPixels(layout::kClientWidth, dpi),
             layout::toPixels(layout::kClientHeight, dpi)};
  if (adjustWindowRectExForDpi) {
    adjustWindowRectExForDpi(&frame, style, FALSE, exStyle, static_cast<UINT>(dpi));
  } else {
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  }
  return {frame.right - frame.left, frame.bottom - frame.top};
}

// Centres the window on the work area of the monitor the host's window is on (the primary
// one when there is no such window), in front, and above a host that keeps itself on top.
void centre(HWND dialog, HWND host, SIZE size) {
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(host, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const bool hostOnTop = host && (GetWindowLongPtrW(host, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SetWindowPos(dialog, hostOnTop ? HWND_TOPMOST : HWND_TOP,
               area.left + (area.right - area.left - size.cx) / 2,
               area.top + (area.bottom - area.top - size.cy) / 2, size.cx, size.cy, 0);
}

// The dialog on the host's monitor first, so that the system gives it that monitor's DPI;
// then its size at that DPI, centred there.
int placeDialog(HWND dialog, HWND host) {
  centre(dialog, host, frameSize(dialog, systemDpi()));
  const int dpi = dpiOf(dialog);
  centre(dialog, host, frameSize(dialog, dpi));
  SetForegroundWindow(dialog);
  return dpi;
}

// The font, icons, and the controls' places at `dpi`: the dialog's font made again at
// that size where it differs from the system's.
void layOut(HWND dialog, DialogContext& context, int dpi) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  LOGFONTW face{};
  const int fontDpi = systemDpi();
  if (font && dpi != fontDpi && GetObjectW(font, sizeof face, &face) == sizeof face) {
    face.lfHeight = MulDiv(face.lfHeight, dpi, fontDpi);
    context.font.reset(CreateFontIndirectW(&face));
    if (context.font) font = context.font.get();
  }
  for (std::size_t i = 0; i < context.controls.size(); ++i) {
    const layout::Control& c = layout::kControls[i];
    layout::PixelRect r = layout::pixelRect(c, dpi);
    if (c.kind == layout::Kind::ComboBox) r.height *= 8;  // the edit field and the list
    SetWindowPos(context.controls[i], nullptr, r.left, r.top, r.width, r.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (font) SendMessageW(context.controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  auto icon = [&](int index) {
    const int size = metric(index, dpi);
    return unique_icon(
        static_cast<HICON>(LoadImageW(context.module, MAKEINTRESOURCEW(Win32User::kIconId),
                                      IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  };
  context.smallIcon = icon(SM_CXSMICON);
  context.largeIcon = icon(SM_CXICON);
  SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(context.smallIcon.get()));
  SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(context.largeIcon.get()));
}

// The controls, in the layout's rows: each caption just before its input, so that a
// screen reader (Active Accessibility names an input after the nearest text before it)
// names every input, and Tab follows the focus order, which rises along the rows. The
// folder box is read-only: it shows the folder, can be reached with Tab, selected and
// copied, and takes no typing.
void buildControls(HWND dialog, DialogContext& context) {
  for (const layout::Control& c : layout::kControls) {
    const wchar_t* windowClass = L"STATIC";
    DWORD controlStyle = WS_CHILD | WS_VISIBLE;
    DWORD controlExStyle = 0;
    switch (c.kind) {
      case layout::Kind::Label:
        controlStyle |= SS_LEFT | SS_NOPREFIX;
        break;
      case layout::Kind::TextBox:
        windowClass = L"EDIT";
        controlStyle |= WS_TABSTOP | ES_AUTOHSCROLL;
        if (c.id == layout::Id::Ruta) controlStyle |= ES_READONLY;
        controlExStyle = WS_EX_CLIENTEDGE;
        break;
      case layout::Kind::ComboBox:
        windowClass = L"COMBOBOX";
        controlStyle |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
        break;
      case layout::Kind::Button:
        windowClass = L"BUTTON";
        controlStyle |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    }
    const int id = c.id == layout::Id::None ? -1 : layout::controlId(c.id);
    HWND control = CreateWindowExW(
        controlExStyle, windowClass,
        c.kind == layout::Kind::Label || c.kind == layout::Kind::Button ? wide(c.text) : L"",
        controlStyle, 0, 0, 0, 0, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        context.module, nullptr);
    context.controls.push_back(control);
    if (c.kind == layout::Kind::ComboBox) {
      for (const char16_t* item : layout::kSeries) {
        SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
      }
    }
  }
}

INT_PTR handleMessage(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam,
                      DialogContext* context) {
  switch (message) {
    case WM_INITDIALOG: {
      tDialog = dialog;
      const int dpi = placeDialog(dialog, context->modal->hostWindow());
      buildControls(dialog, *context);
      layOut(dialog, *context, dpi);
      showTexts(dialog, *context->form);
      SetFocus(GetDlgItem(dialog, layout::controlId(layout::Id::Tipo)));
      return FALSE;  // the focus is set
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      if (HIWORD(wParam) != BN_CLICKED || context == nullptr) return FALSE;
      for (const layout::Id button :
           {layout::Id::CmdRuta, layout::Id::Aceptar, layout::Id::Cancelar}) {
        if (id != layout::controlId(button)) continue;
        FrmDatos& form = *context->form;
        takeTexts(dialog, form);
        form.click(button);
        if (form.state() != FrmDatos::State::Visible) {
          closeDialog(dialog, *context);
        } else {
          showTexts(dialog, form);  // Examinar may have changed the folder
        }
        return TRUE;
      }
      return TRUE;  // Enter and Esc (IDOK, IDCANCEL) press nothing
    }
    case WM_DPICHANGED: {  // moved to a monitor of another DPI: laid out again there
      if (context == nullptr) return FALSE;
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      SetWindowPos(dialog, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      layOut(dialog, *context, LOWORD(wParam));
      return TRUE;
    }
    case WM_CLOSE:
      if (context == nullptr) return FALSE;
      context->form->closeFromFrame();
      closeDialog(dialog, *context);
      return TRUE;
    case WM_DESTROY:
      tDialog = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // Called from the modal loop, which runs in the host's floating-point state.
  const FpEntry entry;
  auto* context = message == WM_INITDIALOG
                      ? reinterpret_cast<DialogContext*>(lParam)
                      : reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  // No exception may unwind through user32's frames (on 32-bit Windows that ends the
  // process): the dialog ends, and the exception is thrown again once it has.
  try {
    return handleMessage(dialog, message, wParam, lParam, context);
  } catch (...) {
    if (context == nullptr) return FALSE;
    if (!context->failure) context->failure = std::current_exception();
    closeDialog(dialog, *context);
    return TRUE;
  }
}

// An empty extended dialog template with the shell's dialog font (DS_SHELLFONT, which
// Windows draws in the system's user interface font); the controls are made at their
// pixel positions when the dialog starts.
std::vector<WORD> dialogTemplate() {
  std::vector<WORD> t;
  auto dword = [&](DWORD v) {
    t.push_back(LOWORD(v));
    t.push_back(HIWORD(v));
  };
  t.push_back(1);       // dlgVer
  t.push_back(0xFFFF);  // signature: an extended template
  dword(0);             // help identifier
  dword(0);             // extended style
  dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SHELLFONT);
  t.push_back(0);                              // no items
  for (int i = 0; i < 4; ++i) t.push_back(0);  // position and size: set when it starts
  t.push_back(0);                              // no menu
  t.push_back(0);                              // the standard dialog class
  for (const char16_t* p = layout::kTitle; *p; ++p) t.push_back(*p);
  t.push_back(0);
  t.push_back(8);                     // point size
  t.push_back(FW_NORMAL);             // weight
  t.push_back(DEFAULT_CHARSET << 8);  // not italic; the character set
  for (const wchar_t* p = L"MS Shell Dlg"; *p; ++p) t.push_back(static_cast<WORD>(*p));
  t.push_back(0);
  return t;
}

using unique_item_list = unique_any<PIDLIST_ABSOLUTE, &::CoTaskMemFree>;

}  // namespace

int Win32User::messageBox(const std::u16string& text, const std::u16string& title, int style) {
  int answer = 0;
  if (tDialog) {
    // Owned by the dialog, which is disabled meanwhile; the host's windows already are.
    answer = callOut(
        [&] { return MessageBoxW(tDialog, wide(text), wide(title), static_cast<UINT>(style)); });
  } else {
    // Owned by the host's window where the thread has one; the thread's windows are
    // disabled either way.
    const ThreadModal modal;
    const HWND owner = modal.owner();
    answer = callOut([&] {
      return MessageBoxW(owner, wide(text), wide(title),
                         static_cast<UINT>(style) | (owner ? 0 : MB_TASKMODAL));
    });
  }
  if (answer <= 0) {
    throw RuntimeError(err::kAutomation, u"No se puede mostrar el mensaje «" + text + u"»");
  }
  return answer;
}

void Win32User::showModal(FrmDatos& form) {
  ThreadModal modal;
  DialogContext context{&form, module_, &modal};
  std::vector<WORD> tmpl = dialogTemplate();
  // The modal loop runs the host's messages too.
  const INT_PTR result = callOut([&] {
    return DialogBoxIndirectParamW(module_, reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()),
                                   modal.owner(), dialogProc, reinterpret_cast<LPARAM>(&context));
  });
  tDialog = nullptr;
  if (context.failure) std::rethrow_exception(context.failure);
  if (result == -1) {
    throw RuntimeError(err::kAutomation,
                       u"No se puede mostrar el cuadro de diálogo «Datos de presupuesto»");
  }
}

std::optional<std::u16string> Win32User::browseForFolder(const std::u16string& instruction) {
  BROWSEINFOW request{};
  request.hwndOwner = tDialog;
  request.pidlRoot = nullptr;
  request.pszDisplayName = nullptr;
  request.lpszTitle = wide(instruction);
  request.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  request.lpfn = nullptr;
  request.lParam = 0;
  request.iImage = 0;
  const unique_item_list items(callOut([&] { return SHBrowseForFolderW(&request); }));
  if (items.get() == nullptr) return std::nullopt;
  // A folder's path may be longer than MAX_PATH: a buffer for the longest a path can be.
  std::vector<wchar_t> path(32768, L'\0');
  if (!SHGetPathFromIDListEx(items.get(), path.data(), static_cast<DWORD>(path.size()),
                             GPFIDL_DEFAULT)) {
    return std::nullopt;
  }
  return std::u16string(reinterpret_cast<const char16_t*>(path.data()));
}

}  // namespace brosk
