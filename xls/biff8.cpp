// The Workbook stream in the records and the order [MS-XLS] gives them, as the
// spreadsheet application writes them. Each record has a small writer of its own, and
// each substream is assembled as the list of those calls in record order: to add a record
// or to change how a cell is written, there is one place to look.
#include "xls/biff8.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include "xls/biff8_records.h"
#include "xls/bytes.h"

namespace brosk::xls {
namespace detail {

namespace rt {  // record types
constexpr std::uint16_t kBof = 0x0809, kEof = 0x000A, kInterfaceHdr = 0x00E1, kMms = 0x00C1,
                        kInterfaceEnd = 0x00E2, kWriteAccess = 0x005C, kCodePage = 0x0042,
                        kDsf = 0x0161, kExcel9File = 0x01C0, kRRTabId = 0x013D,
                        kBuiltInFnGroupCount = 0x009C, kWinProtect = 0x0019, kProtect = 0x0012,
                        kPassword = 0x0013, kProt4Rev = 0x01AF, kProt4RevPass = 0x01BC,
                        kWindow1 = 0x003D, kBackup = 0x0040, kHideObj = 0x008D, kDate1904 = 0x0022,
                        kCalcPrecision = 0x000E, kRefreshAll = 0x01B7, kBookBool = 0x00DA,
                        kFont = 0x0031, kFormat = 0x041E, kXf = 0x00E0, kStyle = 0x0293,
                        kUsesElfs = 0x0160, kBoundSheet = 0x0085, kCountry = 0x008C,
                        kRecalcId = 0x01C1, kSst = 0x00FC, kContinue = 0x003C, kExtSst = 0x00FF,
                        kIndex = 0x020B, kCalcMode = 0x000D, kCalcCount = 0x000C,
                        kCalcRefMode = 0x000F, kCalcIter = 0x0011, kCalcDelta = 0x0010,
                        kCalcSaveRecalc = 0x005F, kPrintRowCol = 0x002A, kPrintGrid = 0x002B,
                        kGridSet = 0x0082, kGuts = 0x0080, kDefaultRowHeight = 0x0225,
                        kWsBool = 0x0081, kHeader = 0x0014, kFooter = 0x0015, kHCenter = 0x0083,
                        kVCenter = 0x0084, kSetup = 0x00A1, kDefColWidth = 0x0055,
                        kDimensions = 0x0200, kRow = 0x0208, kLabelSst = 0x00FD, kRk = 0x027E,
                        kMulRk = 0x00BD, kNumber = 0x0203, kDbCell = 0x00D7, kWindow2 = 0x023E,
                        kSelection = 0x001D, kPhoneticInfo = 0x00EF, kBookExt = 0x0863;
}  // namespace rt

// A hash of the code units, four at a time: each 64-bit word mixed in by a multiply, and
// the whole folded so that the low bits the table uses depend on every unit.
std::uint32_t hashOf(std::u16string_view s) {
  std::uint64_t h = s.size();
  std::size_t i = 0;
  for (; i + 4 <= s.size(); i += 4) {
    std::uint64_t word;
    std::memcpy(&word, s.data() + i, sizeof word);
    h = (h ^ word) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  for (; i < s.size(); ++i) h = (h ^ s[i]) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 32;
  return static_cast<std::uint32_t>(h * 0x9E3779B97F4A7C15ull >> 32);
}

void StringTable::reserve(std::size_t texts) {
  strings_.reserve(texts);
  std::size_t size = 16;
  while (size < 2 * texts) size *= 2;
  if (size <= slots_.size()) return;
  slots_.assign(size, 0);
  for (std::uint32_t i = 0; i < strings_.size(); ++i) {
    std::size_t at = hashOf(strings_[i]) & (size - 1);
    while (slots_[at] != 0) at = (at + 1) & (size - 1);
    slots_[at] = i + 1;
  }
}

void StringTable::clear() {
  strings_.clear();
  std::fill(slots_.begin(), slots_.end(), 0);
  references_ = 0;
}

void Scratch::clear() {
  strings.clear();
  sstIndex.clear();
  rows.clear();
  extSst.clear();
}

std::uint32_t StringTable::add(std::u16string_view s) {
  if (2 * (strings_.size() + 1) > slots_.size()) reserve(2 * strings_.size() + 1);
  ++references_;
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t at = hashOf(s) & mask;; at = (at + 1) & mask) {
    if (slots_[at] == 0) {
      strings_.push_back(s);
      slots_[at] = static_cast<std::uint32_t>(strings_.size());
      return slots_[at] - 1;
    }
    if (strings_[slots_[at] - 1] == s) return slots_[at] - 1;
  }
}

// A record of a known length: its header, and a cursor for its data.
Cursor fixedRecord(Book& b, std::uint16_t type, std::uint16_t length) {
  return Cursor(b.out.extend(4u + length)).u16(type).u16(length);
}

void u16Record(Book& b, std::uint16_t type, std::uint16_t value) {
  const Record r(b, type);
  b.out.u16(value);
}

bool fitsEightBits(std::u16string_view s) {
  return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0x100; });
}

