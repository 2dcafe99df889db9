// The file-system calls of whole-file replacement on Linux: POSIX calls on UTF-8 paths.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "automation/text.h"
#include "platform/files.h"
#include "platform/linux_system.h"
#include "platform/unique_any.h"

namespace brosk {
namespace {

using unique_fd = unique_any<int, &::close, -1>;

class LinuxFile : public FileSystem::File {
 public:
  using Error = FileSystem::Error;

  explicit LinuxFile(int fd) : fd_(fd) {}

  Error write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += static_cast<std::size_t>(n);
    }
    return 0;
  }
  Error flush() override { return ::fsync(fd_.get()) == 0 ? 0 : errno; }
  Error close() override { return ::close(fd_.release()) == 0 ? 0 : errno; }

 private:
  unique_fd fd_;
};

class LinuxFileSystem : public FileSystem {
 public:
  std::u16string nativePath(const std::u16string& path) override { return path; }
  char16_t separator() override { return u'/'; }
  Entry entry(const std::u16string& native) override {
    struct stat st {};
    if (::stat(toUtf8(native).c_str(), &st) != 0) return Entry::None;
    if (S_ISDIR(st.st_mode)) return Entry::Folder;
    // Linux has no read-only mark: a file that nobody may write stands for one.
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 ? Entry::ReadOnlyFile : Entry::File;
  }
  Error read(const std::u16string& native, std::vector<std::uint8_t>& bytes) override {
    const unique_fd fd(::open(toUtf8(native).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return errno;
    bytes.clear();
    std::uint8_t buffer[65536];
    while (true) {
      const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return errno;
      if (n == 0) return 0;
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
  }
  Error createNew(const std::u16string& native, std::unique_ptr<File>& file) override {
    unique_fd fd(::open(toUtf8(native).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) return errno;
    file = std::make_unique<LinuxFile>(fd.release());
    return 0;
  }
  Error replace(const std::u16string& from, const std::u16string& to) override {
    return ::rename(toUtf8(from).c_str(), toUtf8(to).c_str()) == 0 ? 0 : errno;
  }
  void remove(const std::u16string& native) noexcept override {
    try {
      ::unlink(toUtf8(native).c_str());
    } catch (...) {
      // no memory for the name: the temporary file stays, the failure before it is told
    }
  }
  void flushFolderOf(const std::u16string& native) override {
    const auto slash = native.rfind(u'/');
    const std::string folder =
        slash == std::u16string::npos ? "." : toUtf8(native.substr(0, slash + 1));
    const unique_fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd) ::fsync(fd.get());  // best effort: the rename is already visible
  }
  bool alreadyExists(Error error) override { return error == EEXIST; }
  // Linux keeps no other program out of a file it has open; a busy file is the nearest.
  bool heldOpen(Error error) override { return error == EBUSY || error == ETXTBSY; }
  bool mayPass(Error error) override { return heldOpen(error); }
  void pause(int milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
  RuntimeError error(Error error, const std::u16string& path) override {
    return fileSystemError(error, path);
  }
  std::uint32_t randomNumber() override { return random_(); }

 private:
  std::random_device random_;
};

}  // namespace

FileSystem& systemFileSystem() {
  static LinuxFileSystem files;
  return files;
}

}  // namespace brosk
