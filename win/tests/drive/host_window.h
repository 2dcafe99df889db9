// The host's own window: visible, with an edit box that has the focus, a timer that checks
// the floating-point state the host's code runs in, and a menu command that runs the link
// command again (as the user picking the menu item while the plug-in is busy would).
#pragma once

#include "platform/unique_any.h"
#include "win/tests/drive/common.h"

namespace drive {

inline constexpr UINT kMenuCommand = 100;

class HostWindow {
 public:
  explicit HostWindow(FpControlWords own);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  void use(IDispatch* plugin) { plugin_ = plugin; }
  HWND window() const { return window_; }
  HWND edit() const { return edit_; }
  // Set each time the menu command has been handled.
  HANDLE handled() const { return handled_.get(); }
  // Ticks that ran in another floating-point state than the host's own, and the last one.
  int foreignTicks() const { return foreign_; }
  int ticks() const { return ticks_; }
  FpControlWords lastForeign() const { return lastForeign_; }

 private:
  static LRESULT CALLBACK proc(HWND h, UINT message, WPARAM wParam, LPARAM lParam);

  FpControlWords own_;
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  brosk::unique_any<HANDLE, &::CloseHandle> handled_;
  IDispatch* plugin_ = nullptr;
  int ticks_ = 0;
  int foreign_ = 0;
  FpControlWords lastForeign_{};
};

}  // namespace drive