// Code units of a string, 8-bit (the high byte is zero in each) or 16-bit little-endian.
void codeUnits(Bytes& out, std::u16string_view s, bool compressed) {
  std::uint8_t* at = out.extend(s.size() * (compressed ? 1 : 2));
  for (const char16_t c : s) {
    *at++ = static_cast<std::uint8_t>(c);
    if (!compressed) *at++ = static_cast<std::uint8_t>(c >> 8);
  }
}

// The characters of a string with their flags byte: 8-bit when they all fit, unless
// `wide` asks for 16-bit ones.
void characters(Bytes& out, std::u16string_view s, bool wide = false) {
  const bool compressed = !wide && fitsEightBits(s);
  out.u8(compressed ? 0x00 : 0x01);
  codeUnits(out, s, compressed);
}
// An XLUnicodeString: 16-bit count, flags, characters.
void unicodeString(Bytes& out, std::u16string_view s) {
  out.u16(static_cast<std::uint16_t>(s.size()));
  characters(out, s);
}
// A ShortXLUnicodeString: 8-bit count, flags, characters.
void shortUnicodeString(Bytes& out, std::u16string_view s, bool wide = false) {
  out.u8(static_cast<std::uint8_t>(s.size()));
  characters(out, s, wide);
}

// --- Records of both substreams ------------------------------------------------------------

// The marks of one application version throughout, read off the files it saves: Excel 2003
// Service Pack 3 (version 11, build 8169; its calculation engine 114210), file format
// year 1997. docs/workbooks.md names the files each mark was read from.
constexpr std::uint16_t kApplicationBuild = 8169;
constexpr std::uint32_t kApplicationVersion = 3;  // Excel 2003 in BOF's version fields
constexpr std::uint32_t kCalcEngine = 114210;
// The height of every row, in twips: 12.75 points, the row of the Normal style's 10-point
// Arial.
constexpr std::uint16_t kRowHeight = 255;

void writeBof(Book& b, std::uint16_t substream) {
  const Record r(b, rt::kBof);
  b.out.u16(0x0600);  // BIFF8
  b.out.u16(substream);
  b.out.u16(kApplicationBuild);
  b.out.u16(0x07CD);  // 1997
  // History: saved on Windows (fWin), ever saved on Windows (fWinAny), the two bits
  // [MS-XLS] leaves unused, which the application sets, the highest version that saved it
  // (verXLHigh).
  b.out.u32(0x0001 | 0x0008 | 0x00C0 | kApplicationVersion << 14);
  // The lowest BIFF version that reads every record, and the version that last saved it.
  b.out.u32(0x06 | kApplicationVersion << 8);
}

void writeEof(Book& b) {
  const Record r(b, rt::kEof);
}

// --- Records of the globals substream ------------------------------------------------------

