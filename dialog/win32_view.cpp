#include "dialog/win32_view.h"

#include <shlobj.h>

#include <algorithm>
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
// focus put back where it was.
class ThreadModal {
 public:
  ThreadModal() : focus_(GetFocus()), active_(GetActiveWindow()) {
    EnumThreadWindows(GetCurrentThreadId(), &ThreadModal::disable, reinterpret_cast<LPARAM>(this));
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

 private:
  static BOOL CALLBACK disable(HWND window, LPARAM self) {
    if (IsWindowVisible(window) && IsWindowEnabled(window)) {
      EnableWindow(window, FALSE);
      reinterpret_cast<ThreadModal*>(self)->disabled_.push_back(window);
    }
    return TRUE;
  }

  HWND focus_;
  HWND active_;
  std::vector<HWND> disabled_;
};

struct DialogContext {
  FrmDatos* form;
  HINSTANCE module;
  ThreadModal* modal;
  HICON icon = nullptr;
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

void buildDialog(HWND dialog, const DialogContext& context) {
  HDC screen = GetDC(nullptr);
  const int dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  const int dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);

  // The client area at the layout's size, the window centred on the screen.
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE));
  RECT frame{0, 0, toPixels(layout::kClientWidth, dpiX), toPixels(layout::kClientHeight, dpiY)};
  AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);

  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  // Input controls and buttons in focus order first, so that Tab follows it; labels after.
  std::vector<const layout::Control*> order;
  for (const auto& c : layout::kControls) {
    if (c.tabIndex > 0) order.push_back(&c);
  }
  std::sort(order.begin(), order.end(), [](const layout::Control* a, const layout::Control* b) {
    return a->tabIndex < b->tabIndex;
  });
  for (const auto& c : layout::kControls) {
    if (c.tabIndex == 0) order.push_back(&c);
  }
  for (const layout::Control* c : order) {
    const wchar_t* windowClass = L"STATIC";
    DWORD controlStyle = WS_CHILD | WS_VISIBLE;
    DWORD controlExStyle = 0;
    int controlHeight = toPixels(c->height, dpiY);
    switch (c->kind) {
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
        controlHeight = toPixels(c->height, dpiY) * 8;  // the edit field and the drop-down list
        break;
      case layout::Kind::Button:
        windowClass = L"BUTTON";
        controlStyle |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    }
    const int id = c->id == layout::Id::None ? -1 : layout::controlId(c->id);
    HWND control = CreateWindowExW(
        controlExStyle, windowClass,
        c->kind == layout::Kind::Label || c->kind == layout::Kind::Button ? wide(c->text) : L"",
        controlStyle, toPixels(c->left, dpiX), toPixels(c->top, dpiY), toPixels(c->width, dpiX),
        controlHeight, dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), context.module,
        nullptr);
    if (control && font) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (c->kind == layout::Kind::ComboBox) {
      for (const char16_t* item : layout::kSeries) {
        SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide(item)));
      }
    }
  }
  if (context.icon)
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(context.icon));
}

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  // Called from the modal loop, which runs in the host's floating-point state.
  const FpEntry entry;
  auto* context = reinterpret_cast<DialogContext*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      context = reinterpret_cast<DialogContext*>(lParam);
      SetWindowLongPtrW(dialog, DWLP_USER, lParam);
      tDialog = dialog;
      buildDialog(dialog, *context);
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

// An empty dialog template: the title and the system font; the controls are made at
// their pixel positions when the dialog starts.
std::vector<WORD> dialogTemplate() {
  std::vector<WORD> t(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* header = reinterpret_cast<DLGTEMPLATE*>(t.data());
  header->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
  header->cdit = 0;
  t.push_back(0);  // no menu
  t.push_back(0);  // the standard dialog class
  for (const char16_t* p = layout::kTitle; *p; ++p) t.push_back(*p);
  t.push_back(0);
  t.push_back(8);  // point size
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
  const unique_icon icon(static_cast<HICON>(
      LoadImageW(module_, MAKEINTRESOURCEW(kIconId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
  context.icon = icon.get();
  std::vector<WORD> tmpl = dialogTemplate();
  INT_PTR result = -1;
  {
    const FpCallout callout;  // the modal loop runs the host's messages too
    result = DialogBoxIndirectParamW(module_, reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()),
                                     nullptr, dialogProc, reinterpret_cast<LPARAM>(&context));
  }
  tDialog = nullptr;
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
  wchar_t path[MAX_PATH + 1] = {};
  if (!SHGetPathFromIDListW(items.get(), path)) return std::nullopt;
  return std::u16string(reinterpret_cast<const char16_t*>(path));
}

}  // namespace brosk
