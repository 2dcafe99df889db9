#include "xls/workbook.h"

#include "platform/files.h"
#include "xls/biff8.h"
#include "xls/biff8_records.h"
#include "xls/cfb.h"
#include "xls/property_sets.h"

namespace brosk::xls {

Writer::Writer() : scratch_(std::make_unique<detail::Scratch>()) {}
Writer::~Writer() = default;

std::span<const std::uint8_t> Writer::file(const Sheet& sheet, const std::u16string& sheetName) {
  // The property sets are the same for every workbook of a worksheet's name: those of the
  // default name are made once.
  static const std::vector<std::uint8_t> summary = summaryInformation();
  static const std::vector<std::uint8_t> defaultDocumentSummary =
      documentSummaryInformation(kSheetName);
  std::vector<std::uint8_t> ownDocumentSummary;
  if (sheetName != kSheetName) ownDocumentSummary = documentSummaryInformation(sheetName);
  const Stream others[] = {{kSummaryInformation, summary},
                           {kDocumentSummaryInformation,
                            sheetName == kSheetName ? defaultDocumentSummary : ownDocumentSummary}};
  // The Workbook stream is written straight into the file's buffer, which has room for the
  // longest the stream can be before anything is written.
  file_.clear();
  file_.reserve(compoundFileSize(workbookStreamBound(sheet), others));
  file_.zeros(kHeaderRoom);
  writeWorkbookStream(file_, sheet, sheetName, *scratch_);
  finishCompoundFile(file_, u"Workbook", others);
  return file_.view();
}

std::vector<std::uint8_t> xlsFile(const Sheet& sheet, const std::u16string& sheetName) {
  Writer writer;
  const std::span<const std::uint8_t> bytes = writer.file(sheet, sheetName);
  return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

void saveXls(Writer& writer, FileSystem& files, const std::u16string& path, const Sheet& sheet,
             const std::u16string& sheetName) {
  const std::span<const std::uint8_t> bytes = writer.file(sheet, sheetName);
  if (StagedFiles* staged = StagedFiles::current()) {
    staged->stage(path, bytes);
  } else {
    replaceFile(files, path, bytes);
  }
}

void saveXls(FileSystem& files, const std::u16string& path, const Sheet& sheet,
             const std::u16string& sheetName) {
  Writer writer;
  saveXls(writer, files, path, sheet, sheetName);
}

}  // namespace brosk::xls
