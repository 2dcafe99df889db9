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

std::vector<Cell>::iterator Sheet::lowerBound(std::uint32_t key) {
  return std::lower_bound(cells_.begin(), cells_.end(), key,
                          [](const Cell& c, std::uint32_t k) { return c.key < k; });
}

Cell& Sheet::at(std::uint32_t key) {
  if (cells_.empty() || cells_.back().key < key) return cells_.emplace_back(Cell{.key = key});
  const auto it = lowerBound(key);
  if (it != cells_.end() && it->key == key) return *it;
  return *cells_.insert(it, Cell{.key = key});
}

void Sheet::release(std::size_t characters) {
  dropped_ += characters;
  if (dropped_ < 4096 || 2 * dropped_ < texts_.size()) return;
  // Rewritten texts have left more unused characters than used ones: the store is made
  // again from the cells' texts.
  std::u16string kept;
  kept.reserve(texts_.size() - dropped_);
  for (Cell& c : cells_) {
    if (c.kind != Cell::Kind::Text) continue;
    const std::u16string_view t = text(c);
    c.textAt = static_cast<std::uint32_t>(kept.size());
    kept += t;
  }
  texts_ = std::move(kept);
  dropped_ = 0;
}

std::size_t Sheet::textSizeOf(const Cell& cell) {
  return cell.kind == Cell::Kind::Text ? cell.textSize : 0;
}

void Sheet::erase(std::uint32_t key) {
  const auto it = lowerBound(key);
  if (it == cells_.end() || it->key != key) return;
  const std::size_t freed = textSizeOf(*it);
  cells_.erase(it);
  release(freed);
}

void Sheet::setText(int row, int column, std::u16string_view text) {
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
  // (The store's places are 32-bit: more than 4 G characters is memory the process
  // cannot have anyway.)
  if (texts_.size() + text.size() > UINT32_MAX) throw RuntimeError(err::kOutOfMemory);
  Cell& cell = at(key);
  const std::size_t freed = textSizeOf(cell);
  cell.kind = Cell::Kind::Text;
  cell.textAt = static_cast<std::uint32_t>(texts_.size());
  cell.textSize = static_cast<std::uint32_t>(text.size());
  cell.number = 0;
  texts_ += text;
  release(freed);
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
  const std::size_t freed = textSizeOf(cell);
  cell.kind = kind;
  cell.textSize = 0;
  cell.number = value;
  release(freed);
}

}  // namespace brosk::xls
