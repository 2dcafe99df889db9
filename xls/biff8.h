// The Workbook stream of an Excel 97-2003 file (BIFF8): a globals substream and one
// worksheet substream holding the cells of a Sheet.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "xls/bytes.h"
#include "xls/sheet.h"

namespace brosk::xls {

namespace detail {
struct Scratch;
}

// Appends the stream to `out`, with `scratch` for what writing needs besides. Its length is
// at most workbookStreamBound(sheet): a caller that makes room for that once writes the
// stream without the buffer ever growing.
void writeWorkbookStream(Bytes& out, const Sheet& sheet, const std::u16string& sheetName,
                         detail::Scratch& scratch);
std::size_t workbookStreamBound(const Sheet& sheet);

// The RK form of a number (an RK or MulRk record's 32 bits), when reading it back gives
// the same double bit for bit: a 30-bit whole number; a number whose hundredfold is one
// and gives the number back exactly when divided by 100; a double whose low 34 bits are
// zero. None otherwise: the number takes a Number record.
std::optional<std::uint32_t> rkNumber(double value);

}  // namespace brosk::xls