void writeInterfaceHdr(Book& b) {
  u16Record(b, rt::kInterfaceHdr, 1200);
}
void writeMms(Book& b) {
  u16Record(b, rt::kMms, 0);
}
void writeInterfaceEnd(Book& b) {
  const Record r(b, rt::kInterfaceEnd);
}
// The user who last wrote the file: the product's name, no person's.
void writeWriteAccess(Book& b) {
  const Record r(b, rt::kWriteAccess);
  unicodeString(b.out, u"brosk");
  while (r.dataSize() < 112) b.out.u8(' ');
}
void writeCodePage(Book& b) {
  u16Record(b, rt::kCodePage, 1200);  // UTF-16
}
void writeDsf(Book& b) {
  u16Record(b, rt::kDsf, 0);
}
// The file was saved by an application of version 9 (Excel 2000) or later.
void writeExcel9File(Book& b) {
  const Record r(b, rt::kExcel9File);
}
void writeRRTabId(Book& b) {
  u16Record(b, rt::kRRTabId, 1);
}
// The built-in function categories the application knows: Excel 2003's 14.
void writeBuiltInFnGroupCount(Book& b) {
  u16Record(b, rt::kBuiltInFnGroupCount, 14);
}
void writeWinProtect(Book& b) {
  u16Record(b, rt::kWinProtect, 0);
}
void writeProtect(Book& b) {
  u16Record(b, rt::kProtect, 0);
}
void writePassword(Book& b) {
  u16Record(b, rt::kPassword, 0);
}
void writeProt4Rev(Book& b) {
  u16Record(b, rt::kProt4Rev, 0);
}
void writeProt4RevPass(Book& b) {
  u16Record(b, rt::kProt4RevPass, 0);
}
void writeWindow1(Book& b) {
  const Record r(b, rt::kWindow1);
  for (std::uint16_t v : {360, 270, 14940, 9150, 0x0038, 0, 0, 1, 600}) b.out.u16(v);
}
void writeBackup(Book& b) {
  u16Record(b, rt::kBackup, 0);
}
void writeHideObj(Book& b) {
  u16Record(b, rt::kHideObj, 0);
}
void writeDate1904(Book& b) {
  u16Record(b, rt::kDate1904, 0);  // the 1900 date system
}
void writeCalcPrecision(Book& b) {
  u16Record(b, rt::kCalcPrecision, 1);
}
void writeRefreshAll(Book& b) {
  u16Record(b, rt::kRefreshAll, 0);
}
void writeBookBool(Book& b) {
  u16Record(b, rt::kBookBool, 0);
}
// The Normal style's font of the application: Arial, 10 points, as FONT 0 to 3 (4 is
// never written in BIFF8), the fonts the built-in styles refer to; its name in 16-bit
// characters, as the application writes it. (The application leaves the byte after the
// character set as it found it in memory; this writes 0.)
void writeFonts(Book& b) {
  for (int i = 0; i < 4; ++i) {
    const Record r(b, rt::kFont);
    b.out.u16(200);     // 10 points
    b.out.u16(0);       // plain
    b.out.u16(0x7FFF);  // automatic colour
    b.out.u16(400);     // normal weight
    b.out.u16(0);       // no super- or subscript
    b.out.u8(0);        // no underline
    b.out.u8(0);        // no family
    b.out.u8(0);        // character set
    b.out.u8(0);
    shortUnicodeString(b.out, u"Arial", true);
  }
}
// The eight built-in currency and accounting formats every file carries.
void writeFormats(Book& b) {
  static const std::pair<std::uint16_t, const char16_t*> kFormats[] = {
      {5, u"\"$\"#,##0_);\\(\"$\"#,##0\\)"},
      {6, u"\"$\"#,##0_);[Red]\\(\"$\"#,##0\\)"},
      {7, u"\"$\"#,##0.00_);\\(\"$\"#,##0.00\\)"},
      {8, u"\"$\"#,##0.00_);[Red]\\(\"$\"#,##0.00\\)"},
      {42, u"_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)"},
      {41, u"_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)"},
      {44, u"_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)"},
      {43, u"_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)"},
  };
  for (const auto& [id, code] : kFormats) {
    const Record r(b, rt::kFormat);
    b.out.u16(id);
    unicodeString(b.out, code);
  }
}
// One XF: its font and number format, whether it is a style's, and which attributes a
// cell's own format sets rather than takes from its style (for a style: which it leaves
// out).
void writeXf(Book& b, std::uint16_t font, std::uint16_t numberFormat, bool style,
             std::uint8_t ownAttributes) {
  const Record r(b, rt::kXf);
  b.out.u16(font);
  b.out.u16(numberFormat);
  b.out.u16(style ? 0xFFF5 : 0x0001);  // locked; a style without parent / a child of Normal
  b.out.u8(0x20);                      // bottom aligned
  b.out.u8(0);                         // no rotation
  b.out.u8(0);                         // no indent
  b.out.u8(ownAttributes);
  b.out.u32(0);  // no borders
  b.out.u32(0);
  b.out.u16(0x20C0);  // automatic pattern colours
}
// The application's table: fifteen style XFs (Normal, on font 0, and the outline levels:
// RowLevel_1 and ColLevel_1 on font 1, RowLevel_2 and ColLevel_2 on font 2, the rest on
// font 0), the default cell XF 15, the style XFs 16 to 20 of the built-in number styles
// (Comma, Comma [0], Currency, Currency [0], Percent), then XF 21, a cell XF with the
// built-in short date (number format 14), for date cells, as the application adds it.
void writeXfs(Book& b) {
  static constexpr std::uint16_t kStyleFonts[15] = {0, 1, 1, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  for (int i = 0; i < 15; ++i) writeXf(b, kStyleFonts[i], 0, true, i > 0 ? 0xF4 : 0);
  writeXf(b, 0, 0, false, 0);
  for (const std::uint16_t format : {43, 41, 44, 42, 9}) writeXf(b, 1, format, true, 0xF8);
  writeXf(b, 0, 14, false, 0x04);  // its own number format
}
// The built-in styles those XFs belong to, in the application's order.
void writeStyles(Book& b) {
  static constexpr std::pair<std::uint16_t, std::uint8_t> kStyles[] = {
      {16, 3}, {17, 6}, {18, 4}, {19, 7}, {0, 0}, {20, 5}};  // XF, built-in style
  for (const auto& [xf, style] : kStyles) {
    const Record r(b, rt::kStyle);
    b.out.u16(0x8000 | xf);  // built-in
    b.out.u8(style);
    b.out.u8(0xFF);  // no outline level
  }
}
void writeUsesElfs(Book& b) {
  u16Record(b, rt::kUsesElfs, 0);
}
void writeBoundSheet(Book& b) {
  const Record r(b, rt::kBoundSheet);
  b.boundSheetPositionAt = b.out.size();
  b.out.u32(0);  // stream position of the worksheet, set once known
  b.out.u8(0);   // visible
  b.out.u8(0);   // worksheet
  shortUnicodeString(b.out, b.sheetName);
}
// The application's own country (the United States, whatever its language) and the one
// Windows is set to: Spain.
void writeCountry(Book& b) {
  const Record r(b, rt::kCountry);
  b.out.u16(1);
  b.out.u16(34);
}
// The calculation engine that last calculated the workbook. It has no formulas: an
// engine as recent as the application's own tells it there is nothing to calculate
// again, so that opening the file does not mark it changed.
void writeRecalcId(Book& b) {
  const Record r(b, rt::kRecalcId);
  b.out.u16(rt::kRecalcId);
  b.out.u16(0);
  b.out.u32(kCalcEngine);
}
// SST and the CONTINUE records it needs. A string's header never splits; its characters
// may, and the CONTINUE that carries the rest begins with the flags byte again. A
// surrogate pair is never split between two records. The positions for ExtSST are kept.
void writeSst(Book& b) {
  Bytes& out = b.out;
  std::optional<Record> record(std::in_place, b, rt::kSst);
  std::size_t recordStart = out.size() - 4;
  out.u32(b.strings.references());
  out.u32(static_cast<std::uint32_t>(b.strings.strings().size()));
  auto left = [&] { return kMaxRecordData - record->dataSize(); };
  auto next = [&] {
    record.reset();
    recordStart = out.size();
    record.emplace(b, rt::kContinue);
  };
  const std::size_t count = b.strings.strings().size();
  b.extSstBucket = std::max<std::size_t>(8, count / 128 + 1);
  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string_view s = b.strings.strings()[i];
    const bool compressed = fitsEightBits(s);
    const std::size_t unit = compressed ? 1 : 2;
    // The header and at least two code units start in the same record, so that a split
    // never leaves the first part empty, even before a surrogate pair.
    if (left() < 3 + std::min<std::size_t>(s.size(), 2) * unit) next();
    if (i % b.extSstBucket == 0) {
      b.extSst.emplace_back(b.position(), static_cast<std::uint16_t>(out.size() - recordStart));
    }
    out.u16(static_cast<std::uint16_t>(s.size()));
    out.u8(compressed ? 0x00 : 0x01);
    std::size_t done = 0;
    while (true) {
      std::size_t n = std::min(s.size() - done, left() / unit);
      if (n < s.size() - done && n > 0 && s[done + n - 1] >= 0xD800 && s[done + n - 1] <= 0xDBFF) {
        --n;  // keep the pair together
      }
      codeUnits(out, s.substr(done, n), compressed);
      done += n;
      if (done == s.size()) break;
      next();
      out.u8(compressed ? 0x00 : 0x01);
    }
  }
}
// The book's extension the application writes last: no flag set but that ink annotations
// are shown (its one-byte second part).
void writeBookExt(Book& b) {
  const Record r(b, rt::kBookExt);
  b.out.u16(rt::kBookExt);
  b.out.zeros(10);  // the header's flags and reserved bytes
  b.out.u32(21);    // the record's size
  b.out.u32(0);
  b.out.u8(0x02);
}
void writeExtSst(Book& b) {
  const Record r(b, rt::kExtSst);
  b.out.u16(static_cast<std::uint16_t>(b.extSstBucket));
  for (const auto& [position, offset] : b.extSst) {
    b.out.u32(position);
    b.out.u16(offset);
    b.out.u16(0);
  }
}

