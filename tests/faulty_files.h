// The machine's file system with a fault put in between: a chosen step of whole-file
// replacement fails with a chosen system error, as a full disk, a read-only folder or a
// file another program holds would make it fail; or, from a chosen call on, nothing
// reaches the disk any more, as when the process is killed there. It can also tell what a
// power cut would leave of one folder, dropping what was not flushed yet. No time passes:
// the waits are counted on a clock of its own.
#pragma once

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "automation/text.h"
#include "files.h"
#include "platform/files.h"

namespace brosk::testing {

enum class FileStep { None, Create, Write, Flush, Probe, Link, Rename, Remove };

struct FileFault {
  FileStep step = FileStep::None;
  int code = 0;           // the errno the step fails with
  int after = 0;          // how many times the step goes through before it fails
  int times = 1 << 30;    // how many times it fails then; after that it goes through again
  std::u16string file{};  // only for this file (its name, in the path): "LPS.xls"; any when empty
};

class FaultyFileSystem : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& real = systemFileSystem()) : real_(real) {}

  // The fault from now on, its counts started afresh.
  void set(FileFault fault) {
    faults_.clear();
    add(fault);
    waited = 0;
  }
  // Another fault besides.
  void add(FileFault fault) { faults_.push_back({fault, 0}); }
  void clear() {
    set({});
    killAt = -1;
    calls = 0;
  }

  int waited = 0;       // milliseconds waited for a held file, in all
  int calls = 0;        // calls that change the disk, so far
  int killAt = -1;      // the call from which on nothing reaches the disk; none when < 0
  int agedSeconds = 0;  // added to the age of every file listed and to the clock

  std::u16string nativePath(const std::u16string& path) override { return real_.nativePath(path); }
  char16_t separator() override { return real_.separator(); }
  Entry entry(const std::u16string& native) override { return real_.entry(native); }
  Error list(const std::u16string& folder, std::vector<Listed>& files) override {
    const Error error = real_.list(folder, files);
    for (Listed& f : files) f.ageSeconds += agedSeconds;
    return error;
  }
  Error createNew(const std::u16string& native, std::unique_ptr<File>& file) override {
    if (dead()) return EIO;
    if (const int code = fails(FileStep::Create, native)) return code;
    std::unique_ptr<File> real;
    if (const Error error = real_.createNew(native, real)) return error;
    file = std::make_unique<FaultyFile>(*this, std::move(real), native);
    return 0;
  }
  Error probe(const std::u16string& native) override {
    if (const int code = fails(FileStep::Probe, native)) return code;
    return real_.probe(native);
  }
  Error link(const std::u16string& existing, const std::u16string& extra) override {
    if (dead()) return EIO;
    if (const int code = fails(FileStep::Link, existing)) return code;
    return real_.link(existing, extra);
  }
  Error replace(const std::u16string& from, const std::u16string& to) override {
    if (dead()) return EIO;
    if (const int code = fails(FileStep::Rename, to)) return code;
    return real_.replace(from, to);
  }
  Error remove(const std::u16string& native) noexcept override {
    if (dead()) return EIO;
    if (const int code = fails(FileStep::Remove, native)) return code;
    return real_.remove(native);
  }
  void flushFolderOf(const std::u16string& native) noexcept override {
    if (dead()) return;
    real_.flushFolderOf(native);
    if (!watched_.empty()) flushedNames_ = names();
  }

  // From now on, keeps apart what has reached the disk for good in `folder`: each file's
  // bytes as of its last flush (by inode, which a second name shares), and the folder's
  // names as of its last flush. Everything there now counts as flushed.
  void watchPowerCuts(const std::filesystem::path& folder) {
    watched_ = folder;
    flushedNames_ = names();
    flushedBytes_.clear();
    for (const auto& [name, inode] : flushedNames_) flushedBytes_[inode] = fileBytes(folder / name);
  }
  // The folder as a power cut now would leave it, each file with the bytes last flushed to
  // it (none if never): with the names it has now (a file system that journals its
  // metadata in order, up to the cut) or, when `namesFlushedOnly`, those of its last flush
  // (one that keeps nothing unflushed).
  std::map<std::string, std::vector<std::uint8_t>> afterPowerCut(bool namesFlushedOnly) {
    std::map<std::string, std::vector<std::uint8_t>> left;
    for (const auto& [name, inode] : namesFlushedOnly ? flushedNames_ : names()) {
      const auto bytes = flushedBytes_.find(inode);
      left[name] = bytes == flushedBytes_.end() ? std::vector<std::uint8_t>{} : bytes->second;
    }
    return left;
  }
  bool alreadyExists(Error error) override { return real_.alreadyExists(error); }
  bool heldOpen(Error error) override { return real_.heldOpen(error); }
  bool mayBeHeld(Error error) override { return real_.mayBeHeld(error); }
  std::int64_t now() override { return waited; }
  std::int64_t wallClock() override { return real_.wallClock() + agedSeconds; }
  void pause(int milliseconds) override { waited += milliseconds; }
  RuntimeError error(Error error, const std::u16string& path) override {
    return real_.error(error, path);
  }
  std::uint32_t randomNumber() override { return real_.randomNumber(); }

 private:
  class FaultyFile : public File {
   public:
    FaultyFile(FaultyFileSystem& owner, std::unique_ptr<File> real, std::u16string path)
        : owner_(owner), real_(std::move(real)), path_(std::move(path)) {}
    Error write(std::span<const std::uint8_t> bytes) override {
      if (owner_.dead()) return EIO;
      if (const int code = owner_.fails(FileStep::Write, path_)) {
        // Part of the data reaches the file, as on a disk that fills up meanwhile.
        [[maybe_unused]] const Error ignored = real_->write(bytes.first(bytes.size() / 2));
        return code;
      }
      return real_->write(bytes);
    }
    Error flush() override {
      if (owner_.dead()) return EIO;
      if (const int code = owner_.fails(FileStep::Flush, path_)) return code;
      const Error error = real_->flush();
      if (error == 0) owner_.flushed(path_);
      return error;
    }
    Error renameTo(const std::u16string& native) override {
      if (owner_.dead()) return EIO;
      if (const int code = owner_.fails(FileStep::Rename, native)) return code;
      const Error error = real_->renameTo(native);
      if (error == 0) path_ = native;
      return error;
    }
    Error close() override { return real_->close(); }
    void unhide() override { real_->unhide(); }

   private:
    FaultyFileSystem& owner_;
    std::unique_ptr<File> real_;
    std::u16string path_;
  };

  // Counts a call that changes the disk; true from the kill on.
  bool dead() {
    const int n = calls++;
    return killAt >= 0 && n >= killAt;
  }

  // The error code a step fails with now (EIO for a fault without one), 0 when it goes
  // through.
  int fails(FileStep step, const std::u16string& path) {
    for (auto& [fault, reached] : faults_) {
      if (fault.step != step) continue;
      if (!fault.file.empty() && path.find(fault.file) == std::u16string::npos) continue;
      const int n = reached++;
      if (n >= fault.after && n < fault.after + fault.times) return fault.code ? fault.code : EIO;
    }
    return 0;
  }

  static ino_t inodeOf(const std::filesystem::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
  }
  std::map<std::string, ino_t> names() const {
    std::map<std::string, ino_t> found;
    for (const auto& e : std::filesystem::directory_iterator(watched_))
      found[e.path().filename().string()] = inodeOf(e.path());
    return found;
  }
  void flushed(const std::u16string& native) {
    const std::filesystem::path file = toUtf8(native);
    if (!watched_.empty() && file.parent_path() == watched_)
      flushedBytes_[inodeOf(file)] = fileBytes(file);
  }

  FileSystem& real_;
  std::vector<std::pair<FileFault, int>> faults_;  // each with the times its step was reached
  std::filesystem::path watched_;                  // the folder power cuts are played over
  std::map<std::string, ino_t> flushedNames_;
  std::map<ino_t, std::vector<std::uint8_t>> flushedBytes_;
};

}  // namespace brosk::testing
