// The cells of a worksheet, as a workbook file will hold them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brosk::xls {

inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;
inline constexpr std::size_t kMaxTextLength = 32767;

// A cell: a number (a date's serial number for a date), or a text, whose characters the
// sheet keeps in one store of its own (Sheet::text) so that a cell is 24 bytes and a sheet
// of a few thousand cells takes two blocks of memory rather than a block per text.
struct Cell {
  enum class Kind : std::uint8_t { Text, Number, Date };
  std::uint32_t key = 0;  // the position (Sheet::key)
  Kind kind = Kind::Number;
  std::uint32_t textAt = 0;  // a text's place in the store, and its length
  std::uint32_t textSize = 0;
  double number = 0;  // for a date its serial number, shown in the built-in short date format
};

class Sheet {
 public:
  // Rows 1 to 65536 and columns 1 to 256; a cell written again takes the new value, and
  // an empty text leaves no cell at all, as in a spreadsheet application.
  // A cell outside the sheet, a text longer than 32767 characters or holding half a
  // surrogate pair, or a number that is not finite is a RuntimeError and the sheet is
  // left as it was.
  void setText(int row, int column, std::u16string_view text);
  void setNumber(int row, int column, double value);
  // A date given by its serial number in the 1900 date system (see typed_text.h).
  void setDate(int row, int column, double serial);

  // The cells in row-major order (key(): 0-based row in the high bits).
  const std::vector<Cell>& cells() const { return cells_; }
  // A text cell's characters, valid until the sheet changes.
  std::u16string_view text(const Cell& cell) const {
    return std::u16string_view(texts_).substr(cell.textAt, cell.textSize);
  }
  static std::uint32_t key(int row0, int column0) {
    return static_cast<std::uint32_t>(row0) << 8 | static_cast<std::uint32_t>(column0);
  }
  static int rowOf(std::uint32_t key) { return static_cast<int>(key >> 8); }
  static int columnOf(std::uint32_t key) { return static_cast<int>(key & 0xFF); }

 private:
  static std::uint32_t checkedKey(int row, int column);
  void setValue(int row, int column, Cell::Kind kind, double value);
  // The cell at `key`, made when missing. Cells are mostly written in order, so the
  // common case appends.
  Cell& at(std::uint32_t key);
  void erase(std::uint32_t key);
  // The first cell at `key` or after it.
  std::vector<Cell>::iterator lowerBound(std::uint32_t key);
  static std::size_t textSizeOf(const Cell& cell);
  // Characters of the store that no cell holds any more: counted, and the store made again
  // once they are half of it.
  void release(std::size_t characters);
  std::vector<Cell> cells_;
  std::u16string texts_;     // the characters of the text cells, one after another
  std::size_t dropped_ = 0;  // characters in texts_ that no cell holds any more
};

}  // namespace brosk::xls
