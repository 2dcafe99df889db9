#include "platform/win32_paths.h"

namespace brosk {

std::wstring extendedPath(const std::u16string& path) {
  const std::wstring given(path.begin(), path.end());
  if (given.rfind(L"\\\\?\\", 0) == 0) return given;
  const DWORD size = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (size == 0) return given;
  std::wstring full(size, L'\0');
  const DWORD n = GetFullPathNameW(given.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return given;
  full.resize(n);
  if (full.rfind(L"\\\\.\\", 0) == 0 || full.rfind(L"\\\\?\\", 0) == 0) return full;  // devices
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);  // \\server\share
  return L"\\\\?\\" + full;
}

bool sameFileName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

QuietErrors::QuietErrors() noexcept {
  set_ = SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous_) != 0;
}
QuietErrors::~QuietErrors() {
  if (set_) SetThreadErrorMode(previous_, nullptr);
}

}  // namespace brosk
