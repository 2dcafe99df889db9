// One record's bytes at a time, for the writers with logic of their own: a wrong field
// shows here, beside its writer, rather than as a reader's complaint about the workbook.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "xls/biff8.h"
#include "xls/biff8_records.h"

namespace brosk::xls::detail {
namespace {

struct Rec {
  std::uint16_t type;
  std::vector<std::uint8_t> data;
};

// The records of `out` from `from` on.
std::vector<Rec> records(const std::vector<std::uint8_t>& out, std::size_t from = 0) {
  std::vector<Rec> list;
  while (from + 4 <= out.size()) {
    const std::size_t length = out[from + 2] | out[from + 3] << 8;
    list.push_back({static_cast<std::uint16_t>(out[from] | out[from + 1] << 8),
                    {out.begin() + from + 4, out.begin() + from + 4 + length}});
    from += 4 + length;
  }
  return list;
}

std::vector<std::uint8_t> le(std::initializer_list<std::uint32_t> values, std::size_t width) {
  std::vector<std::uint8_t> bytes;
  for (const std::uint32_t v : values) {
    for (std::size_t i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> 8 * i));
  }
  return bytes;
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

const std::u16string kName = u"Hoja1";

TEST(Biff8Records, DimensionsAndRowsSpanTheCellsTheyHold) {
  Sheet sheet;
  sheet.setNumber(3, 2, 1);   // B3
  sheet.setText(3, 5, u"x");  // E3
  sheet.setNumber(7, 4, 2);   // D7
  Bytes bytes;
  Scratch scratch;
  Book b(sheet, kName, bytes, scratch);
  writeDimensions(b);
  writeRow(b, b.rows.front());
  const auto list = records(b.out.take());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].type, 0x0200);
  EXPECT_EQ(list[0].data, concat({le({2, 7}, 4), le({1, 5, 0}, 2)}));
  EXPECT_EQ(list[1].type, 0x0208);
  EXPECT_EQ(list[1].data, le({2, 1, 5, 255, 0, 0, 0x0100, 15}, 2));
}

TEST(Biff8Records, NumbersTakeRkMulRkOrNumberAndTextsTheirStringIndex) {
  Sheet sheet;
  // The RK forms in the application's order: A1 and B1, a run of two, 1 as a Double
  // although it is a whole number, 123456789 as a whole number (too many bits for the
  // Double form); D1 0.1 as a hundredth of the Double 10, although 10 is whole too.
  sheet.setNumber(1, 1, 1);
  sheet.setNumber(1, 2, 123456789);
  sheet.setNumber(1, 4, 0.1);
  sheet.setNumber(1, 5, 1.0 / 3);  // E1: no RK reads back the same
  sheet.setText(1, 6, u"texto");   // F1
  Bytes bytes;
  Scratch scratch;
  Book b(sheet, kName, bytes, scratch);
  std::size_t cursor = 0;
  writeCells(b, b.rows.front(), cursor);
  const auto list = records(b.out.take());
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0].type, 0x00BD);
  EXPECT_EQ(list[0].data, concat({le({0, 0, 15}, 2), le({0x3FF00000}, 4), le({15}, 2),
                                  le({123456789 << 2 | 2}, 4), le({1}, 2)}));
  EXPECT_EQ(list[1].type, 0x027E);
  EXPECT_EQ(list[1].data, concat({le({0, 3, 15}, 2), le({0x40240000 | 1}, 4)}));
  EXPECT_EQ(list[2].type, 0x0203);
  double third = 0;
  ASSERT_EQ(list[2].data.size(), 14u);
  std::memcpy(&third, list[2].data.data() + 6, 8);
  EXPECT_EQ(third, 1.0 / 3);
  EXPECT_EQ(list[3].type, 0x00FD);
  EXPECT_EQ(list[3].data, concat({le({0, 5, 15}, 2), le({0}, 4)}));
  EXPECT_EQ(cursor, 1u);
}

// 4,105 two-byte characters fill the SST record but for three bytes: the surrogate pair
// after them goes whole into the CONTINUE, which starts with the flags byte again.
TEST(Biff8Records, TheSstSplitsBeforeASurrogatePairNeverInsideIt) {
  const std::u16string text = std::u16string(4105, u'Ω') + u"\U0001F600" + u"fin";
  Sheet sheet;
  sheet.setText(1, 1, text);
  Bytes bytes;
  Scratch scratch;
  Book b(sheet, kName, bytes, scratch);
  writeSst(b);
  const auto list = records(b.out.take());
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].type, 0x00FC);
  EXPECT_EQ(list[0].data.size(), 8u + 3 + 4105 * 2);
  EXPECT_EQ(list[1].type, 0x003C);
  EXPECT_EQ(list[1].data, concat({{0x01}, le({0xD83D, 0xDE00, u'f', u'i', u'n'}, 2)}));
}

// DBCELL: back to the block's first ROW, then from the start of the second ROW to the
// first row's cells and from each row's cells to the next's; its position patched into INDEX.
TEST(Biff8Records, DbCellOffsetsLeadToEachRowsCells) {
  Sheet sheet;
  sheet.setText(1, 1, u"a");
  sheet.setText(2, 1, u"b");
  sheet.setNumber(40, 1, 1);  // a second block
  Bytes bytes;
  Scratch scratch;
  Book b(sheet, kName, bytes, scratch);
  b.out.zeros(8);  // INDEX's two DBCELL positions
  b.indexDbCellsAt = 0;
  writeCellTable(b);
  const std::vector<std::uint8_t> out = b.out.take();
  // Two ROWs of 20 bytes, two LABELSSTs of 14: the first DBCELL is at 8 + 40 + 28 = 76.
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 4), le({76}, 4));
  const auto list = records(out, 76);
  ASSERT_GE(list.size(), 1u);
  EXPECT_EQ(list[0].type, 0x00D7);
  EXPECT_EQ(list[0].data, concat({le({76 - 8}, 4), le({20, 14}, 2)}));
}

}  // namespace
}  // namespace brosk::xls::detail
