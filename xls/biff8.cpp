// Record layouts follow [MS-XLS]: the globals substream holds the records its grammar
// requires (interface, write access, protection, window, fonts, the eight built-in
// number formats, the sixteen built-in XFs, the Normal style, the sheet, the shared
// string table and its index); the worksheet substream holds Index, the calculation
// and print settings, DefColWidth, Dimensions, the cell table in row blocks of 32 rows
// (Row records, cells, DBCell) and Window2.
#include "xls/biff8.h"

#include <algorithm>
#include <unordered_map>

#include "xls/bytes.h"

namespace brosk::xls {
namespace {

namespace rt {  // record types
constexpr std::uint16_t kBof = 0x0809, kEof = 0x000A, kInterfaceHdr = 0x00E1, kMms = 0x00C1,
                        kInterfaceEnd = 0x00E2, kWriteAccess = 0x005C, kCodePage = 0x0042,
                        kDsf = 0x0161, kRRTabId = 0x013D, kWinProtect = 0x0019, kProtect = 0x0012,
                        kPassword = 0x0013, kProt4Rev = 0x01AF, kProt4RevPass = 0x01BC,
                        kWindow1 = 0x003D, kBackup = 0x0040, kHideObj = 0x008D, kDate1904 = 0x0022,
                        kCalcPrecision = 0x000E, kRefreshAll = 0x01B7, kBookBool = 0x00DA,
                        kFont = 0x0031, kFormat = 0x041E, kXf = 0x00E0, kStyle = 0x0293,
                        kUsesElfs = 0x0160, kBoundSheet = 0x0085, kCountry = 0x008C, kSst = 0x00FC,
                        kContinue = 0x003C, kExtSst = 0x00FF, kIndex = 0x020B, kCalcMode = 0x000D,
                        kCalcCount = 0x000C, kCalcRefMode = 0x000F, kCalcIter = 0x0011,
                        kCalcDelta = 0x0010, kCalcSaveRecalc = 0x005F, kPrintRowCol = 0x002A,
                        kPrintGrid = 0x002B, kGridSet = 0x0082, kGuts = 0x0080,
                        kDefaultRowHeight = 0x0225, kWsBool = 0x0081, kHeader = 0x0014,
                        kFooter = 0x0015, kHCenter = 0x0083, kVCenter = 0x0084, kSetup = 0x00A1,
                        kDefColWidth = 0x0055, kDimensions = 0x0200, kRow = 0x0208,
                        kLabelSst = 0x00FD, kNumber = 0x0203, kDbCell = 0x00D7, kWindow2 = 0x023E;
}  // namespace rt

constexpr std::size_t kMaxRecordData = 8224;
constexpr std::uint16_t kCellXf = 15;  // the default cell format
constexpr int kRowsPerBlock = 32;

class Writer {
 public:
  Bytes out;

  // Starts a record; returns the position of its length field for end().
  std::size_t begin(std::uint16_t type) {
    out.u16(type);
    const std::size_t at = out.size();
    out.u16(0);
    return at;
  }
  void end(std::size_t lengthAt) {
    out.patch16(lengthAt, static_cast<std::uint16_t>(out.size() - lengthAt - 2));
  }
  void u16Record(std::uint16_t type, std::uint16_t value) {
    const auto at = begin(type);
    out.u16(value);
    end(at);
  }
  void emptyRecord(std::uint16_t type) { end(begin(type)); }

  // An XLUnicodeString: 16-bit count, flags, characters (8-bit when they all fit).
  void unicodeString(std::u16string_view s) {
    out.u16(static_cast<std::uint16_t>(s.size()));
    characters(s);
  }
  // A ShortXLUnicodeString: 8-bit count, flags, characters.
  void shortUnicodeString(std::u16string_view s) {
    out.u8(static_cast<std::uint8_t>(s.size()));
    characters(s);
  }

  static bool fitsEightBits(std::u16string_view s) {
    return std::all_of(s.begin(), s.end(), [](char16_t c) { return c < 0x100; });
  }

 private:
  void characters(std::u16string_view s) {
    const bool compressed = fitsEightBits(s);
    out.u8(compressed ? 0x00 : 0x01);
    for (const char16_t c : s) {
      if (compressed) {
        out.u8(static_cast<std::uint8_t>(c));
      } else {
        out.u16(c);
      }
    }
  }
};

void bof(Writer& w, std::uint16_t substream) {
  const auto at = w.begin(rt::kBof);
  w.out.u16(0x0600);  // BIFF8
  w.out.u16(substream);
  w.out.u16(0x0DBB);  // build
  w.out.u16(0x07CC);  // year
  w.out.u32(0x0009);  // file history: fWin (saved on Windows), fWinAny (ever saved on Windows)
  w.out.u32(0x0006);  // lowest BIFF version that can read all records
  w.end(at);
}

// The shared string table: every distinct text once, in order of first use.
struct StringTable {
  std::vector<const std::u16string*> strings;
  std::unordered_map<std::u16string_view, std::uint32_t> index;
  std::uint32_t references = 0;

