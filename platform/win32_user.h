// The user on Windows: modal message boxes, the shell's folder browser and the order
// data dialog as a Win32 window.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace brosk {

class Win32User : public UserInterface {
 public:
  // `module` holds the dialog's icon (resource kIconId).
  explicit Win32User(HINSTANCE module) : module_(module) {}

  static constexpr int kIconId = 101;

  // MessageBoxW with the given style, owned by the dialog while it is shown.
  int messageBox(const std::u16string& text, const std::u16string& title, int style) override;
  // The dialog at the layout's twip positions, scaled to the screen's DPI, centred on the
  // screen, modal with no owner. Enter and Esc press nothing; a close through the frame
  // acts as Cancelar.
  void showModal(FrmDatos& form) override;
  // SHBrowseForFolderW rooted at the desktop, file-system folders only; the path through
  // SHGetPathFromIDListW. An item without a file-system path counts as no choice.
  std::optional<std::u16string> browseForFolder(const std::u16string& instruction) override;

 private:
  HINSTANCE module_;
};

}  // namespace brosk
