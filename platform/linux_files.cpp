#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <random>

#include "automation/text.h"
#include "platform/files.h"
#include "platform/linux_system.h"

namespace brosk {
namespace {

thread_local FileFault tFault;
thread_local int tCalls = 0;  // replaceFile calls since the fault was set

// Fails the current step when the test seam asks for it.
bool injected(FileStep step) {
  if (tFault.step != step || tCalls <= tFault.after) return false;
  errno = tFault.code;
  return true;
}

class TempFile {
 public:
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  void create(const std::string& target) {
    const auto slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[24];
      std::snprintf(suffix, sizeof suffix, ".%08x.tmp", random());
      std::string candidate = folder + "." + name + suffix;
      if (injected(FileStep::Create)) return;
      fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) {
        path_ = std::move(candidate);
        return;
      }
      if (errno != EEXIST) return;
    }
  }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }
  // After a successful rename the temporary name is gone; nothing to remove.
  void release() { path_.clear(); }

 private:
  int fd_ = -1;
  std::string path_;
};

bool writeAll(int fd, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (injected(FileStep::Write)) {
      // Leave part of the data behind, as a full disk would.
      [[maybe_unused]] const auto n = ::write(fd, bytes.data(), bytes.size() / 2);
      errno = tFault.code;
      return false;
    }
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void syncFolderOf(const std::string& target) {
  const auto slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);  // best effort: the rename is already visible
    ::close(fd);
  }
}

}  // namespace

void setFileFault(FileFault fault) {
  tFault = fault;
}

void replaceFile(const std::u16string& path, std::span<const std::uint8_t> bytes) {
  ++tCalls;
  checkPath(path);
  const std::string target = toUtf8(path);
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) throw fileSystemError(EISDIR, path);

  TempFile temp;
  temp.create(target);
  if (temp.fd() < 0) throw fileSystemError(errno, path);
  if (!writeAll(temp.fd(), bytes)) throw fileSystemError(errno, path);
  if (injected(FileStep::Flush) || ::fsync(temp.fd()) != 0) throw fileSystemError(errno, path);
  if (!temp.close()) throw fileSystemError(errno, path);
  if (injected(FileStep::Rename) || ::rename(temp.path().c_str(), target.c_str()) != 0) {
    throw fileSystemError(errno, path);
  }
  temp.release();
  syncFolderOf(target);
}

}  // namespace brosk
