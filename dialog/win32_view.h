// The user on Windows: modal message boxes, the shell's folder browser and the order
// data dialog as a Win32 window.
#pragma once

#include <windows.h>

#include "platform/user_interface.h"

namespace brosk {

class Win32User : public UserInterface {
 public:
  // `module` holds the dialog's icon (resource kIconId).
  explicit Win32User(HINSTANCE module) : module_(module) {}

  static constexpr int kIconId = 101;

  // Each window of the plug-in is modal to the calling thread while it waits for the
  // user, as a modal form is: the thread's other windows (the host's) are disabled
  // meanwhile and enabled again afterwards, with the focus back where it was, so that the
  // user cannot pick the host's menu item again.

  // MessageBoxW with the given style: owned by the dialog while it is shown, task-modal
  // otherwise.
  int messageBox(const std::u16string& text, const std::u16string& title, int style) override;
  // The dialog at the layout's twip positions, scaled to its own DPI, in the shell's dialog
  // font, centred on the monitor of the host's window and brought to the front, with no
  // owner window. Enter and Esc press nothing; a close through the frame acts as Cancelar.
  // An exception in its window procedure ends it and is thrown again here, never through
  // the system's frames.
  void showModal(FrmDatos& form) override;
  // SHBrowseForFolderW rooted at the desktop, file-system folders only; the path through
  // SHGetPathFromIDListEx, of any length. An item without a file-system path counts as no
  // choice.
  std::optional<std::u16string> browseForFolder(const std::u16string& instruction) override;

 private:
  HINSTANCE module_;
};

}  // namespace brosk
