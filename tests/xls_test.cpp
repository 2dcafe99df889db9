// The spreadsheet engine, read back with the independent reader (xlrd).
#include <gtest/gtest.h>

#include "support.h"

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <map>
#include <random>
#include <sstream>

#include "automation/error.h"
#include "automation/text.h"
#include "faulty_files.h"
#include "files.h"
#include "platform/files.h"
#include "xls/biff8.h"
#include "xls/cfb.h"
#include "xls/excel_app.h"
#include "xls/workbook.h"

namespace brosk::xls {
namespace {

using nlohmann::json;
using testing::numberCell;
using testing::readCells;
using testing::TempFolder;
using testing::textCell;

TEST(XlsEngine, CellsComeBackWithTheirKindsAndValues) {
  TempFolder dir;
  Sheet sheet;
  sheet.setText(1, 1, u"9");
  sheet.setText(1, 3, u"Muebles Martínez e Hijos, S.L.");
  sheet.setText(1, 8, u"");  // an empty text is no cell
  sheet.setNumber(1, 18, 1850.25);
  sheet.setNumber(5, 5, 2);
  sheet.setText(5, 5, u"");  // and clears the cell it is written to
  sheet.setNumber(2, 6, 1);
  sheet.setText(3, 5, u"Modelo: Nova\r\nFrente: Roble\r\n: sin título");
  sheet.setText(4, 1, u"𝄞 €ñ 中文");
  sheet.setText(4, 2, std::u16string(u"a\0b", 3));
  sheet.setText(1, 1, u"overwritten");
  saveXls(systemFileSystem(), dir.u16("a.xls"), sheet);
  EXPECT_EQ(readCells(dir / "a.xls"),
            (std::vector<json>{
                textCell(1, 1, "overwritten"),
                textCell(1, 3, "Muebles Martínez e Hijos, S.L."),
                numberCell(1, 18, 1850.25),
                numberCell(2, 6, 1),
                textCell(3, 5, "Modelo: Nova\r\nFrente: Roble\r\n: sin título"),
                textCell(4, 1, "𝄞 €ñ 中文"),
                textCell(4, 2, std::string("a\0b", 3)),
            }));
}

TEST(XlsEngine, NumbersKeepEveryBit) {
  TempFolder dir;
  Sheet sheet;
  const double values[] = {0.1,          1e300,
                           -0.0,         5e-324,
                           -1e-300,      32767,
                           -32768,       65535,
                           2147483647,   -2147483648.0,
                           4294967296.0, 0.12,
                           123.456,      std::numeric_limits<double>::max()};
  int row = 1;
  for (const double v : values) sheet.setNumber(row++, 1, v);
  saveXls(systemFileSystem(), dir.u16("n.xls"), sheet);
  const auto cells = readCells(dir / "n.xls");
  ASSERT_EQ(cells.size(), std::size(values));
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const double got = cells[i]["value"];
    EXPECT_EQ(got, values[i]);
    EXPECT_EQ(std::signbit(got), std::signbit(values[i])) << i;
  }
}

TEST(XlsEngine, LongTextsCrossContinueRecordsIntact) {
  TempFolder dir;
  Sheet sheet;
  const std::u16string compressed(32767, u'x');
  std::u16string wide;
  for (int i = 0; i < 16383; ++i) wide += u"𝄞";  // 32766 code units, pairs at every boundary
  std::u16string mixed;
  for (int i = 0; i < 9000; ++i) mixed += i % 2 ? u"ñ" : u"€";
  sheet.setText(1, 1, compressed);
  sheet.setText(2, 1, wide);
  sheet.setText(3, 1, mixed);
  for (int r = 4; r < 900; ++r) sheet.setText(r, 2, u"línea " + decimal(r));
  saveXls(systemFileSystem(), dir.u16("long.xls"), sheet);
  const auto cells = readCells(dir / "long.xls");
  ASSERT_EQ(cells.size(), 899u);
  EXPECT_EQ(cells[0]["value"], toUtf8(compressed));
  EXPECT_EQ(cells[1]["value"], toUtf8(wide));
  EXPECT_EQ(cells[2]["value"], toUtf8(mixed));
  EXPECT_EQ(cells[898]["value"], "línea 899");
}

TEST(XlsEngine, TheSheetEdgesAndTheTextLimit) {
  TempFolder dir;
  Sheet sheet;
  sheet.setText(65536, 256, u"last");
  sheet.setText(1, 1, u"first");
  EXPECT_RAISES(sheet.setText(65537, 1, u"x"), 9);
  EXPECT_RAISES(sheet.setNumber(1, 257, 1), 9);
  EXPECT_RAISES(sheet.setNumber(0, 1, 1), 9);
  EXPECT_RAISES(sheet.setText(2, 5, std::u16string(32768, u'x')), 5,
                u"El texto de la celda (2, 5) tiene 32768 caracteres; una celda admite "
                u"32767 como máximo");
  EXPECT_RAISES(sheet.setText(2, 5, std::u16string(1, char16_t(0xDC00))), 5);
  EXPECT_RAISES(sheet.setNumber(2, 5, std::nan("")), 6);
  EXPECT_RAISES(sheet.setNumber(2, 5, -INFINITY), 6);
  saveXls(systemFileSystem(), dir.u16("edges.xls"), sheet);
  EXPECT_EQ(readCells(dir / "edges.xls"),
            (std::vector<json>{textCell(1, 1, "first"), textCell(65536, 256, "last")}));
}

// The strict checker (scripts/xls-check, run by the reader on every workbook the tests
// read back) catches each field its self-test changes in a good file, and passes a
// workbook of 12,000 strings whose 7 MB stream needs DIFAT sectors beyond the header's 109
// FAT sectors.
TEST(XlsEngine, TheStrictCheckerCatchesEveryChangeAndPassesAWorkbookWithDifat) {
  TempFolder dir;
  Sheet sheet;
  sheet.setText(1, 1, u"texto");
  sheet.setNumber(1, 2, 0.07);
  saveXls(systemFileSystem(), dir.u16("good.xls"), sheet);
  const std::string check = std::string(BROSK_SOURCE) + "/scripts/xls-check ";
  const auto self =
      testing::run(check + "--self-test " + testing::quoted((dir / "good.xls").string()));
  EXPECT_EQ(self.status, 0) << self.out;
  for (int r = 1; r <= 12000; ++r) sheet.setText(r, 3, std::u16string(300, u'€') + decimal(r));
  saveXls(systemFileSystem(), dir.u16("big.xls"), sheet);
  ASSERT_GT(std::filesystem::file_size(dir / "big.xls"), 109u * 128 * 512);
  const auto big = testing::run(check + testing::quoted((dir / "big.xls").string()));
  EXPECT_EQ(big.status, 0) << big.err;
}

// The compound file of one to seven streams (the directory tree at every shape up to
// three levels) and of one 8 MB stream (DIFAT sectors), read back by the strict checker:
// each stream's size and CRC-32 as written, zeros padding it to 4096 bytes.
TEST(XlsEngine, TheCompoundFileHoldsOneToSevenStreamsAndOneOfEightMegabytes) {
  auto crc32 = [](const std::vector<std::uint8_t>& bytes) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (const std::uint8_t b : bytes) {
      crc ^= b;
      for (int k = 0; k < 8; ++k) crc = crc >> 1 ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
  };
  TempFolder dir;
  const std::vector<std::size_t> eight = {8u << 20};
  std::vector<std::vector<std::size_t>> shapes = {eight};
  for (std::size_t n = 1; n <= 7; ++n) shapes.emplace_back(n, 700 * n);
  for (const auto& sizes : shapes) {
    std::vector<std::vector<std::uint8_t>> data;
    std::vector<Stream> streams;
    std::map<std::string, std::string> expected;
    for (std::size_t i = 0; i < sizes.size(); ++i) {
      data.emplace_back(std::max<std::size_t>(sizes[i], 4096));
      for (std::size_t k = 0; k < sizes[i]; ++k)
        data[i][k] = static_cast<std::uint8_t>(k % 251 + i);
      const std::string name = std::string(i % 3 + 1, 'a') + std::to_string(i);
      char line[64];
      std::snprintf(line, sizeof line, "%s %zu %08x", name.c_str(), data[i].size(),
                    static_cast<unsigned>(crc32(data[i])));
      expected[name] = line;
      streams.push_back({fromUtf8(name), std::span(data[i]).first(sizes[i])});
    }
    const std::vector<std::uint8_t> file = compoundFile(streams);
    const auto path = dir / ("cf" + std::to_string(sizes.size()) + ".bin");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    std::string lines;
    for (const auto& [name, line] : expected) lines += line + "\n";
    const auto read = testing::run(std::string(BROSK_SOURCE) + "/scripts/xls-check --container " +
                                   testing::quoted(path.string()));
    EXPECT_EQ(read.out, lines) << read.err;
  }
}

TEST(XlsEngine, AnEmptySheetIsAValidWorkbook) {
  TempFolder dir;
  saveXls(systemFileSystem(), dir.u16("empty.xls"), Sheet());
  EXPECT_TRUE(readCells(dir / "empty.xls").empty());
}

// The same cells give the same bytes: written in another order, rewritten over and over
// (the sheet's text store is made again on the way), or by a writer whose last file was
// larger and held other texts.
TEST(XlsEngine, SameCellsGiveTheSameBytes) {
  Sheet a;
  Sheet b;
  a.setText(1, 1, u"x");
  a.setNumber(2, 2, 0.5);
  a.setText(3, 1, u"último");
  a.setText(4, 1, u"fijo");
  b.setNumber(2, 2, 0.5);
  b.setText(4, 1, u"fijo");
  for (int i = 0; i < 3000; ++i) {
    b.setText(1, 1, std::u16string(3 + i % 11, static_cast<char16_t>(u'a' + i % 26)));
    b.setText(3, 1, i % 7 == 0 ? u"" : u"texto " + decimal(i));
  }
  b.setText(1, 1, u"x");
  b.setText(3, 1, u"último");
  EXPECT_EQ(xlsFile(a), xlsFile(b));
  EXPECT_EQ(xlsFile(a).size() % 512, 0u);

  Sheet larger;
  for (int r = 1; r <= 500; ++r) {
    larger.setText(r, 1, u"fila " + decimal(r));
    larger.setNumber(r, 2, r + 0.25);
  }
  Writer writer;
  (void)writer.file(larger);
  const std::span<const std::uint8_t> again = writer.file(a);
  EXPECT_EQ(std::vector<std::uint8_t>(again.begin(), again.end()), xlsFile(a));
}

// The days of dates typed month first, as the independent reader gives them (xlrd's
// xldate_as_tuple, and Python's datetime before March 1900): the serials are the 1900
// date system's, from its first day to its last, across its 29 February 1900 that never
// was, in a cell format with the built-in short date.
TEST(XlsEngine, DatesReadBackAsTheirDays) {
  TempFolder dir;
  const ObjectRef app = newExcelApplication(systemFileSystem());
  const ObjectRef book = toObject(invoke(
      *toObject(invoke(*app, u"Workbooks", CallKind::PropertyGet)), u"Add", CallKind::Method));
  const ObjectRef sheet = toObject(
      invoke(*book, u"Worksheets", CallKind::PropertyGet, {Arg::byVal(Variant::integer(1))}));
  struct Case {
    const char16_t* typed;
    const char* day;
  };
  const Case cases[] = {{u"1/1/1900", "1900-01-01"},  {u"2/28/1900", "1900-02-28"},
                        {u"3/1/1900", "1900-03-01"},  {u"12/31/1900", "1900-12-31"},
                        {u"2/29/2000", "2000-02-29"}, {u"12/08/2026", "2026-12-08"},
                        {u"1/08/2026", "2026-01-08"}, {u"12/31/9999", "9999-12-31"}};
  std::int16_t row = 1;
  for (const Case& c : cases) {
    invoke(*sheet, u"Cells", CallKind::PropertyPut,
           {Arg::byVal(Variant::integer(row++)), Arg::byVal(Variant::integer(1)),
            Arg::byVal(Variant::text(c.typed))});
  }
  Variant path = Variant::text(dir.u16("d.xls"));
  invoke(*book, u"SaveAs", CallKind::Method, {Arg::byRef(path), Arg::byVal(Variant::integer(56))});
  std::vector<json> expected;
  row = 1;
  for (const Case& c : cases) expected.push_back(testing::dateCell(row++, 1, c.day));
  EXPECT_EQ(readCells(dir / "d.xls"), expected);
}

// RK records keep every bit: reading an RK back gives the double that was written, for
// every price with two decimals up to a million, and for random doubles of every kind;
// the independent reader agrees on a sample written to a file.
TEST(XlsEngine, NumbersWrittenAsRkReadBackBitForBit) {
  // How a reader decodes an RK number, from [MS-XLS] RkNumber's fields (written apart from
  // the engine's own decoder): fX100 (bit 0), fInt (bit 1) and num (bits 2-31), a signed
  // 30-bit whole number, or else the top 30 bits of a Double whose other 34 are zero.
  auto decode = [](std::uint32_t rk) {
    const bool x100 = (rk & 1u) != 0;
    const bool whole = (rk & 2u) != 0;
    const std::uint32_t num = rk >> 2;
    double value = 0;
    if (whole) {
      const std::int64_t n = num & (1u << 29) ? std::int64_t{num} - (std::int64_t{1} << 30) : num;
      value = static_cast<double>(n);
    } else {
      const std::uint64_t bits = std::uint64_t{num} << 34;
      std::memcpy(&value, &bits, sizeof value);
    }
    return x100 ? value / 100 : value;
  };
  auto same = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  long rkPrices = 0;
  for (std::int64_t cents = 0; cents <= 100000000; ++cents) {
    const double price = static_cast<double>(cents) / 100;
    if (const auto rk = rkNumber(price)) {
      ++rkPrices;
      if (!same(decode(*rk), price)) FAIL() << "price " << price;
    }
  }
  // Every amount with two decimals to a million, 0.07 among them although 0.07 * 100 is
  // not 7 in floating point: each is 7 / 100 read back.
  EXPECT_EQ(rkPrices, 100000001);
  std::mt19937_64 random(20261208);
  Sheet sheet;
  int row = 1;
  for (int i = 0; i < 200000; ++i) {
    std::uint64_t bits = random();
    if (i % 3 == 0) bits &= ~0x3FFFFFFFFull;  // one in three with an RK-able mantissa
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    if (const auto rk = rkNumber(value)) {
      if (!same(decode(*rk), value)) FAIL() << "double " << value;
    }
    if (i % 100 == 0 && row <= 60000) sheet.setNumber(row++, 1, value);
  }
  for (const double v : {-0.0, 0.1, 0.01, 1e-300, 536870911.0, 536870912.0, -536870912.0,
                         5368709.11, 5368709.12, 12.345, 1234567.89, 0.375}) {
    sheet.setNumber(row++, 1, v);
  }
  TempFolder dir;
  saveXls(systemFileSystem(), dir.u16("rk.xls"), sheet);
  const auto cells = readCells(dir / "rk.xls");
  ASSERT_EQ(cells.size(), sheet.cells().size());
  for (std::size_t i = 0; i < cells.size(); ++i) {
    const double read = cells[i]["value"];
    EXPECT_TRUE(same(read, sheet.cells()[i].number)) << read << " for " << sheet.cells()[i].number;
  }
}

// Numbers go in RK records where they fit, runs of two or more side by side in one MulRk,
// NUMBER otherwise; the record walk of the reader checks INDEX and DBCELL around them.
TEST(XlsEngine, RunsOfRkNumbersShareAMulRk) {
  TempFolder dir;
  Sheet sheet;
  sheet.setNumber(1, 1, 9);
  sheet.setNumber(1, 2, 9999);
  sheet.setNumber(1, 3, 1);
  sheet.setText(1, 4, u"CABECERA");
  sheet.setNumber(1, 6, 1);
  sheet.setNumber(1, 10, 245.8);
  sheet.setNumber(1, 11, 0.1 + 0.2);  // no RK form
  sheet.setNumber(1, 12, 0);
  sheet.setDate(1, 13, 46364);
  sheet.setNumber(1, 14, 7);
  for (int r = 2; r <= 40; ++r) sheet.setNumber(r, 2, r);
  saveXls(systemFileSystem(), dir.u16("m.xls"), sheet);
  const auto r =
      testing::run(std::string(BROSK_XLS_DUMP) + " --records " + (dir / "m.xls").string());
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::vector<std::string> records;
  for (std::string line; std::getline(lines, line) && records.size() < 7;) records.push_back(line);
  EXPECT_EQ(records, (std::vector<std::string>{"MulRk 1 1 3", "LabelSst 1 4", "Rk 1 6", "Rk 1 10",
                                               "Number 1 11", "MulRk 1 12 14", "Rk 2 2"}));
  EXPECT_EQ(readCells(dir / "m.xls").size(), 49u);
}

// The two property-set streams, read by olefile: the creating application named as this
// product, no user and no time; the worksheet listed by an [MS-OLEPS] reading of its own.
TEST(XlsEngine, PropertySetsNameTheProductAndListTheSheet) {
  TempFolder dir;
  Sheet sheet;
  sheet.setText(1, 1, u"x");
  saveXls(systemFileSystem(), dir.u16("p.xls"), sheet);
  const std::string script = R"py(
import olefile, struct, sys
ole = olefile.OleFileIO(sys.argv[1])
meta = ole.get_metadata()
print(sorted("/".join(e) for e in ole.listdir()))
print(meta.creating_application, meta.author, meta.last_saved_by, meta.create_time,
      meta.last_saved_time, meta.codepage, meta.version)
data = ole.openstream("\x05DocumentSummaryInformation").read()
start = struct.unpack_from("<I", data, 44)[0]
count = struct.unpack_from("<I", data, start + 4)[0]
for k in range(count):
    pid, offset = struct.unpack_from("<II", data, start + 8 + 8 * k)
    if pid == 13:  # the parts' names: a vector of code page strings
        at = start + offset
        vt, _, n = struct.unpack_from("<HHI", data, at)
        size = struct.unpack_from("<I", data, at + 8)[0]
        print(hex(vt), n, data[at + 12:at + 12 + size - 1].decode("cp1252"))
print(len(ole.openstream("\x05SummaryInformation").read()),
      len(ole.openstream("\x05DocumentSummaryInformation").read()))
)py";
  std::ofstream(dir / "read.py") << script;
  const auto r = testing::run("/usr/bin/python3 " + (dir / "read.py").string() + " " +
                              (dir / "p.xls").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "['\\x05DocumentSummaryInformation', '\\x05SummaryInformation', 'Workbook']\n"
            "b'brosk' None None None None 1252 730895\n"
            "0x101e 1 Hoja1\n"
            "4096 4096\n");
}

