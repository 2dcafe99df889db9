#include "xls/sheet.h"

#include <algorithm>
#include <cmath>

#include "automation/error.h"
#include "automation/text.h"

namespace brosk::xls {
namespace {

std::u16string cellName(int row, int column) {
  return u"(" + decimal(row) + u", " + decimal(column) + u")";
}

}  // namespace

std::uint32_t Sheet::checkedKey(int row, int column) {
  if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
    throw RuntimeError(err::kSubscript, u"La celda " + cellName(row, column) +
                                            u" está fuera de la hoja (filas 1 a 65536, "
                                            u"columnas 1 a 256)");
  }
  return key(row - 1, column - 1);
}

std::vector<Sheet::Entry>::iterator Sheet::lowerBound(std::uint32_t key) {
  return std::lower_bound(cells_.begin(), cells_.end(), key,
                          [](const Entry& e, std::uint32_t k) { return e.first < k; });
}

Cell& Sheet::at(std::uint32_t key) {
  if (cells_.empty() || cells_.back().first < key) return cells_.emplace_back(key, Cell{}).second;
  const auto it = lowerBound(key);
  if (it != cells_.end() && it->first == key) return it->second;
  return cells_.insert(it, Entry{key, Cell{}})->second;
}

void Sheet::erase(std::uint32_t key) {
  const auto it = lowerBound(key);
  if (it != cells_.end() && it->first == key) cells_.erase(it);
}

void Sheet::setText(int row, int column, std::u16string text) {
  const std::uint32_t key = checkedKey(row, column);
  if (text.size() > kMaxTextLength) {
    throw RuntimeError(err::kInvalidCall, u"El texto de la celda " + cellName(row, column) +
                                              u" tiene " +
                                              decimal(static_cast<long long>(text.size())) +
                                              u" caracteres; una celda admite 32767 como máximo");
  }
  if (hasUnpairedSurrogate(text)) {
    throw RuntimeError(err::kInvalidCall, u"El texto de la celda " + cellName(row, column) +
                                              u" contiene un carácter UTF-16 incompleto "
                                              u"(suplente sin pareja)");
  }
  if (text.empty()) {
    erase(key);  // a spreadsheet application keeps no cell for an empty text
    return;
  }
  Cell& cell = at(key);
  cell.kind = Cell::Kind::Text;
  cell.text = std::move(text);
  cell.number = 0;
}

void Sheet::setNumber(int row, int column, double value) {
  setValue(row, column, Cell::Kind::Number, value);
}

void Sheet::setDate(int row, int column, double serial) {
  setValue(row, column, Cell::Kind::Date, serial);
}

void Sheet::setValue(int row, int column, Cell::Kind kind, double value) {
  const std::uint32_t key = checkedKey(row, column);
  if (!std::isfinite(value)) {
    throw RuntimeError(err::kOverflow, u"El valor de la celda " + cellName(row, column) +
                                           u" no es un número finito");
  }
  Cell& cell = at(key);
  cell.kind = kind;
  cell.text.clear();
  cell.number = value;
}

}  // namespace brosk::xls
