#include "dialog/win32_view.h"

#include <shlobj.h>

#include <exception>
#include <vector>

#include "automation/error.h"
#include "dialog/frm_datos.h"
#include "dialog/layout.h"
#include "platform/fp_state.h"
#include "platform/unique_any.h"

namespace brosk {
namespace {

// The dialog window of this thread while it is shown: the owner of message boxes and of
// the folder browser.
thread_local HWND tDialog = nullptr;

const wchar_t* wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}
const wchar_t* wide(const char16_t* s) {
  return reinterpret_cast<const wchar_t*>(s);
}

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

struct DialogContext {
  FrmDatos* form;
  HINSTANCE module;
  ThreadModal* modal;
  HICON smallIcon = nullptr;
  HICON largeIcon = nullptr;
  // What was thrown in the dialog procedure, to be thrown again once the dialog is gone.
  std::exception_ptr failure{};
};

// Closes the dialog: the host's windows are enabled first, then the dialog ends.
void closeDialog(HWND dialog, DialogContext& context) {
  context.modal->end();
  EndDialog(dialog, 0);
}

using unique_icon = unique_any<HICON, &::DestroyIcon>;

constexpr layout::Id kInputs[] = {layout::Id::Tipo,       layout::Id::NumPedido,
                                  layout::Id::CodCliente, layout::Id::ValorPunto,
                                  layout::Id::Iva,        layout::Id::Ruta};

void showTexts(HWND dialog, FrmDatos& form) {
  for (const layout::Id id : kInputs) {
    SetDlgItemTextW(dialog, layout::controlId(id), wide(form.text(id)));
  }
}

void takeTexts(HWND dialog, FrmDatos& form) {
  for (const layout::Id id : kInputs) {
    form.text(id) = windowText(GetDlgItem(dialog, layout::controlId(id)));
  }
}

int toPixels(int twips, int dpi) {
  return MulDiv(twips, dpi, 1440);
}

// The dialog's own DPI where the system says it (Windows 10 from 1607 on, per monitor),
// the screen's otherwise.
int dpiOf(HWND window) {
  using GetDpiForWindow = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// The client area at the layout's size; the window centred on the work area of the
// monitor the host's window is on (the primary one when there is no such window), in
// front, and above a host that keeps itself on top.
void placeDialog(HWND dialog, HWND host, int dpi) {
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE));
  RECT frame{0, 0, toPixels(layout::kClientWidth, dpi), toPixels(layout::kClientHeight, dpi)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(host, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const bool hostOnTop = host && (GetWindowLongPtrW(host, GWL_EXSTYLE) & WS_EX_TOPMOST);
  SetWindowPos(dialog, hostOnTop ? HWND_TOPMOST : HWND_TOP,
               area.left + (area.right - area.left - width) / 2,
               area.top + (area.bottom - area.top - height) / 2, width, height, 0);
  SetForegroundWindow(dialog);
}

// The controls, in the layout's rows: each caption just before its input, so that a
// screen reader (Active Accessibility names an input after the nearest text before it)
// names every input, and Tab follows the focus order, which rises along the rows.
void buildControls(HWND dialog, HINSTANCE module, int dpi) {
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  for (const layout::Control& c : layout::kControls) {
    const wchar_t* windowClass = L"STATIC";
    DWORD controlStyle = WS_CHILD | WS_VISIBLE;
    DWORD controlExStyle = 0;
    int controlHeight = toPixels(c.height, dpi);
    switch (c.kind) {
      case layout::Kind::Label:
        controlStyle |= SS_LEFT | SS_NOPREFIX;
        break;
      case layout::Kind::TextBox:
        windowClass = L"EDIT";
        controlStyle |= WS_TABSTOP | ES_AUTOHSCROLL;
        controlExStyle = WS_EX_CLIENTEDGE;
        break;
      case layout::Kind::ComboBox:
        windowClass = L"COMBOBOX";
        controlStyle |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
        controlHeight *= 8;  // the edit field and the drop-down list
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
        controlStyle, toPixels(c.left, dpi), toPixels(c.top, dpi), toPixels(c.width, dpi),
        controlHeight, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module, nullptr);
    if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (c.kind == layout::Kind::ComboBox) {
      for (const char16_t* item : layout::kSeries) {
        SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
      }
    }
  }
}

INT_PTR handleMessage(HWND dialog, UINT message, WPARAM wParam, DialogContext* context) {
  switch (message) {
    case WM_INITDIALOG: {
      tDialog = dialog;
      const int dpi = dpiOf(dialog);
      placeDialog(dialog, context->modal->hostWindow(), dpi);
      buildControls(dialog, context->module, dpi);
      if (context->smallIcon) {
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(context->smallIcon));
      }
      if (context->largeIcon) {
        SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(context->largeIcon));
      }
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
    return handleMessage(dialog, message, wParam, context);
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
    const FpCallout callout;
    answer = MessageBoxW(tDialog, wide(text), wide(title), static_cast<UINT>(style));
  } else {
    const ThreadModal modal;
    const FpCallout callout;
    answer = MessageBoxW(nullptr, wide(text), wide(title), static_cast<UINT>(style) | MB_TASKMODAL);
  }
  if (answer <= 0) {
    throw RuntimeError(err::kAutomation, u"No se puede mostrar el mensaje «" + text + u"»");
  }
  return answer;
}

void Win32User::showModal(FrmDatos& form) {
  ThreadModal modal;
  DialogContext context{&form, module_, &modal};
  auto icon = [&](int metric) {
    const int size = GetSystemMetrics(metric);
    return unique_icon(static_cast<HICON>(
        LoadImageW(module_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
  };
  const unique_icon smallIcon = icon(SM_CXSMICON);
  const unique_icon largeIcon = icon(SM_CXICON);
  context.smallIcon = smallIcon.get();
  context.largeIcon = largeIcon.get();
  std::vector<WORD> tmpl = dialogTemplate();
  INT_PTR result = -1;
  {
    const FpCallout callout;  // the modal loop runs the host's messages too
    result = DialogBoxIndirectParamW(module_, reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()),
                                     nullptr, dialogProc, reinterpret_cast<LPARAM>(&context));
  }
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
  PIDLIST_ABSOLUTE chosen = nullptr;
  {
    const FpCallout callout;
    chosen = SHBrowseForFolderW(&request);
  }
  const unique_item_list items(chosen);
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