// The automation object model, driven as the plug-in drives a spreadsheet application.
class ExcelObjects : public ::testing::Test {
 protected:
  ObjectRef app = newExcelApplication(systemFileSystem());
  ObjectRef book = toObject(invoke(*toObject(invoke(*app, u"Workbooks", CallKind::PropertyGet)),
                                   u"Add", CallKind::Method));
  ObjectRef sheet = toObject(
      invoke(*book, u"Worksheets", CallKind::PropertyGet, {Arg::byVal(Variant::integer(1))}));
  TempFolder dir;

  void put(int row, int col, Variant value) {
    Variant r = Variant::integer(static_cast<std::int16_t>(row));
    invoke(*sheet, u"Cells", CallKind::PropertyPut,
           {Arg::byRef(r), Arg::byVal(Variant::integer(static_cast<std::int16_t>(col))),
            Arg::byVal(std::move(value))});
  }
  void saveAs(const std::string& name, std::int16_t code) {
    Variant path = Variant::text(dir.u16(name));
    invoke(*book, u"SaveAs", CallKind::Method,
           {Arg::byRef(path), Arg::byVal(Variant::integer(code))});
  }
};

TEST_F(ExcelObjects, WritesTextDoubleIntegerAndLongCells) {
  put(1, 1, Variant::text(u"CABECERA"));
  put(1, 2, Variant::dbl(0.12));
  put(1, 3, Variant::integer(3));
  put(1, 6, Variant::lng(1));
  EXPECT_RAISES(put(1, 7, Variant::boolean(true)), 13);
  EXPECT_RAISES(put(0, 7, Variant::lng(1)), 9);
  saveAs("c.xls", 56);
  EXPECT_EQ(readCells(dir / "c.xls"),
            (std::vector<json>{textCell(1, 1, "CABECERA"), numberCell(1, 2, 0.12),
                               numberCell(1, 3, 3), numberCell(1, 6, 1)}));
}