// The globals records before BOUNDSHEET, the same in every workbook.
void assembleBookSettings(Book& b) {
  writeBof(b, 0x0005);
  writeInterfaceHdr(b);
  writeMms(b);
  writeInterfaceEnd(b);
  writeWriteAccess(b);
  writeCodePage(b);
  writeDsf(b);
  writeExcel9File(b);
  writeRRTabId(b);
  writeBuiltInFnGroupCount(b);
  writeWinProtect(b);
  writeProtect(b);
  writePassword(b);
  writeProt4Rev(b);
  writeProt4RevPass(b);
  writeWindow1(b);
  writeBackup(b);
  writeHideObj(b);
  writeDate1904(b);
  writeCalcPrecision(b);
  writeRefreshAll(b);
  writeBookBool(b);
  writeFonts(b);
  writeFormats(b);
  writeXfs(b);
  writeStyles(b);
  writeUsesElfs(b);
}

// They are written once and copied into every workbook after.
void writeBookSettings(Book& b) {
  static const std::vector<std::uint8_t> settings = [] {
    const Sheet none;
    const std::u16string noName;
    Bytes bytes;
    Scratch scratch;
    Book fixed(none, noName, bytes, scratch);
    assembleBookSettings(fixed);
    return bytes.take();
  }();
  b.out.raw(settings);
}

