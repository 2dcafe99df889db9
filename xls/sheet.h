// The cells of a worksheet, as a workbook file will hold them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace brosk::xls {

inline constexpr int kMaxRows = 65536;
inline constexpr int kMaxColumns = 256;
inline constexpr std::size_t kMaxTextLength = 32767;

struct Cell {
  enum class Kind { Text, Number, Date };
  Kind kind = Kind::Number;
  std::u16string text;
  double number = 0;  // for a date its serial number, shown in the built-in short date format
};

class Sheet {
 public:
  // Rows 1 to 65536 and columns 1 to 256; a cell written again takes the new value, and
  // an empty text leaves no cell at all, as in a spreadsheet application.
  // A cell outside the sheet, a text longer than 32767 characters or holding half a
  // surrogate pair, or a number that is not finite is a RuntimeError and the sheet is
  // left as it was.
  void setText(int row, int column, std::u16string text);
  void setNumber(int row, int column, double value);
  // A date given by its serial number in the 1900 date system (see typed_text.h).
  void setDate(int row, int column, double serial);

  // Cells by position (key(): 0-based row in the high bits), in row-major order.
  using Entry = std::pair<std::uint32_t, Cell>;
  const std::vector<Entry>& cells() const { return cells_; }
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
  std::vector<Entry>::iterator lowerBound(std::uint32_t key);
  std::vector<Entry> cells_;
};

}  // namespace brosk::xls
