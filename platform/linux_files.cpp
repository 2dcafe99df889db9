// The file-system calls of whole-file replacement on Linux: POSIX calls on UTF-8 paths.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>

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
using unique_dir = unique_any<DIR*, &::closedir>;

class LinuxFile : public FileSystem::File {
 public:
  using Error = FileSystem::Error;

  LinuxFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

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
  Error renameTo(const std::u16string& native) override {
    std::string to = toUtf8(native);
    if (::rename(path_.c_str(), to.c_str()) != 0) return errno;
    path_ = std::move(to);
    return 0;
  }
  Error close() override { return ::close(fd_.release()) == 0 ? 0 : errno; }
  void unhide() override {}  // hidden by its dot name alone

 private:
  unique_fd fd_;
  std::string path_;
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
  Error list(const std::u16string& nativeFolder, std::vector<Listed>& files) override {
    const std::string folder = nativeFolder.empty() ? "." : toUtf8(nativeFolder);
    const unique_dir dir(::opendir(folder.c_str()));
    if (!dir) return errno;
    files.clear();
    const std::time_t now = std::time(nullptr);
    while (const dirent* e = ::readdir(dir.get())) {
      struct stat st {};
      if (::fstatat(::dirfd(dir.get()), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISREG(st.st_mode)) {
        continue;
      }
      // A second name given to a file changes its status time, not its modification time.
      files.push_back({fromUtf8(e->d_name), now - std::max(st.st_mtime, st.st_ctime)});
    }
    return 0;
  }
  Error createNew(const std::u16string& native, std::unique_ptr<File>& file) override {
    std::string path = toUtf8(native);
    unique_fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) return errno;
    file = std::make_unique<LinuxFile>(fd.release(), std::move(path));
    return 0;
  }
  Error probe(const std::u16string& native) override {
    const std::string path = toUtf8(native);
    const unique_fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (fd) {
      // An immutable or append-only file cannot be renamed over, not even by root.
      int flags = 0;
      if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 &&
          (flags & (FS_IMMUTABLE_FL | FS_APPEND_FL)) != 0) {
        return EPERM;
      }
    }
    const auto slash = native.rfind(u'/');
    const std::string folder =
        slash == std::u16string::npos ? "." : toUtf8(native.substr(0, slash + 1));
    return ::access(folder.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
  }
  Error link(const std::u16string& existing, const std::u16string& extra) override {
    return ::link(toUtf8(existing).c_str(), toUtf8(extra).c_str()) == 0 ? 0 : errno;
  }
  Error replace(const std::u16string& from, const std::u16string& to) override {
    return ::rename(toUtf8(from).c_str(), toUtf8(to).c_str()) == 0 ? 0 : errno;
  }
  Error remove(const std::u16string& native) noexcept override {
    try {
      return ::unlink(toUtf8(native).c_str()) == 0 ? 0 : errno;
    } catch (...) {
      return ENOMEM;  // no memory for the name
    }
  }
  void flushFolderOf(const std::u16string& native) noexcept override {
    try {
      const auto slash = native.rfind(u'/');
      const std::string folder =
          slash == std::u16string::npos ? "." : toUtf8(native.substr(0, slash + 1));
      const unique_fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
      if (fd) ::fsync(fd.get());
    } catch (...) {
      // no memory for the name: the renames are done and visible all the same
    }
  }
  bool alreadyExists(Error error) override { return error == EEXIST; }
  // Linux keeps no other program out of a file it has open; a busy file is the nearest.
  bool heldOpen(Error error) override { return error == EBUSY || error == ETXTBSY; }
  bool mayBeHeld(Error) override { return false; }
  std::int64_t now() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }
  std::int64_t wallClock() override { return static_cast<std::int64_t>(std::time(nullptr)); }
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