  std::uint32_t add(const std::u16string& s) {
    ++references;
    const auto [it, inserted] = index.try_emplace(s, static_cast<std::uint32_t>(strings.size()));
    if (inserted) strings.push_back(&s);
    return it->second;
  }
};

// Writes SST and the CONTINUE records it needs, then EXTSST. A string's header never
// splits; its characters may, and the CONTINUE that carries the rest begins with the
// flags byte again. A surrogate pair is never split between two records.
void sharedStrings(Writer& w, const StringTable& table) {
  Bytes& out = w.out;
  std::size_t recordStart = out.size();
  std::size_t lengthAt = w.begin(rt::kSst);
  out.u32(table.references);
  out.u32(static_cast<std::uint32_t>(table.strings.size()));
  auto left = [&] { return kMaxRecordData - (out.size() - lengthAt - 2); };
  auto next = [&] {
    w.end(lengthAt);
    recordStart = out.size();
    lengthAt = w.begin(rt::kContinue);
  };

  const std::size_t count = table.strings.size();
  const std::size_t perBucket = std::max<std::size_t>(8, count / 128 + 1);
  std::vector<std::pair<std::uint32_t, std::uint16_t>> buckets;

  for (std::size_t i = 0; i < count; ++i) {
    const std::u16string& s = *table.strings[i];
    const bool compressed = Writer::fitsEightBits(s);
    const std::size_t unit = compressed ? 1 : 2;
    // The header and at least two code units start in the same record, so that a
    // split never leaves the first part empty, even before a surrogate pair.
    if (left() < 3 + std::min<std::size_t>(s.size(), 2) * unit) next();
    if (i % perBucket == 0) {
      buckets.emplace_back(static_cast<std::uint32_t>(out.size()),
                           static_cast<std::uint16_t>(out.size() - recordStart));
    }
    out.u16(static_cast<std::uint16_t>(s.size()));
    out.u8(compressed ? 0x00 : 0x01);
    std::size_t done = 0;
    while (true) {
      std::size_t n = std::min(s.size() - done, left() / unit);
      if (n < s.size() - done && n > 0 && s[done + n - 1] >= 0xD800 && s[done + n - 1] <= 0xDBFF) {
        --n;  // keep the pair together
      }
      for (std::size_t k = done; k < done + n; ++k) {
        if (compressed) {
          out.u8(static_cast<std::uint8_t>(s[k]));
        } else {
          out.u16(s[k]);
        }
      }
      done += n;
      if (done == s.size()) break;
      next();
      out.u8(compressed ? 0x00 : 0x01);
    }
  }
  w.end(lengthAt);

  const auto at = w.begin(rt::kExtSst);
  w.out.u16(static_cast<std::uint16_t>(perBucket));
  for (const auto& [position, offset] : buckets) {
    w.out.u32(position);
    w.out.u16(offset);
    w.out.u16(0);
  }
  w.end(at);
}

void globals(Writer& w, const std::u16string& sheetName, const StringTable& strings,
             std::size_t& boundSheetPositionAt) {
  bof(w, 0x0005);
  w.u16Record(rt::kInterfaceHdr, 1200);
  w.u16Record(rt::kMms, 0);
  w.emptyRecord(rt::kInterfaceEnd);
  {
    const auto at = w.begin(rt::kWriteAccess);
    const std::size_t start = w.out.size();
    w.unicodeString(u"brosk");
    while (w.out.size() - start < 112) w.out.u8(' ');
    w.end(at);
  }
  w.u16Record(rt::kCodePage, 1200);  // UTF-16
  w.u16Record(rt::kDsf, 0);
  w.u16Record(rt::kRRTabId, 1);
  w.u16Record(rt::kWinProtect, 0);
  w.u16Record(rt::kProtect, 0);
  w.u16Record(rt::kPassword, 0);
  w.u16Record(rt::kProt4Rev, 0);
  w.u16Record(rt::kProt4RevPass, 0);
  {
    const auto at = w.begin(rt::kWindow1);
    for (std::uint16_t v : {360, 270, 14940, 9150, 0x0038, 0, 0, 1, 600}) w.out.u16(v);
    w.end(at);
  }
  w.u16Record(rt::kBackup, 0);
  w.u16Record(rt::kHideObj, 0);
  w.u16Record(rt::kDate1904, 0);
  w.u16Record(rt::kCalcPrecision, 1);
  w.u16Record(rt::kRefreshAll, 0);
  w.u16Record(rt::kBookBool, 0);
  for (int i = 0; i < 4; ++i) {
    const auto at = w.begin(rt::kFont);
    w.out.u16(200);     // 10 points
    w.out.u16(0);       // plain
    w.out.u16(0x7FFF);  // automatic colour
    w.out.u16(400);     // normal weight
    w.out.u16(0);       // no super- or subscript
    w.out.u8(0);        // no underline
    w.out.u8(0);        // family
    w.out.u8(0);        // character set
    w.out.u8(0);
    w.shortUnicodeString(u"Arial");
    w.end(at);
  }
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
    const auto at = w.begin(rt::kFormat);
    w.out.u16(id);
    w.unicodeString(code);
    w.end(at);
  }
  // Fifteen style XFs (Normal and the outline levels) and the default cell XF.
  for (int i = 0; i < 16; ++i) {
    const bool style = i < 15;
    const auto at = w.begin(rt::kXf);
    w.out.u16(0);                         // font
    w.out.u16(0);                         // General
    w.out.u16(style ? 0xFFF5 : 0x0001);   // locked; style XF without parent / child of Normal
    w.out.u8(0x20);                       // bottom aligned
    w.out.u8(0);                          // no rotation
    w.out.u8(0);                          // no indent
    w.out.u8(style && i > 0 ? 0xF4 : 0);  // attributes the style leaves to the cell
    w.out.u32(0);                         // no borders
    w.out.u32(0);
    w.out.u16(0x20C0);  // automatic pattern colours
    w.end(at);
  }
  {
    const auto at = w.begin(rt::kStyle);
    w.out.u16(0x8000);  // built-in, XF 0
    w.out.u8(0);        // Normal
    w.out.u8(0xFF);
    w.end(at);
  }
  w.u16Record(rt::kUsesElfs, 0);
  {
    const auto at = w.begin(rt::kBoundSheet);
    boundSheetPositionAt = w.out.size();
    w.out.u32(0);  // stream position of the worksheet, set once known
    w.out.u8(0);   // visible
    w.out.u8(0);   // worksheet
    w.shortUnicodeString(sheetName);
    w.end(at);
  }
  {
    const auto at = w.begin(rt::kCountry);
    w.out.u16(34);
    w.out.u16(34);
    w.end(at);
  }
  sharedStrings(w, strings);
  w.emptyRecord(rt::kEof);
}

void worksheet(Writer& w, const Sheet& sheet, const std::vector<std::uint32_t>& sstIndex) {
  const auto& cells = sheet.cells();
  // Rows that hold cells, each with its first and last column.
  struct RowSpan {
    int row;
    int first;
    int last;
  };
  std::vector<RowSpan> rows;
  int firstColumn = kMaxColumns;
  int lastColumn = -1;
  for (const auto& [key, cell] : cells) {
    const int row = Sheet::rowOf(key);
    const int column = Sheet::columnOf(key);
    if (rows.empty() || rows.back().row != row) rows.push_back({row, column, column});
    rows.back().last = column;
    firstColumn = std::min(firstColumn, column);
    lastColumn = std::max(lastColumn, column);
  }
  std::size_t blocks = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (i == 0 || rows[i].row / kRowsPerBlock != rows[i - 1].row / kRowsPerBlock) ++blocks;
  }

