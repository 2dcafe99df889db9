// Paths and whole-file replacement. A reader of a replaced file sees either the old file or
// the complete new one, never a part.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "automation/error.h"

namespace brosk {

// The run-time error `number` for a file-system operation on `path`: the standard
// description, then the path.
RuntimeError pathError(std::int32_t number, const std::u16string& path);

// A path the file system can take whole: an empty path, or one with a NUL inside (which
// the system would silently cut short there), is error 52.
void checkPath(const std::u16string& path);

// The longest name of one entry, in UTF-16 units, that Windows' file systems take.
inline constexpr std::size_t kMaxNameLength = 255;

// A name that can stand for exactly one folder inside another, on Windows and Linux alike:
// no path separator ("\" or "/", which would reach another folder), none of the
// characters Windows refuses in a name (<>:"|?* and the control characters), not "." or
// "..", no dot or space at the end (Windows drops them, and would take another folder of
// the shorter name), no more than 255 UTF-16 units, and not a name Windows takes for a
// device (CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, with or without an extension: such a
// folder is the device, which Explorer can neither open nor delete). Any other name is
// error 52 naming `path`.
void checkFolderName(std::u16string_view name, const std::u16string& path);

// The system calls that writing files whole needs, once per platform: POSIX calls on
// Linux, the wide-character Win32 calls on Windows. The algorithm that uses them is
// written once (StagedFiles); tests put a wrapper of their own in between to make any
// step fail, or to stop everything at one step as a killed process would.
class FileSystem {
 public:
  // A system error code: errno on Linux, a Win32 error code on Windows; 0 is success.
  using Error = int;

  // A file open for writing; closed when it goes.
  class File {
   public:
    virtual ~File() = default;
    virtual Error write(std::span<const std::uint8_t> bytes) = 0;
    // Flushes what was written, and the file's own metadata, to the disk.
    virtual Error flush() = 0;
    // Renames the file to `native`, replacing a file of that name: on Windows one operation
    // on this open (no second open of the file by its path, which a share could refuse);
    // on Linux by its path, which stays the file's while it is open.
    virtual Error renameTo(const std::u16string& native) = 0;
    virtual Error close() = 0;
    // Takes the hidden mark off a file createNew made (Windows makes temporary files
    // hidden; on Linux their dot names hide them): done just before the file is renamed to
    // its target, so that a workbook never carries the mark. Best effort.
    virtual void unhide() = 0;
  };

  // An entry of a folder: its name and how many seconds ago it was last written.
  struct Listed {
    std::u16string name;
    std::int64_t ageSeconds = 0;
  };

  virtual ~FileSystem() = default;

  // The form of a path the calls below take: on Windows absolute and extended-length
  // ("\\?\"), so that no name is cut at MAX_PATH; on Linux the path as it is.
  virtual std::u16string nativePath(const std::u16string& path) = 0;
  // The separator between the names of a native path.
  virtual char16_t separator() = 0;
  // What is at a path: nothing, a file (one marked read-only, on Linux one that nobody may
  // write), or a folder.
  enum class Entry { None, File, ReadOnlyFile, Folder };
  virtual Entry entry(const std::u16string& native) = 0;
  // The files of a folder (no folders).
  virtual Error list(const std::u16string& nativeFolder, std::vector<Listed>& files) = 0;
  // Creates a new file, hidden from a folder's ordinary listing, failing when one of that
  // name exists.
  virtual Error createNew(const std::u16string& native, std::unique_ptr<File>& file) = 0;
  // Whether the file at `native` may be replaced now: 0 (also when there is none), an
  // error heldOpen() knows when another program has it open, or the refusal itself (no
  // permission, an immutable file, a share that vetoes it).
  virtual Error probe(const std::u16string& native) = 0;
  // Gives the file `existing` a second name `extra` (a hard link): the same file, with its
  // times, attributes and permissions. Fails where the file system has no such links.
  virtual Error link(const std::u16string& existing, const std::u16string& extra) = 0;
  // Renames `from` to `to`, replacing a file of that name.
  virtual Error replace(const std::u16string& from, const std::u16string& to) = 0;
  virtual Error remove(const std::u16string& native) noexcept = 0;
  // Makes the renames inside the folder of `native` durable, where the system needs that;
  // best effort, as the renames are done and visible.
  virtual void flushFolderOf(const std::u16string& native) noexcept = 0;

