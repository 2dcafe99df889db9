// The pieces of the Workbook stream's writer, for tests that check one record's bytes: the
// workbook being written and the record writers that have logic of their own. Each writer
// appends its record (or records) to Book::out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "xls/bytes.h"
#include "xls/sheet.h"

namespace brosk::xls::detail {

constexpr std::size_t kMaxRecordData = 8224;
constexpr std::uint16_t kCellXf = 15;  // the default cell format
constexpr std::uint16_t kDateXf = 21;  // a cell format with the built-in short date
constexpr int kRowsPerBlock = 32;

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

// A row that holds cells: its number and the range of its cells in Sheet::cells().
struct RowSpan {
  int row;
  std::size_t first;
  std::size_t end;
};

// One workbook being written: the cells, the stream so far, and the positions that later
// records fill in.
struct Book {
  Book(const Sheet& s, const std::u16string& name) : sheet(s), sheetName(name) {
    const auto& cells = sheet.cells();
    strings.index.reserve(cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const int row = Sheet::rowOf(cells[i].first);
      if (rows.empty() || rows.back().row != row) rows.push_back({row, i, i});
      rows.back().end = i + 1;
      if (cells[i].second.kind == Cell::Kind::Text)
        sstIndex.push_back(strings.add(cells[i].second.text));
    }
    out.reserve(4096 + cells.size() * 16);
  }

  const Sheet& sheet;
  const std::u16string& sheetName;
  Bytes out;
  StringTable strings;
  std::vector<std::uint32_t> sstIndex;  // of each text cell, in cell order
  std::vector<RowSpan> rows;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> extSst;  // stream position, offset
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
