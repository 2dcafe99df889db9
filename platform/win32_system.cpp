#include "platform/win32_system.h"

#include <windows.h>

#include <optional>

#include "automation/text.h"
#include "platform/files.h"
#include "platform/unique_any.h"

namespace brosk {
namespace {

std::u16string localeText(LCTYPE type, const char16_t* fallback) {
  wchar_t buffer[16];
  const int n = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buffer, 16);
  if (n <= 1) return fallback;
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), static_cast<std::size_t>(n - 1));
}

}  // namespace

namespace {

// The name an entry of the listing of `path` has, if the listing finds one that is neither
// hidden nor a system entry: its long name, whatever name matched it.
std::optional<std::wstring> listedName(const std::wstring& extended) {
  WIN32_FIND_DATAW found;
  const unique_find find(FindFirstFileW(extended.c_str(), &found));
  if (!find) return std::nullopt;
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0)
      return std::wstring(found.cFileName);
  } while (FindNextFileW(find.get(), &found));
  return std::nullopt;
}

// The last name of a path.
std::wstring lastName(const std::wstring& path) {
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool Win32System::entryExists(const std::u16string& path) {
  checkPath(path);
  const QuietErrors quiet;
  if (path.find_first_of(u"*?") != std::u16string::npos) return false;
  const std::wstring extended = extendedPath(path);
  const std::optional<std::wstring> name = listedName(extended);
  if (!name) return false;
  // A name that only another entry's short (8.3) alias answers to would reach that entry:
  // it names no entry of its own, and creating it is refused the same.
  if (!sameFileName(*name, lastName(extended))) throw pathError(err::kBadFileName, path);
  return true;
}

void Win32System::createFolder(const std::u16string& path) {
  checkPath(path);
  const QuietErrors quiet;
  const std::wstring extended = extendedPath(path);
  if (!CreateDirectoryW(extended.c_str(), nullptr)) {
    const DWORD code = GetLastError();
    // Creating a folder where access is refused is an access error, as VB's MkDir says.
    throw systemFileSystem().error(
        static_cast<FileSystem::Error>(code == ERROR_ACCESS_DENIED ? ERROR_ALREADY_EXISTS : code),
        path);
  }
  // Some file systems (and Wine) cut a long name short without a word: the folder made
  // must be there by the whole name, or nothing is to be written into it.
  const std::optional<std::wstring> made = listedName(extended);
  if (!made || !sameFileName(*made, lastName(extended))) {
    if (made) {
      RemoveDirectoryW(
          (extended.substr(0, extended.size() - lastName(extended).size()) + *made).c_str());
    }
    throw pathError(err::kBadFileName, path);
  }
}

LocalDate Win32System::today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay};
}

NumberFormat Win32System::numberFormat() {
  return {localeText(LOCALE_SDECIMAL, u"."), localeText(LOCALE_STHOUSAND, u","),
          groupsFromWindows(localeText(LOCALE_SGROUPING, u"3;0"))};
}

std::u16string Win32System::dateSeparator() {
  return localeText(LOCALE_SDATE, u"/");
}

}  // namespace brosk
