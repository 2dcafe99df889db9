// An Excel 97-2003 workbook file (.xls) with one worksheet.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/files.h"
#include "xls/bytes.h"
#include "xls/sheet.h"

namespace brosk::xls {

// The default name of the worksheet of a new workbook.
inline constexpr char16_t kSheetName[] = u"Hoja1";

namespace detail {
struct Scratch;
}

// Makes the bytes of workbook files: the BIFF8 Workbook stream and the two property-set
// streams inside a compound file; the same cells always give the same bytes. It keeps its
// buffers from one file to the next, so that the workbooks one writer makes (the two of a
// link) take their memory once, in the sizes they need.
class Writer {
 public:
  Writer();
  ~Writer();
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // The file's bytes, valid until the writer's next file.
  std::span<const std::uint8_t> file(const Sheet& sheet,
                                     const std::u16string& sheetName = kSheetName);

 private:
  Bytes file_;
  std::unique_ptr<detail::Scratch> scratch_;
};

// The bytes of the file, through a writer of their own.
std::vector<std::uint8_t> xlsFile(const Sheet& sheet, const std::u16string& sheetName = kSheetName);

// Writes the file so that `path` holds either its old content or the whole new file.
// While this thread stages its saves (StagedFiles::Current), the file is written and
// flushed beside `path` and replaces it when the set is committed.
void saveXls(Writer& writer, FileSystem& files, const std::u16string& path, const Sheet& sheet,
             const std::u16string& sheetName = kSheetName);
// The same through a writer of its own.
void saveXls(FileSystem& files, const std::u16string& path, const Sheet& sheet,
             const std::u16string& sheetName = kSheetName);

}  // namespace brosk::xls
