// The Workbook stream of an Excel 97-2003 file (BIFF8): a globals substream and one
// worksheet substream holding the cells of a Sheet.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "xls/sheet.h"

namespace brosk::xls {

std::vector<std::uint8_t> workbookStream(const Sheet& sheet, const std::u16string& sheetName);

}  // namespace brosk::xls
