// What the plug-in needs from the system it runs on, and everything it reaches outside
// itself. Windows and Linux implement these; tests and the substitute host script them.
#pragma once

#include <optional>
#include <string>

#include "automation/convert.h"
#include "automation/factory.h"
#include "platform/files.h"
#include "platform/user_interface.h"

namespace brosk {

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

// Everything a Plugin object reaches outside itself.
struct Services {
  SystemServices& system;
  UserInterface& ui;
  ObjectFactory& factory;
  FileSystem& files;  // the one the spreadsheet engine writes through too
};

}  // namespace brosk
