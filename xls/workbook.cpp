#include "xls/workbook.h"

#include "platform/files.h"
#include "xls/biff8.h"
#include "xls/cfb.h"
#include "xls/property_sets.h"

namespace brosk::xls {

std::vector<std::uint8_t> xlsFile(const Sheet& sheet, const std::u16string& sheetName) {
  const std::vector<std::uint8_t> workbook = workbookStream(sheet, sheetName);
  // The property sets are the same for every workbook of a worksheet's name: those of the
  // default name are made once.
  static const std::vector<std::uint8_t> summary = summaryInformation();
  static const std::vector<std::uint8_t> defaultDocumentSummary =
      documentSummaryInformation(kSheetName);
  std::vector<std::uint8_t> ownDocumentSummary;
  if (sheetName != kSheetName) ownDocumentSummary = documentSummaryInformation(sheetName);
  const Stream streams[] = {
      {u"Workbook", workbook},
      {kSummaryInformation, summary},
      {kDocumentSummaryInformation,
       sheetName == kSheetName ? defaultDocumentSummary : ownDocumentSummary}};
  return compoundFile(streams);
}

void saveXls(FileSystem& files, const std::u16string& path, const Sheet& sheet,
             const std::u16string& sheetName) {
  const std::vector<std::uint8_t> bytes = xlsFile(sheet, sheetName);
  if (StagedFiles* staged = StagedFiles::current()) {
    staged->stage(path, bytes);
  } else {
    replaceFile(files, path, bytes);
  }
}

}  // namespace brosk::xls