  bof(w, 0x0010);
  const auto indexAt = w.begin(rt::kIndex);
  w.out.u32(0);
  w.out.u32(rows.empty() ? 0 : static_cast<std::uint32_t>(rows.front().row));
  w.out.u32(rows.empty() ? 0 : static_cast<std::uint32_t>(rows.back().row + 1));
  const std::size_t defColWidthPointerAt = w.out.size();
  w.out.u32(0);
  const std::size_t dbCellPointersAt = w.out.size();
  w.out.zeros(4 * blocks);
  w.end(indexAt);

  w.u16Record(rt::kCalcMode, 1);
  w.u16Record(rt::kCalcCount, 100);
  w.u16Record(rt::kCalcRefMode, 1);
  w.u16Record(rt::kCalcIter, 0);
  {
    const auto at = w.begin(rt::kCalcDelta);
    w.out.f64(0.001);
    w.end(at);
  }
  w.u16Record(rt::kCalcSaveRecalc, 1);
  w.u16Record(rt::kPrintRowCol, 0);
  w.u16Record(rt::kPrintGrid, 0);
  w.u16Record(rt::kGridSet, 1);
  {
    const auto at = w.begin(rt::kGuts);
    w.out.zeros(8);
    w.end(at);
  }
  {
    const auto at = w.begin(rt::kDefaultRowHeight);
    w.out.u16(0);
    w.out.u16(255);
    w.end(at);
  }
  w.u16Record(rt::kWsBool, 0x04C1);
  w.emptyRecord(rt::kHeader);
  w.emptyRecord(rt::kFooter);
  w.u16Record(rt::kHCenter, 0);
  w.u16Record(rt::kVCenter, 0);
  {
    const auto at = w.begin(rt::kSetup);
    for (std::uint16_t v : {0, 100, 1, 1, 1, 0x0006, 0, 0}) w.out.u16(v);  // no printer data
    w.out.f64(0.5);
    w.out.f64(0.5);
    w.out.u16(1);
    w.end(at);
  }
  w.out.patch32(defColWidthPointerAt, static_cast<std::uint32_t>(w.out.size()));
  w.u16Record(rt::kDefColWidth, 8);
  {
    const auto at = w.begin(rt::kDimensions);
    w.out.u32(rows.empty() ? 0 : static_cast<std::uint32_t>(rows.front().row));
    w.out.u32(rows.empty() ? 0 : static_cast<std::uint32_t>(rows.back().row + 1));
    w.out.u16(rows.empty() ? 0 : static_cast<std::uint16_t>(firstColumn));
    w.out.u16(rows.empty() ? 0 : static_cast<std::uint16_t>(lastColumn + 1));
    w.out.u16(0);
    w.end(at);
  }

