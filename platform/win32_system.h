// The system services on Windows: the file system through the wide-character Win32
// calls, the user's conventions from the locale settings, drive C: as it is.
#pragma once

#include <windows.h>

#include <string>

#include "automation/error.h"
#include "platform/platform.h"
#include "platform/unique_any.h"

namespace brosk {

// UTF-16 text as the wide-character calls take it (wchar_t is 16 bits on Windows).
inline const wchar_t* wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}
inline const wchar_t* wide(const char16_t* s) {
  return reinterpret_cast<const wchar_t*>(s);
}

// A directory search, closed when its owner goes; INVALID_HANDLE_VALUE owns nothing.
using unique_find = unique_any<HANDLE, &::FindClose, -1>;

// The run-time error for a failed file-system call: a Win32 error code mapped to the VB
// number, the description saying what went wrong and on which path.
RuntimeError win32FileError(unsigned long code, const std::u16string& path);

// A path in the form the wide-character file calls take at any length: made absolute and
// normalised by the system, then marked "\\?\" (or "\\?\UNC\") so that no call cuts
// it at MAX_PATH. Without that mark a folder name is refused at 248 characters and a file
// name at 260, and the temporary name of a workbook, 15 characters longer than the
// workbook's, would make a legal target fail.
std::wstring extendedPath(const std::u16string& path);

// Whether two names (of files, folders, keys, words) are the same as Windows compares
// names: without regard to case, in any script.
bool sameFileName(const std::wstring& a, const std::wstring& b);

// While one lives, the thread's error mode keeps the system from asking the user about a
// drive with no medium (the "no disk" box) inside the host: the call fails instead.
class QuietErrors {
 public:
  QuietErrors() noexcept;
  ~QuietErrors();
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  unsigned long previous_ = 0;
  bool set_ = false;
};

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
