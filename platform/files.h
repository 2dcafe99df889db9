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
// the shorter name), and no more than 255 UTF-16 units. Any other name is error 52 naming
// `path`.
void checkFolderName(std::u16string_view name, const std::u16string& path);

// The system calls that writing a file whole needs, once per platform: POSIX calls on
// Linux, the wide-character Win32 calls on Windows. The algorithm that uses them is
// written once (replaceFile); tests put a wrapper of their own in between to make any
// step fail.
class FileSystem {
 public:
  // A system error code: errno on Linux, a Win32 error code on Windows; 0 is success.
  using Error = int;

  // A file open for writing; closed when it goes.
  class File {
   public:
    virtual ~File() = default;
    virtual Error write(std::span<const std::uint8_t> bytes) = 0;
    // Flushes what was written to the disk.
    virtual Error flush() = 0;
    virtual Error close() = 0;
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
  // Reads a whole file.
  virtual Error read(const std::u16string& native, std::vector<std::uint8_t>& bytes) = 0;
  // Creates a new file, failing when one of that name exists.
  virtual Error createNew(const std::u16string& native, std::unique_ptr<File>& file) = 0;
  // Renames `from` to `to`, replacing a file of that name.
  virtual Error replace(const std::u16string& from, const std::u16string& to) = 0;
  virtual void remove(const std::u16string& native) noexcept = 0;
  // Makes a rename inside the folder of `native` durable, where the system needs that.
  virtual void flushFolderOf(const std::u16string& native) = 0;

  // Whether an error of createNew says that the name is taken.
  virtual bool alreadyExists(Error error) = 0;
  // Whether an error says that another program has the file open in a way that keeps
  // this one out (a sharing or lock violation).
  virtual bool heldOpen(Error error) = 0;
  // Whether a call that failed so may pass when tried again in a moment: a file held open
  // by another program, and on Windows a refused access, which a rename over a file
  // open elsewhere gets.
  virtual bool mayPass(Error error) = 0;
  // Waits before a call is tried again.
  virtual void pause(int milliseconds) = 0;
  // The run-time error for a failed call on `path`.
  virtual RuntimeError error(Error error, const std::u16string& path) = 0;
  // A number for the name of a temporary file.
  virtual std::uint32_t randomNumber() = 0;
};

// The file system of the machine the plug-in runs on.
FileSystem& systemFileSystem();

// Writes `bytes` to a temporary file in the target's folder, flushes it to disk and
// renames it over `path`. On any failure the old file, if any, is untouched, no
// temporary file is left and a RuntimeError names the path and the reason. A target
// marked read-only is not replaced (error 75). Antivirus scanners, sync clients, backup
// agents and the program that reads the file open a new file for a moment: while another
// program holds it so, the creation and the rename are tried again for about two
// seconds; a file still held then is error 70, saying that another program has it open.
void replaceFile(FileSystem& files, const std::u16string& path,
                 std::span<const std::uint8_t> bytes);

// A file as it was before it is replaced, to be put back: its bytes, or that there was
// none. Reading it fails as replacing it would (the same errors), so that nothing is
// replaced that could not be put back.
class EarlierFile {
 public:
  EarlierFile(FileSystem& files, std::u16string path);
  // Puts the file back as it was (removes it, when there was none); a failure to do so
  // is not reported, as it comes on the way out of another failure.
  void restore() const noexcept;

 private:
  FileSystem& files_;
  std::u16string path_;
  std::optional<std::vector<std::uint8_t>> bytes_;
};

}  // namespace brosk
