// The spreadsheet engine as an automation object model, standing where a spreadsheet
// application reached as Excel.Application would: Application (Workbooks, Version,
// Quit), Workbooks (Add), Workbook (Worksheets, Application, SaveAs, Close) and
// Worksheet (Cells put). SaveAs writes an Excel 97-2003 file for both file-format
// codes the plug-in uses, 56 and -4143.
#pragma once

#include "automation/factory.h"
#include "platform/files.h"

namespace brosk::xls {

inline constexpr char16_t kExcelProgId[] = u"Excel.Application";
// The version text the application reports: Excel 2003's, whose own format (code -4143)
// is the 97-2003 workbook the engine writes.
inline constexpr char16_t kExcelVersion[] = u"11.0";

// An application whose workbooks are saved through `files` (which must outlive them).
ObjectRef newExcelApplication(FileSystem& files);
void registerExcel(ObjectFactory& factory, FileSystem& files);

}  // namespace brosk::xls
