// The file-system calls of whole-file replacement on Windows: the wide-character Win32
// calls on extended-length paths.
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "platform/files.h"
#include "platform/unique_any.h"
#include "platform/win32_system.h"

namespace brosk {
namespace {

using unique_handle = unique_any<HANDLE, &::CloseHandle, -1>;  // INVALID_HANDLE_VALUE

const wchar_t* wide(const std::u16string& s) {
  return reinterpret_cast<const wchar_t*>(s.c_str());
}

class Win32File : public FileSystem::File {
 public:
  using Error = FileSystem::Error;

  explicit Win32File(HANDLE handle) : handle_(handle) {}

  Error write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
      DWORD written = 0;
      if (!WriteFile(handle_.get(), bytes.data() + done, chunk, &written, nullptr))
        return static_cast<Error>(GetLastError());
      done += written;
    }
    return 0;
  }
  Error flush() override {
    return FlushFileBuffers(handle_.get()) ? 0 : static_cast<Error>(GetLastError());
  }
  Error close() override {
    return CloseHandle(handle_.release()) ? 0 : static_cast<Error>(GetLastError());
  }

 private:
  unique_handle handle_;
};

class Win32FileSystem : public FileSystem {
 public:
  std::u16string nativePath(const std::u16string& path) override {
    const std::wstring extended = extendedPath(path);
    return std::u16string(extended.begin(), extended.end());
  }
  char16_t separator() override { return u'\\'; }
  Entry entry(const std::u16string& native) override {
    const DWORD attributes = GetFileAttributesW(wide(native));
    if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::None;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Entry::Folder;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? Entry::ReadOnlyFile : Entry::File;
  }
  Error read(const std::u16string& native, std::vector<std::uint8_t>& bytes) override {
    // Others may read, write and even replace it meanwhile, as they may before.
    const unique_handle handle(CreateFileW(wide(native), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return static_cast<Error>(GetLastError());
    bytes.clear();
    std::uint8_t buffer[65536];
    while (true) {
      DWORD n = 0;
      if (!ReadFile(handle.get(), buffer, sizeof buffer, &n, nullptr))
        return static_cast<Error>(GetLastError());
      if (n == 0) return 0;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
  }
  Error createNew(const std::u16string& native, std::unique_ptr<File>& file) override {
    unique_handle handle(CreateFileW(wide(native), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle) return static_cast<Error>(GetLastError());
    file = std::make_unique<Win32File>(handle.release());
    return 0;
  }
  Error replace(const std::u16string& from, const std::u16string& to) override {
    return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : static_cast<Error>(GetLastError());
  }
  void remove(const std::u16string& native) noexcept override { DeleteFileW(wide(native)); }
  // MOVEFILE_WRITE_THROUGH has made the rename durable already.
  void flushFolderOf(const std::u16string&) override {}
  bool alreadyExists(Error error) override {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  }
  bool heldOpen(Error error) override {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  }
  bool mayPass(Error error) override { return heldOpen(error) || error == ERROR_ACCESS_DENIED; }
  void pause(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }
  RuntimeError error(Error error, const std::u16string& path) override {
    return win32FileError(static_cast<unsigned long>(error), path);
  }
  std::uint32_t randomNumber() override {
    return static_cast<std::uint32_t>(GetTickCount()) * 2654435761u + counter_++;
  }

 private:
  std::atomic<std::uint32_t> counter_{GetCurrentProcessId()};
};

}  // namespace

bool sameFileName(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

FileSystem& systemFileSystem() {
  static Win32FileSystem files;
  return files;
}

}  // namespace brosk