TEST_F(ExcelObjects, BothFormatCodesWriteTheSameFile) {
  put(2, 2, Variant::text(u"x"));
  saveAs("56.xls", 56);
  saveAs("4143.xls", -4143);
  EXPECT_EQ(testing::fileBytes(dir / "56.xls"), testing::fileBytes(dir / "4143.xls"));
  EXPECT_RAISES(saveAs("51.xls", 51), 5);
}

TEST_F(ExcelObjects, OffersExactlyTheMembersTheWorkbookCycleUses) {
  const ObjectRef owner = toObject(invoke(*book, u"Application", CallKind::PropertyGet));
  EXPECT_EQ(owner, app);
  EXPECT_EQ(invoke(*owner, u"Version", CallKind::PropertyGet), Variant::text(u"11.0"));
  EXPECT_RAISES(
      invoke(*app, u"Visible", CallKind::PropertyPut, {Arg::byVal(Variant::boolean(false))}), 438);
  EXPECT_RAISES(
      invoke(*book, u"Worksheets", CallKind::PropertyGet, {Arg::byVal(Variant::integer(2))}), 9);
  EXPECT_RAISES(invoke(*sheet, u"Range", CallKind::PropertyGet), 438);
  invoke(*book, u"Close", CallKind::Method);
  EXPECT_RAISES(saveAs("late.xls", 56), 440);
  invoke(*app, u"Quit", CallKind::Method);
  ObjectFactory factory;
  registerExcel(factory, systemFileSystem());
  EXPECT_NE(factory.create(u"Excel.Application"), nullptr);
}