void assembleGlobals(Book& b) {
  writeBookSettings(b);
  writeBoundSheet(b);
  writeCountry(b);
  writeRecalcId(b);
  writeSst(b);
  writeExtSst(b);
  writeBookExt(b);
  writeEof(b);
}

// --- Records of the worksheet substream ----------------------------------------------------

std::size_t rowBlocks(const Book& b) {
  std::size_t blocks = 0;
  for (std::size_t i = 0; i < b.rows.size(); ++i) {
    if (i == 0 || b.rows[i].row / kRowsPerBlock != b.rows[i - 1].row / kRowsPerBlock) ++blocks;
  }
  return blocks;
}

std::uint32_t firstRow(const Book& b) {
  return b.rows.empty() ? 0 : static_cast<std::uint32_t>(b.rows.front().row);
}
std::uint32_t rowsEnd(const Book& b) {
  return b.rows.empty() ? 0 : static_cast<std::uint32_t>(b.rows.back().row + 1);
}

void writeIndex(Book& b) {
  const Record r(b, rt::kIndex);
  b.out.u32(0);
  b.out.u32(firstRow(b));
  b.out.u32(rowsEnd(b));
  b.indexDefColWidthAt = b.out.size();
  b.out.u32(0);  // DefColWidth's position, set once known
  b.indexDbCellsAt = b.out.size();
  b.out.zeros(4 * rowBlocks(b));  // each DBCell's position, set once known
}
void writeCalcMode(Book& b) {
  u16Record(b, rt::kCalcMode, 1);
}
void writeCalcCount(Book& b) {
  u16Record(b, rt::kCalcCount, 100);
}
void writeCalcRefMode(Book& b) {
  u16Record(b, rt::kCalcRefMode, 1);
}
void writeCalcIter(Book& b) {
  u16Record(b, rt::kCalcIter, 0);
}
void writeCalcDelta(Book& b) {
  const Record r(b, rt::kCalcDelta);
  b.out.f64(0.001);
}
void writeCalcSaveRecalc(Book& b) {
  u16Record(b, rt::kCalcSaveRecalc, 1);
}
void writePrintRowCol(Book& b) {
  u16Record(b, rt::kPrintRowCol, 0);
}
void writePrintGrid(Book& b) {
  u16Record(b, rt::kPrintGrid, 0);
}
void writeGridSet(Book& b) {
  u16Record(b, rt::kGridSet, 1);
}
void writeGuts(Book& b) {
  const Record r(b, rt::kGuts);
  b.out.zeros(8);
}
void writeDefaultRowHeight(Book& b) {
  const Record r(b, rt::kDefaultRowHeight);
  b.out.u16(0);
  b.out.u16(kRowHeight);
}
void writeWsBool(Book& b) {
  u16Record(b, rt::kWsBool, 0x04C1);
}
void writeHeader(Book& b) {
  const Record r(b, rt::kHeader);
}
void writeFooter(Book& b) {
  const Record r(b, rt::kFooter);
}
void writeHCenter(Book& b) {
  u16Record(b, rt::kHCenter, 0);
}
void writeVCenter(Book& b) {
  u16Record(b, rt::kVCenter, 0);
}
void writeSetup(Book& b) {
  const Record r(b, rt::kSetup);
  // No printer data (fNoPls): the fields it leaves undefined as the application writes
  // them where it writes the same in every file (paper 0, scale 255), zero where not.
  for (std::uint16_t v : {0, 255, 1, 1, 1, 0x0004, 0, 0}) b.out.u16(v);
  b.out.f64(0.5);
  b.out.f64(0.5);
  b.out.u16(0);
}
void writeDefColWidth(Book& b) {
  b.out.patch32(b.indexDefColWidthAt, b.position());
  u16Record(b, rt::kDefColWidth, 8);
}
void writeDimensions(Book& b) {
  int firstColumn = kMaxColumns;
  int lastColumn = -1;
  for (const Cell& cell : b.sheet.cells()) {
    firstColumn = std::min(firstColumn, Sheet::columnOf(cell.key));
    lastColumn = std::max(lastColumn, Sheet::columnOf(cell.key));
  }
  const Record r(b, rt::kDimensions);
  b.out.u32(firstRow(b));
  b.out.u32(rowsEnd(b));
  b.out.u16(b.rows.empty() ? 0 : static_cast<std::uint16_t>(firstColumn));
  b.out.u16(b.rows.empty() ? 0 : static_cast<std::uint16_t>(lastColumn + 1));
  b.out.u16(0);
}

