// The two property-set streams every workbook the spreadsheet application writes carries
// ([MS-OLEPS]): the summary information and the document summary information. They name
// the creating application as this product and hold no user name and no time, so that the
// same cells still give the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brosk::xls {

inline constexpr char16_t kSummaryInformation[] = u"\u0005SummaryInformation";
inline constexpr char16_t kDocumentSummaryInformation[] = u"\u0005DocumentSummaryInformation";

// The code page 1252, the application "brosk", no security.
std::vector<std::uint8_t> summaryInformation();
// The code page, the worksheets (one part under the heading "Hojas de cálculo", named
// `sheetName`, which must be Latin-1), and the application's version.
std::vector<std::uint8_t> documentSummaryInformation(const std::u16string& sheetName);

}  // namespace brosk::xls