  auto cell = cells.begin();
  std::size_t sstCursor = 0;
  std::size_t blockNumber = 0;
  for (std::size_t first = 0; first < rows.size();) {
    std::size_t last = first;
    while (last < rows.size() &&
           rows[last].row / kRowsPerBlock == rows[first].row / kRowsPerBlock) {
      ++last;
    }
    const std::size_t firstRowAt = w.out.size();
    for (std::size_t r = first; r < last; ++r) {
      const auto at = w.begin(rt::kRow);
      w.out.u16(static_cast<std::uint16_t>(rows[r].row));
      w.out.u16(static_cast<std::uint16_t>(rows[r].first));
      w.out.u16(static_cast<std::uint16_t>(rows[r].last + 1));
      w.out.u16(255);  // default height
      w.out.u16(0);
      w.out.u16(0);
      w.out.u16(0x0100);  // height not changed by the user
      w.out.u16(kCellXf);
      w.end(at);
    }
    const std::size_t secondRowAt = firstRowAt + 20;
    std::vector<std::size_t> rowStarts;
    for (std::size_t r = first; r < last; ++r) {
      rowStarts.push_back(w.out.size());
      for (; cell != cells.end() && Sheet::rowOf(cell->first) == rows[r].row; ++cell) {
        const auto row = static_cast<std::uint16_t>(Sheet::rowOf(cell->first));
        const auto column = static_cast<std::uint16_t>(Sheet::columnOf(cell->first));
        if (cell->second.kind == Cell::Kind::Text) {
          const auto at = w.begin(rt::kLabelSst);
          w.out.u16(row);
          w.out.u16(column);
          w.out.u16(kCellXf);
          w.out.u32(sstIndex[sstCursor++]);
          w.end(at);
        } else {
          const auto at = w.begin(rt::kNumber);
          w.out.u16(row);
          w.out.u16(column);
          w.out.u16(kCellXf);
          w.out.f64(cell->second.number);
          w.end(at);
        }
      }
    }
    const std::size_t dbCellAt = w.out.size();
    w.out.patch32(dbCellPointersAt + 4 * blockNumber++, static_cast<std::uint32_t>(dbCellAt));
    const auto at = w.begin(rt::kDbCell);
    w.out.u32(static_cast<std::uint32_t>(dbCellAt - firstRowAt));
    for (std::size_t k = 0; k < rowStarts.size(); ++k) {
      const std::size_t from = k == 0 ? secondRowAt : rowStarts[k - 1];
      w.out.u16(static_cast<std::uint16_t>(rowStarts[k] - from));
    }
    w.end(at);
    first = last;
  }

  {
    const auto at = w.begin(rt::kWindow2);
    w.out.u16(0x06B6);  // grid, headers, zeros, outline symbols; selected and active
    w.out.u16(0);
    w.out.u16(0);
    w.out.u32(64);  // automatic grid colour
    w.out.u16(0);
    w.out.u16(0);
    w.out.u32(0);
    w.end(at);
  }
  w.emptyRecord(rt::kEof);
}

}  // namespace

std::vector<std::uint8_t> workbookStream(const Sheet& sheet, const std::u16string& sheetName) {
  StringTable strings;
  std::vector<std::uint32_t> sstIndex;
  for (const auto& [key, cell] : sheet.cells()) {
    if (cell.kind == Cell::Kind::Text) sstIndex.push_back(strings.add(cell.text));
  }
  Writer w;
  w.out.reserve(4096 + sheet.cells().size() * 24);
  std::size_t boundSheetPositionAt = 0;
  globals(w, sheetName, strings, boundSheetPositionAt);
  w.out.patch32(boundSheetPositionAt, static_cast<std::uint32_t>(w.out.size()));
  worksheet(w, sheet, sstIndex);
  return w.out.take();
}

}  // namespace brosk::xls
