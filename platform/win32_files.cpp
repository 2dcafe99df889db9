#include <windows.h>

#include <algorithm>
#include <cstdio>

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

const wchar_t* wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

class TempFile {
 public:
  ~TempFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    if (!path_.empty()) DeleteFileW(wide(path_));
  }
  bool create(const std::u16string& target) {
    const auto slash = target.find_last_of(u"\\/");
    const std::u16string folder = slash == std::u16string::npos ? u"" : target.substr(0, slash + 1);
    const std::u16string name = slash == std::u16string::npos ? target : target.substr(slash + 1);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, ".%08lx%02x.tmp", GetTickCount(), attempt);
      std::u16string candidate = folder + u"." + name;
      for (const char* p = suffix; *p; ++p) candidate.push_back(static_cast<char16_t>(*p));
      if (injected(FileStep::Create)) return false;
      handle_ = CreateFileW(wide(candidate), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
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
  const std::u16string& path() const { return path_; }
  bool close() {
    const HANDLE h = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return CloseHandle(h) != 0;
  }
  void release() { path_.clear(); }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
  std::u16string path_;
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
  const DWORD attributes = GetFileAttributesW(wide(path));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    throw win32FileError(ERROR_ALREADY_EXISTS, path);
  }
  TempFile temp;
  if (!temp.create(path)) throw win32FileError(GetLastError(), path);
  if (!writeAll(temp.handle(), bytes)) throw win32FileError(GetLastError(), path);
  if (injected(FileStep::Flush) || !FlushFileBuffers(temp.handle())) {
    throw win32FileError(GetLastError(), path);
  }
  if (!temp.close()) throw win32FileError(GetLastError(), path);
  if (injected(FileStep::Rename) ||
      !MoveFileExW(wide(temp.path()), wide(path),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw win32FileError(GetLastError(), path);
  }
  temp.release();
}

}  // namespace brosk
