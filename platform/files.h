// Whole-file replacement: a reader of the target path sees either the old file or the
// complete new one, never a part.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "automation/error.h"

namespace brosk {

// The run-time error `number` for a file-system operation on `path`: the standard
// description, then the path.
RuntimeError pathError(std::int32_t number, const std::u16string& path);

// A path the file system can take whole: an empty path, or one with a NUL inside (which
// the system would silently cut short there), is error 52.
void checkPath(const std::u16string& path);

// A name that can stand for exactly one folder inside another: no path separator ("\"
// or "/", which would reach another folder), not "." or "..", and no dot or space at the
// end (Windows drops them, and would take another folder of the shorter name). Any other
// name is error 52 naming `path`.
void checkFolderName(std::u16string_view name, const std::u16string& path);

// Writes `bytes` to a temporary file in the target's folder, flushes it to disk and
// renames it over `path`. On any failure the old file, if any, is untouched, no
// temporary file is left and a RuntimeError names the path and the reason.
void replaceFile(const std::u16string& path, std::span<const std::uint8_t> bytes);

// Test seam: makes replaceFile calls of this thread fail at a chosen step with a chosen
// system error code (errno on Linux, a Win32 error code on Windows), once `after` calls
// have gone through; until the next setFileFault.
enum class FileStep { None, Create, Write, Flush, Rename };
struct FileFault {
  FileStep step = FileStep::None;
  int code = 0;
  int after = 0;
};
void setFileFault(FileFault fault);
// Kept in a thread_local of each platform's file code: it must stay a plain value, with
// no destructor for the C runtime to register at thread exit.
static_assert(std::is_trivially_destructible_v<FileFault>);

}  // namespace brosk
