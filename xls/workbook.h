// An Excel 97-2003 workbook file (.xls) with one worksheet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "xls/sheet.h"

namespace brosk::xls {

// The default name of the worksheet of a new workbook.
inline constexpr char16_t kSheetName[] = u"Hoja1";

// The bytes of the file: the BIFF8 Workbook stream and the two property-set streams
// inside a compound file. The same cells always give the same bytes.
std::vector<std::uint8_t> xlsFile(const Sheet& sheet, const std::u16string& sheetName = kSheetName);

// Writes the file so that `path` holds either its old content or the whole new file.
// While this thread stages its saves (StagedFiles::Current), the file is written and
// flushed beside `path` and replaces it when the set is committed.
void saveXls(FileSystem& files, const std::u16string& path, const Sheet& sheet,
             const std::u16string& sheetName = kSheetName);

}  // namespace brosk::xls
