// The user brosk-drive plays, on a thread of its own: it finds the order data dialog and
// the message boxes of the plug-in's thread by their titles, types into the dialog,
// presses its buttons and answers the boxes, all through window messages, and says what
// it saw.
#pragma once

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "dialog/layout.h"
#include "win/tests/drive/common.h"
#include "win/tests/drive/host_window.h"

namespace drive {

using brosk::layout::Id;

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

  void run();

 private:
  struct Found {
    DWORD thread;
    HWND box = nullptr;
    HWND dialog = nullptr;
  };

  static BOOL CALLBACK visit(HWND h, LPARAM p);

  void find(HWND& box, HWND& dialog);

  static BOOL CALLBACK visitText(HWND child, LPARAM p);

  static std::wstring boxText(HWND box);

  // While a window of the plug-in is up: is the host's window disabled, and does the
  // menu command that the host's message loop delivers meanwhile get refused?
  void hostChecks(const std::wstring& title);

  // A message box still being made has no title yet: not ready.
  bool answer(HWND box);

  void act(HWND dialog);

  // The name Active Accessibility gives an input that has no text of its own, as a screen
  // reader speaks it: the text of the nearest static control before it in the window
  // order, passing over hidden windows and stopping at another control the Tab key
  // reaches. (Wine's oleacc does not name controls from their labels; the rule is applied
  // here as Active Accessibility states it.) "[names] Serie: | Número de presupuesto: | ...".
  static std::u16string labelOf(HWND input);
  static void sayNames(HWND dialog);

  // Whether the dialog is in front, and centred on the work area of the monitor its host's
  // window is on (the primary one without a host window).
  void sayPlacement(HWND dialog);

  // "the host window" when `window` is owned by it, "none" or "another window" otherwise.
  std::u16string ownerOf(HWND window) const;

  // A folder typed and pasted into the folder box, as a user would try: "[folder] ..." with
  // what the box shows then, and whether Tab reaches it.
  static void typeIntoFolder(HWND dialog);

  void holdForSnapshot(HWND dialog);

  static void waitGone(HWND h);

  Script script_;
  DWORD thread_;
  HostWindow* host_;
  HWND actedOn_ = nullptr;
};

}  // namespace drive
