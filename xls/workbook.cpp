#include "xls/workbook.h"

#include "platform/files.h"
#include "xls/biff8.h"
#include "xls/cfb.h"

namespace brosk::xls {

std::vector<std::uint8_t> xlsFile(const Sheet& sheet, const std::u16string& sheetName) {
  return compoundFile(workbookStream(sheet, sheetName));
}

void saveXls(FileSystem& files, const std::u16string& path, const Sheet& sheet,
             const std::u16string& sheetName) {
  replaceFile(files, path, xlsFile(sheet, sheetName));
}

}  // namespace brosk::xls