// brosk-xls, as a process.
TEST(BroskXlsTool, RoundTripsCellsGivenAsJsonLines) {
  TempFolder dir;
  const std::string input =
      "{\"row\": 1, \"col\": 1, \"kind\": \"text\", \"value\": \"0\"}\n"
      "\n"
      "{\"row\": 2, \"col\": 3, \"kind\": \"number\", \"value\": 0.12}\n"
      "{\"row\": 3, \"col\": 2, \"kind\": \"text\", \"value\": \"a\\r\\nñ 𝄞\"}\n";
  const auto r = testing::run(std::string(BROSK_XLS) + " " + (dir / "o.xls").string(), input);
  EXPECT_EQ(r.status, 0) << r.err;
  std::vector<json> expected;
  std::istringstream lines(input);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty()) expected.push_back(json::parse(line));
  }
  EXPECT_EQ(readCells(dir / "o.xls"), expected);
}

TEST(BroskXlsTool, BadInputIsAClearMessageAndNoFile) {
  TempFolder dir;
  const std::string out = (dir / "o.xls").string();
  struct Case {
    std::string input;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {"{\"row\": 1, \"col\": 1, \"kind\": \"text\", \"value\": \"x\"}\nnot json\n",
            "brosk-xls: standard input, line 2: not valid JSON"},
           {"{\"row\": 1, \"col\": 1, \"kind\": \"bool\", \"value\": true}\n",
            "brosk-xls: standard input, line 1: \"kind\" must be \"text\" or \"number\", not "
            "\"bool\""},
           {"{\"row\": 0, \"col\": 1, \"kind\": \"number\", \"value\": 1}\n",
            "brosk-xls: standard input, line 1: error 9: La celda (0, 1) está fuera de la hoja"},
           {"{\"row\": 1, \"col\": 1, \"kind\": \"number\", \"value\": \"1\"}\n",
            "brosk-xls: standard input, line 1: a number cell needs a number \"value\""},
       }) {
    const auto r = testing::run(std::string(BROSK_XLS) + " " + out, c.input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_TRUE(dir.entries().empty());
  }
  const auto missing = testing::run(std::string(BROSK_XLS) + " " + (dir / "no/o.xls").string(), "");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("error 76: No se ha encontrado la ruta de acceso"), std::string::npos);
  EXPECT_EQ(testing::run(std::string(BROSK_XLS)).status, 2);
}

}  // namespace
}  // namespace brosk::xls
