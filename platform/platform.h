// What the plug-in needs from the system it runs on and from its user. Windows and
// Linux implement these; tests and the substitute host script them.
#pragma once

#include <optional>
#include <string>

#include "automation/convert.h"
#include "automation/factory.h"
#include "platform/files.h"

namespace brosk {

class FrmDatos;

struct LocalDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

class SystemServices {
 public:
  virtual ~SystemServices() = default;

  // True when `path` names an existing folder or ordinary file that a directory listing
  // shows (on Windows hidden and system entries do not count; Linux has no such
  // attribute, and a name beginning with a dot counts like any other).
  virtual bool entryExists(const std::u16string& path) = 0;
  // Creates one folder; its parent must exist. Fails with a RuntimeError naming the path.
  virtual void createFolder(const std::u16string& path) = 0;
  virtual LocalDate today() = 0;
  // The user's decimal and digit-grouping separators.
  virtual NumberFormat numberFormat() = 0;
  // The separator the user's short date puts between day, month and year.
  virtual std::u16string dateSeparator() = 0;
  // "\" on Windows, "/" on Linux.
  virtual char16_t pathSeparator() = 0;
  // The default destination folder (C:\KD_LORVENIC on Windows) and the folder used when
  // the user declines to create it (C:\ on Windows).
  virtual std::u16string defaultFolder() = 0;
  virtual std::u16string fallbackFolder() = 0;
};

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

// Everything a Plugin object reaches outside itself.
struct Services {
  SystemServices& system;
  UserInterface& ui;
  ObjectFactory& factory;
  FileSystem& files;  // the one the spreadsheet engine writes through too
};

}  // namespace brosk