void writeRow(Book& b, const RowSpan& row) {
  const auto& cells = b.sheet.cells();
  fixedRecord(b, rt::kRow, 16)
      .u16(static_cast<std::uint16_t>(row.row))
      .u16(static_cast<std::uint16_t>(Sheet::columnOf(cells[row.first].key)))
      .u16(static_cast<std::uint16_t>(Sheet::columnOf(cells[row.end - 1].key) + 1))
      .u16(kRowHeight)
      .u16(0)
      .u16(0)
      .u16(0x0100)  // height not changed by the user
      .u16(kCellXf);
}

std::uint64_t bitsOf(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

// The number a reader makes of an RK value.
double rkValue(std::uint32_t rk) {
  double value;
  if (rk & 0x2) {
    value = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
  } else {
    const std::uint64_t bits = static_cast<std::uint64_t>(rk & ~0x3u) << 32;
    std::memcpy(&value, &bits, sizeof value);
  }
  return (rk & 0x1) ? value / 100 : value;
}

}  // namespace detail

// Each of the four RK forms is tried, in the application's order, and taken when a reader
// gets the value back bit for bit: the top 30 bits of the Double, a whole number of 30
// bits, a hundredth of the top 30 bits, a hundredth of a whole number (0.07 is 7 / 100,
// although 0.07 * 100 is not 7 in floating point).
std::optional<std::uint32_t> rkNumber(double value) {
  using detail::bitsOf;
  using detail::rkValue;
  if (!std::isfinite(value)) return std::nullopt;
  constexpr double kLimit = 536870912.0;  // 2^29: a 30-bit signed whole number is below it
  std::uint32_t candidates[4];
  std::size_t n = 0;
  candidates[n++] = static_cast<std::uint32_t>(bitsOf(value) >> 32) & ~0x3u;
  if (value >= -kLimit && value < kLimit) {
    candidates[n++] = static_cast<std::uint32_t>(static_cast<std::int32_t>(value)) << 2 | 0x2;
  }
  const double hundredfold = value * 100;
  if (std::isfinite(hundredfold)) {
    candidates[n++] = (static_cast<std::uint32_t>(bitsOf(hundredfold) >> 32) & ~0x3u) | 0x1;
  }
  if (hundredfold >= -kLimit && hundredfold < kLimit) {
    const auto whole = static_cast<std::int32_t>(std::nearbyint(hundredfold));
    candidates[n++] = static_cast<std::uint32_t>(whole) << 2 | 0x3;
  }
  for (std::size_t i = 0; i < n; ++i) {
    if (bitsOf(rkValue(candidates[i])) == bitsOf(value)) return candidates[i];
  }
  return std::nullopt;
}

