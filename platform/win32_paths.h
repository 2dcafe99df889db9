// Windows path helpers for every Win32 caller of the file calls: the wide-character form
// of a text, paths of any length, names compared as Windows compares them, and the
// thread's error mode kept from asking the user about a drive.
#pragma once

#include <windows.h>

#include <string>

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

}  // namespace brosk
