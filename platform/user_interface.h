// What the plug-in needs from its user: message boxes, the order data dialog and the
// folder browser. The Win32 and terminal views implement it; tests script it.
#pragma once

#include <optional>
#include <string>

namespace brosk {

class FrmDatos;

// Message box styles and answers, with the values Windows gives them.
namespace mb {
inline constexpr int kOk = 0;
inline constexpr int kYesNo = 4;
inline constexpr int kCritical = 16;
inline constexpr int kExclamation = 48;
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
}  // namespace mb

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // A modal message box; returns the button pressed.
  virtual int messageBox(const std::u16string& text, const std::u16string& title, int style) = 0;
  // Shows the order data dialog modally: returns once the form is hidden or unloaded.
  virtual void showModal(FrmDatos& form) = 0;
  // The folder browser; no value when the user cancels it.
  virtual std::optional<std::u16string> browseForFolder(const std::u16string& instruction) = 0;
};

}  // namespace brosk