namespace detail {

std::uint16_t xfOf(const Cell& cell) {
  return cell.kind == Cell::Kind::Date ? kDateXf : kCellXf;
}

void writeLabelSst(Book& b, int row, int column, std::uint32_t string) {
  fixedRecord(b, rt::kLabelSst, 10)
      .u16(static_cast<std::uint16_t>(row))
      .u16(static_cast<std::uint16_t>(column))
      .u16(kCellXf)
      .u32(string);
}
void writeNumber(Book& b, int row, int column, const Cell& cell) {
  fixedRecord(b, rt::kNumber, 14)
      .u16(static_cast<std::uint16_t>(row))
      .u16(static_cast<std::uint16_t>(column))
      .u16(xfOf(cell))
      .f64(cell.number);
}
void writeRk(Book& b, int row, int column, const Cell& cell, std::uint32_t rk) {
  fixedRecord(b, rt::kRk, 10)
      .u16(static_cast<std::uint16_t>(row))
      .u16(static_cast<std::uint16_t>(column))
      .u16(xfOf(cell))
      .u32(rk);
}
// Two or more RK cells side by side in a row, in one record.
void writeMulRk(Book& b, int row, std::span<const Cell> run, std::span<const std::uint32_t> rks) {
  const Record r(b, rt::kMulRk);
  b.out.u16(static_cast<std::uint16_t>(row));
  b.out.u16(static_cast<std::uint16_t>(Sheet::columnOf(run.front().key)));
  for (std::size_t i = 0; i < run.size(); ++i) {
    b.out.u16(xfOf(run[i]));
    b.out.u32(rks[i]);
  }
  b.out.u16(static_cast<std::uint16_t>(Sheet::columnOf(run.back().key)));
}

// The cells of a row: texts as LabelSst, numbers as RK (MulRk for runs of them) where
// they fit, Number otherwise.
void writeCells(Book& b, const RowSpan& row, std::size_t& sstCursor) {
  const auto& cells = b.sheet.cells();
  for (std::size_t i = row.first; i < row.end;) {
    const Cell& cell = cells[i];
    const int column = Sheet::columnOf(cell.key);
    if (cell.kind == Cell::Kind::Text) {
      writeLabelSst(b, row.row, column, b.sstIndex[sstCursor++]);
      ++i;
      continue;
    }
    // The run of RK numbers side by side from here (a row has at most 256 columns).
    std::array<std::uint32_t, kMaxColumns> rks;
    std::size_t n = 0;
    while (i + n < row.end && cells[i + n].kind != Cell::Kind::Text &&
           Sheet::columnOf(cells[i + n].key) == column + static_cast<int>(n)) {
      const std::optional<std::uint32_t> rk = rkNumber(cells[i + n].number);
      if (!rk) break;
      rks[n++] = *rk;
    }
    if (n >= 2) {
      writeMulRk(b, row.row, std::span(cells).subspan(i, n), std::span(rks).first(n));
    } else if (n == 1) {
      writeRk(b, row.row, column, cell, rks.front());
    } else {
      writeNumber(b, row.row, column, cell);
      n = 1;
    }
    i += n;
  }
}

// DBCell: the offset back to the block's first Row record, and from each row's first
// cell to the next's (the first from the second Row record).
void writeDbCell(Book& b, std::size_t block, std::size_t firstRowAt,
                 const std::vector<std::size_t>& rowStarts) {
  const std::size_t at = b.out.size();
  b.out.patch32(b.indexDbCellsAt + 4 * block, b.position());
  const Record r(b, rt::kDbCell);
  b.out.u32(static_cast<std::uint32_t>(at - firstRowAt));
  for (std::size_t k = 0; k < rowStarts.size(); ++k) {
    const std::size_t from = k == 0 ? firstRowAt + 20 : rowStarts[k - 1];
    b.out.u16(static_cast<std::uint16_t>(rowStarts[k] - from));
  }
}

// The cell table in blocks of 32 rows: the block's Row records, its cells, its DBCell.
void writeCellTable(Book& b) {
  std::size_t sstCursor = 0;
  std::size_t block = 0;
  for (std::size_t first = 0; first < b.rows.size(); ++block) {
    std::size_t last = first;
    while (last < b.rows.size() &&
           b.rows[last].row / kRowsPerBlock == b.rows[first].row / kRowsPerBlock) {
      ++last;
    }
    const std::size_t firstRowAt = b.out.size();
    for (std::size_t r = first; r < last; ++r) writeRow(b, b.rows[r]);
    std::vector<std::size_t> rowStarts;
    for (std::size_t r = first; r < last; ++r) {
      rowStarts.push_back(b.out.size());
      writeCells(b, b.rows[r], sstCursor);
    }
    writeDbCell(b, block, firstRowAt, rowStarts);
    first = last;
  }
}

void writeWindow2(Book& b) {
  const Record r(b, rt::kWindow2);
  b.out.u16(0x06B6);  // grid, headers, zeros, outline symbols; selected and active
  b.out.u16(0);
  b.out.u16(0);
  b.out.u32(64);  // automatic grid colour
  b.out.u16(0);
  b.out.u16(0);
  b.out.u32(0);
}
// The selection: cell A1 of the only pane.
void writeSelection(Book& b) {
  const Record r(b, rt::kSelection);
  b.out.u8(3);   // the top left pane, the only one
  b.out.u16(0);  // active cell: row 1
  b.out.u16(0);  // column A
  b.out.u16(0);  // the first range holds it
  b.out.u16(1);  // one range: A1
  b.out.u16(0);
  b.out.u16(0);
  b.out.u8(0);
  b.out.u8(0);
}

// The phonetic guide's settings: font 0, the application's defaults, no ranges.
void writePhoneticInfo(Book& b) {
  const Record r(b, rt::kPhoneticInfo);
  b.out.u16(0);
  b.out.u16(0x0037);
  b.out.u16(0);
}

void assembleWorksheet(Book& b) {
  writeBof(b, 0x0010);
  writeIndex(b);
  writeCalcMode(b);
  writeCalcCount(b);
  writeCalcRefMode(b);
  writeCalcIter(b);
  writeCalcDelta(b);
  writeCalcSaveRecalc(b);
  writePrintRowCol(b);
  writePrintGrid(b);
  writeGridSet(b);
  writeGuts(b);
  writeDefaultRowHeight(b);
  writeWsBool(b);
  writeHeader(b);
  writeFooter(b);
  writeHCenter(b);
  writeVCenter(b);
  writeSetup(b);
  writeDefColWidth(b);
  writeDimensions(b);
  writeCellTable(b);
  writeWindow2(b);
  writeSelection(b);
  writePhoneticInfo(b);
  writeEof(b);
}

}  // namespace detail

