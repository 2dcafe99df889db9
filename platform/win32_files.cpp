#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/files.h"
#include "platform/win32_system.h"

namespace brosk {
namespace {

thread_local FileFault tFault;
thread_local int tCalls = 0;  // replaceFile calls since the fault was set

bool injected(FileStep step) {
  if (tFault.step != step || tCalls <= tFault.after) return false;
  SetLastError(static_cast<DWORD>(tFault.code));
  return true;
}

class TempFile {
 public:
  ~TempFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  // `target` is an extended path: the temporary name beside it may be longer than
  // MAX_PATH as well.
  bool create(const std::wstring& target) {
    const auto slash = target.find_last_of(L"\\");
    const std::wstring folder = slash == std::wstring::npos ? L"" : target.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? target : target.substr(slash + 1);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      wchar_t suffix[32];
      swprintf(suffix, 32, L".%08lx%02x.tmp", GetTickCount(), attempt);
      const std::wstring candidate = folder + L"." + name + suffix;
      if (injected(FileStep::Create)) return false;
      handle_ = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle_ != INVALID_HANDLE_VALUE) {
        path_ = std::move(candidate);
        return true;
      }
      if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    }
    return false;
  }
  HANDLE handle() const { return handle_; }
  const std::wstring& path() const { return path_; }
  bool close() {
    const HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }
  void release() { path_.clear(); }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::wstring path_;
};

bool writeAll(HANDLE h, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (injected(FileStep::Write)) return false;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) return false;
    done += written;
  }
  return true;
}

}  // namespace

void setFileFault(FileFault fault) {
  tFault = fault;
}

void replaceFile(const std::u16string& path, std::span<const std::uint8_t> bytes) {
  ++tCalls;
  checkPath(path);
  const std::wstring target = extendedPath(path);
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw win32FileError(ERROR_ALREADY_EXISTS, path);
  }
  TempFile temp;
  if (!temp.create(target)) throw win32FileError(GetLastError(), path);
  if (!writeAll(temp.handle(), bytes)) throw win32FileError(GetLastError(), path);
  if (injected(FileStep::Flush) || !FlushFileBuffers(temp.handle())) {
    throw win32FileError(GetLastError(), path);
  }
  if (!temp.close()) throw win32FileError(GetLastError(), path);
  if (injected(FileStep::Rename) ||
      !MoveFileExW(temp.path().c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw win32FileError(GetLastError(), path);
  }
  temp.release();
}

}  // namespace brosk