  // Whether an error of createNew says that the name is taken.
  virtual bool alreadyExists(Error error) = 0;
  // Whether an error says that another program has the file open in a way that keeps
  // this one out (a sharing or lock violation): worth waiting for.
  virtual bool heldOpen(Error error) = 0;
  // Whether an error of a rename may be a file open elsewhere although its probe passed
  // (Windows refuses a rename over a file open even with delete sharing).
  virtual bool mayBeHeld(Error error) = 0;
  // Milliseconds of a monotonic clock, and a wait.
  virtual std::int64_t now() = 0;
  // Seconds since 1970 by the machine's clock (UTC), for the time written into the names
  // of temporary files.
  virtual std::int64_t wallClock() = 0;
  virtual void pause(int milliseconds) = 0;
  // The run-time error for a failed call on `path`.
  virtual RuntimeError error(Error error, const std::u16string& path) = 0;
  // A number for the name of a temporary file.
  virtual std::uint32_t randomNumber() = 0;
};

// The file system of the machine the plug-in runs on.
FileSystem& systemFileSystem();

// Files replaced as one. stage() writes each file to a temporary file beside its target
// and flushes it to disk, replacing nothing; commit() then checks that every target can be
// replaced, sets the earlier files aside and renames the temporary files over their
// targets back to back, in the order they were staged. Should a later rename fail, the
// earlier files go back as they were (the same files: their times and permissions kept).
// Until commit() the targets are untouched; whatever was not committed is removed when
// the object goes.
//
// Scanners, sync clients and the program that reads the files open them for a moment:
// while another program holds a file, the calls are tried again with growing pauses, up
// to about two seconds in all for the whole set, before the first target is replaced; a
// file still held then is error 70 saying that another program has it open, and so is
// one found held between the renames (the files before it go back at once). A refusal (no
// permission) is error 70 at once, a target marked read-only error 75; any other failure
// of a rename is said with the system's own reason, at once. A file that cannot be put
// back has its earlier file kept under its set-aside name, which the message gives, and is
// taken away itself where it can be, so that the folder never holds a mixed order.
//
// The names of temporary (".NAME.TTTTTTTT-XXXXXXXX.tmp") and set-aside (".old") files say
// when their link made them (T, UTC seconds in hexadecimal), so that every PC that links
// into a shared folder ages them alike: when a set is committed, its targets' temporary
// files over an hour old (a link takes seconds; the hour is room for PCs whose clocks
// differ) and set-aside files over 30 days old (one may be the only copy of an earlier
// file) are removed; no other file is touched.
class StagedFiles {
 public:
  explicit StagedFiles(FileSystem& files);
  ~StagedFiles();
  StagedFiles(const StagedFiles&) = delete;
  StagedFiles& operator=(const StagedFiles&) = delete;

  void stage(const std::u16string& path, std::span<const std::uint8_t> bytes);
  void commit();

  // The set this thread's saves are staged in, while a Current lives: the spreadsheet
  // engine's saves go there instead of replacing their files at once.
  static StagedFiles* current() noexcept;
  class Current {
   public:
    explicit Current(StagedFiles& files) noexcept;
    ~Current();
    Current(const Current&) = delete;
    Current& operator=(const Current&) = delete;

   private:
    StagedFiles* previous_;
  };

 private:
  struct Staged;
  bool wait();  // false once the patience is spent
  void removeLeftovers();
  std::u16string workName(const std::u16string& folder, const std::u16string& name,
                          const char16_t* kind);
  void probeAll();
  // Renames `from` (through `open`, when given: the file open on it) to `to`, waiting
  // while another program holds `to` if `patient`.
  FileSystem::Error rename(const std::u16string& from, const std::u16string& to,
                           bool patient = true, FileSystem::File* open = nullptr);
  void setEarlierAside(Staged& s);
  void putBack(std::size_t failed, const RuntimeError& cause);
  RuntimeError notPutBack(Staged& s, const RuntimeError& cause);
  // Whether a failed call on `target` is another program's hold: a sharing violation, or a
  // refusal for which the probe finds one (Windows refuses a rename over an open file).
  bool held(FileSystem::Error error, const std::u16string& target);
  RuntimeError renameError(FileSystem::Error error, Staged& s);

  FileSystem& files_;
  std::vector<Staged> staged_;
  std::vector<std::u16string> cleaned_;  // the folders of the targets
  std::int64_t patience_;                // milliseconds, from the first wait
  std::int64_t deadline_ = -1;           // by files_.now(), from the first wait
  int pause_ = 0;
};

// Writes one file whole: a StagedFiles of one.
void replaceFile(FileSystem& files, const std::u16string& path,
                 std::span<const std::uint8_t> bytes);

// The description of `error` with the system's own reason after it: " (Windows CODE:
// TEXT)", so that IT can tell a network drop from an antivirus block.
RuntimeError withSystemReason(const RuntimeError& error, const char16_t* system, unsigned long code,
                              std::u16string_view text);

}  // namespace brosk