std::size_t workbookStreamBound(const Sheet& sheet) {
  // A workbook without cells (under 2 KB), then for each cell a NUMBER (18 bytes, the
  // longest cell record) and, for a text, its string's header and two bytes a character
  // (as if no text were shared); for each row its ROW and its place in the DBCELL, and for
  // its block a DBCELL and an INDEX entry (38 in all); for each 8224 bytes of strings a
  // CONTINUE's header, flags and what a split leaves unused (12); an ExtSST entry for
  // every eight strings.
  std::size_t rows = 0, texts = 0, stringBytes = 0;
  int lastRow = -1;
  for (const Cell& cell : sheet.cells()) {
    rows += Sheet::rowOf(cell.key) != lastRow;
    lastRow = Sheet::rowOf(cell.key);
    if (cell.kind != Cell::Kind::Text) continue;
    ++texts;
    stringBytes += 3 + 2 * std::size_t{cell.textSize};
  }
  return 2048 + 18 * sheet.cells().size() + 38 * rows + stringBytes +
         12 * (stringBytes / (detail::kMaxRecordData - 12) + 1) + 8 * (texts / 8 + 1);
}

void writeWorkbookStream(Bytes& out, const Sheet& sheet, const std::u16string& sheetName,
                         detail::Scratch& scratch) {
  using namespace detail;
  Book book(sheet, sheetName, out, scratch);
  assembleGlobals(book);
  book.out.patch32(book.boundSheetPositionAt, book.position());
  assembleWorksheet(book);
}

}  // namespace brosk::xls
