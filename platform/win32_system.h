// The system services on Windows: the file system through the wide-character Win32
// calls, the user's conventions from the locale settings, drive C: as it is.
#pragma once

#include <windows.h>

#include <string>

#include "platform/platform.h"
#include "platform/win32_paths.h"

namespace brosk {

class Win32System : public SystemServices {
 public:
  // Lists the path as FindFirstFileW does and takes the first entry that is neither
  // hidden nor a system entry. A path with the wildcards * or ? names no one entry:
  // it is not found, and creating it then fails with a clear error.
  bool entryExists(const std::u16string& path) override;
  void createFolder(const std::u16string& path) override;
  LocalDate today() override;
  NumberFormat numberFormat() override;
  std::u16string dateSeparator() override;
  char16_t pathSeparator() override { return u'\\'; }
  std::u16string defaultFolder() override { return u"C:\\KD_LORVENIC"; }
  std::u16string fallbackFolder() override { return u"C:\\"; }
};

}  // namespace brosk
