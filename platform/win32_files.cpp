// The file-system calls of whole-file replacement on Windows: the wide-character Win32
// calls on extended-length paths.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <vector>

#include "automation/text.h"
#include "platform/files.h"
#include "platform/unique_any.h"
#include "platform/win32_paths.h"

namespace brosk {
namespace {

using unique_handle = unique_any<HANDLE, &::CloseHandle, -1>;  // INVALID_HANDLE_VALUE
using unique_local = unique_any<wchar_t*, &::LocalFree>;

std::int64_t ticks(const FILETIME& t) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
                                   t.dwLowDateTime);
}

// Windows' text for a system error code, in the user's language.
std::u16string systemMessage(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const unique_local owned(buffer);
  if (n == 0 || !buffer) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(buffer), n);
}

// The run-time error for a failed file-system call: a Win32 error code mapped to the VB
// number, the description saying what went wrong and on which path.
RuntimeError win32FileError(unsigned long code, const std::u16string& path) {
  std::int32_t number = err::kPathFileAccess;
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      number = err::kPathNotFound;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      number = err::kPermissionDenied;
      break;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY:
    case ERROR_FILENAME_EXCED_RANGE:
      number = err::kBadFileName;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      number = err::kDiskFull;
      break;
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
      number = err::kIoError;
      break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
      break;
    default:
      // A network drop, an offline cloud file, an antivirus block and the like: the
      // number says little, Windows' own code and text say what happened.
      return withSystemReason(pathError(err::kPathFileAccess, path), u"Windows", code,
                              systemMessage(code));
  }
  return pathError(number, path);
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
  Error renameTo(const std::u16string& native) override {
    const std::size_t nameBytes = native.size() * sizeof(char16_t);
    std::vector<std::uint8_t> buffer(offsetof(FILE_RENAME_INFO, FileName) + nameBytes +
                                     sizeof(char16_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(rename->FileName, native.data(), nameBytes);
    const QuietErrors quiet;
    return SetFileInformationByHandle(handle_.get(), FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size()))
               ? 0
               : static_cast<Error>(GetLastError());
  }
  Error close() override {
    return CloseHandle(handle_.release()) ? 0 : static_cast<Error>(GetLastError());
  }
  // Normal attributes again through our own handle (zero times leave the times as they are).
  void unhide() override {
    FILE_BASIC_INFO basic{};
    basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    (void)SetFileInformationByHandle(handle_.get(), FileBasicInfo, &basic, sizeof basic);
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
    const QuietErrors quiet;
    const DWORD attributes = GetFileAttributesW(wide(native));
    if (attributes == INVALID_FILE_ATTRIBUTES) return Entry::None;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Entry::Folder;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? Entry::ReadOnlyFile : Entry::File;
  }
  Error list(const std::u16string& nativeFolder, std::vector<Listed>& files) override {
    const QuietErrors quiet;
    WIN32_FIND_DATAW found;
    const unique_find find(FindFirstFileExW(wide(nativeFolder + u"*"), FindExInfoBasic, &found,
                                            FindExSearchNameMatch, nullptr, 0));
    if (!find) return static_cast<Error>(GetLastError());
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    files.clear();
    do {
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      const std::int64_t age = (ticks(now) - ticks(found.ftLastWriteTime)) / 10'000'000;
      files.push_back({reinterpret_cast<const char16_t*>(found.cFileName), age});
    } while (FindNextFileW(find.get(), &found));
    return 0;
  }
  Error createNew(const std::u16string& native, std::unique_ptr<File>& file) override {
    const QuietErrors quiet;
    // Open until the set is committed: renamed through this open (hence DELETE), then
    // flushed. Hidden until just before its rename (unhide).
    unique_handle handle(CreateFileW(wide(native), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE,
                                     nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!handle) return static_cast<Error>(GetLastError());
    file = std::make_unique<Win32File>(handle.release());
    return 0;
  }
  // Opening the target for deletion with every sharing allowed: a program that holds it
  // without delete sharing gets a sharing violation, a user without the right to replace
  // it (an ACL, Controlled Folder Access, a share's veto) an access denial.
  Error probe(const std::u16string& native) override {
    const QuietErrors quiet;
    const unique_handle handle(
        CreateFileW(wide(native), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (handle) return 0;
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND ? 0 : static_cast<Error>(code);
  }
  Error link(const std::u16string& existing, const std::u16string& extra) override {
    const QuietErrors quiet;
    return CreateHardLinkW(wide(extra), wide(existing), nullptr)
               ? 0
               : static_cast<Error>(GetLastError());
  }
  Error replace(const std::u16string& from, const std::u16string& to) override {
    const QuietErrors quiet;
    return MoveFileExW(wide(from), wide(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : static_cast<Error>(GetLastError());
  }
  Error remove(const std::u16string& native) noexcept override {
    const QuietErrors quiet;
    return DeleteFileW(wide(native)) ? 0 : static_cast<Error>(GetLastError());
  }
  // The folder's own flush, as NTFS takes one for a directory opened with write access
  // (FILE_ADD_FILE, which a user who could create the files has); best effort, after each
  // renamed file's own flush (its data and metadata).
  void flushFolderOf(const std::u16string& native) noexcept override {
    try {
      const QuietErrors quiet;
      const unique_handle folder(
          CreateFileW(wide(native.substr(0, native.rfind(u'\\') + 1)), FILE_ADD_FILE,
                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
      if (folder) (void)FlushFileBuffers(folder.get());
    } catch (...) {
      // no memory for the name: the renames are done and visible all the same
    }
  }
  bool alreadyExists(Error error) override {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
  }
  bool heldOpen(Error error) override {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
  }
  bool mayBeHeld(Error error) override { return error == ERROR_ACCESS_DENIED; }
  std::int64_t now() override { return static_cast<std::int64_t>(GetTickCount64()); }
  void pause(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }
  std::int64_t wallClock() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (ticks(now) - 116444736000000000) / 10'000'000;  // from 1601 to 1970
  }
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

FileSystem& systemFileSystem() {
  static Win32FileSystem files;
  return files;
}

}  // namespace brosk
