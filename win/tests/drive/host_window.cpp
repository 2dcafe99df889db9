#include "win/tests/drive/host_window.h"

namespace drive {

HostWindow::HostWindow(FpControlWords own) : own_(own) {
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
  handled_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
}

HostWindow::~HostWindow() {
  KillTimer(window_, 1);
  DestroyWindow(window_);
}

LRESULT CALLBACK HostWindow::proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (message == WM_NCCREATE) {
    self = static_cast<HostWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (self && message == WM_TIMER) {
    ++self->ticks_;
    if (const FpControlWords now = brosk::readFpControl(); !sameControl(now, self->own_)) {
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
    SetEvent(self->handled_.get());
    return 0;
  }
  return DefWindowProcW(h, message, wParam, lParam);
}

}  // namespace drive
