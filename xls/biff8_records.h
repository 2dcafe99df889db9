// The pieces of the Workbook stream's writer, for tests that check one record's bytes: the
// workbook being written and the record writers that have logic of their own. Each writer
// appends its record (or records) to Book::out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "xls/bytes.h"
#include "xls/sheet.h"

namespace brosk::xls::detail {

constexpr std::size_t kMaxRecordData = 8224;
constexpr std::uint16_t kCellXf = 15;  // the default cell format
constexpr std::uint16_t kDateXf = 21;  // a cell format with the built-in short date
constexpr int kRowsPerBlock = 32;

// The shared string table: every distinct text once, in order of first use. Texts are
// found again through an open-addressing table of their positions, made in one block.
class StringTable {
 public:
  // Room for `texts` texts without the table growing.
  void reserve(std::size_t texts);
  // The text's index, added when it is new.
  std::uint32_t add(std::u16string_view s);
  const std::vector<std::u16string_view>& strings() const { return strings_; }
  std::uint32_t references() const { return references_; }
  // Empty again, keeping its memory.
  void clear();

 private:
  std::vector<std::u16string_view> strings_;
  std::vector<std::uint32_t> slots_;  // a power of two, at most half full: 1 + index, 0 free
  std::uint32_t references_ = 0;
};

// A row that holds cells: its number and the range of its cells in Sheet::cells().
struct RowSpan {
  int row;
  std::size_t first;
  std::size_t end;
};

// What writing a workbook needs besides its bytes: kept by a Writer from one workbook to the
// next, so that its memory is taken once.
struct Scratch {
  StringTable strings;
  std::vector<std::uint32_t> sstIndex;  // of each text cell, in cell order
  std::vector<RowSpan> rows;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> extSst;  // stream position, offset
  void clear();
};

// One workbook being written: the cells, the stream so far, and the positions that later
// records fill in.
struct Book {
  // The stream is appended to `into`, from its end on: positions in the stream count from
  // there.
  Book(const Sheet& s, const std::u16string& name, Bytes& into, Scratch& scratch)
      : sheet(s),
        sheetName(name),
        out(into),
        base(into.size()),
        strings(scratch.strings),
        sstIndex(scratch.sstIndex),
        rows(scratch.rows),
        extSst(scratch.extSst) {
    scratch.clear();
    const auto& cells = sheet.cells();
    std::size_t texts = 0;
    for (const Cell& cell : cells) texts += cell.kind == Cell::Kind::Text;
    strings.reserve(texts);
    sstIndex.reserve(texts);
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const int row = Sheet::rowOf(cells[i].key);
      if (rows.empty() || rows.back().row != row) rows.push_back({row, i, i});
      rows.back().end = i + 1;
      if (cells[i].kind == Cell::Kind::Text) sstIndex.push_back(strings.add(sheet.text(cells[i])));
    }
  }

  // The position in the stream of what is written next.
  std::uint32_t position() const { return static_cast<std::uint32_t>(out.size() - base); }

  const Sheet& sheet;
  const std::u16string& sheetName;
  Bytes& out;
  std::size_t base;  // where the stream starts in `out`
  StringTable& strings;
  std::vector<std::uint32_t>& sstIndex;
  std::vector<RowSpan>& rows;
  std::vector<std::pair<std::uint32_t, std::uint16_t>>& extSst;
  std::size_t extSstBucket = 8;
  std::size_t boundSheetPositionAt = 0;
  std::size_t indexDefColWidthAt = 0;
  std::size_t indexDbCellsAt = 0;
};

// Writes a record's header when made and its length when it goes.
class Record {
 public:
  Record(Book& book, std::uint16_t type) : out_(book.out) {
    out_.u16(type);
    lengthAt_ = out_.size();
    out_.u16(0);
  }
  ~Record() { out_.patch16(lengthAt_, static_cast<std::uint16_t>(out_.size() - lengthAt_ - 2)); }
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  std::size_t dataSize() const { return out_.size() - lengthAt_ - 2; }

 private:
  Bytes& out_;
  std::size_t lengthAt_;
};

// DIMENSIONS: the first row and column that hold a cell, and one past the last of each.
void writeDimensions(Book& b);
// ROW: a row's number, the columns its cells span, the default height.
void writeRow(Book& b, const RowSpan& row);
// A row's cells: texts as LABELSST (the next index from `sstCursor` on), numbers as RK,
// MULRK for two or more RK numbers side by side, NUMBER where no RK reads back the same.
void writeCells(Book& b, const RowSpan& row, std::size_t& sstCursor);
// SST and its CONTINUE records; the positions ExtSST needs are kept in the Book.
void writeSst(Book& b);
// The cell table in blocks of 32 rows, each block's ROW records, cells and DBCELL; the
// DBCELL positions are patched into the INDEX at Book::indexDbCellsAt.
void writeCellTable(Book& b);

}  // namespace brosk::xls::detail
