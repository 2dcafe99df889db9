// The layouts of PRE.xls and LPS.xls, written by the real engine and read back with the
// independent reader.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "export.h"

namespace brosk {
namespace {

using nlohmann::json;
using testing::dateCell;
using testing::numberCell;
using testing::readCells;
using testing::textCell;

// The ten cells of row `r` of LPS.xls, series 9 and quote 9999.
std::vector<json> linesRow(int r, const std::string& art, const std::string& des, double precio,
                           double importe) {
  return {numberCell(r, 1, 9),       numberCell(r, 2, 9999),     numberCell(r, 3, r),
          textCell(r, 4, art),       textCell(r, 5, des),        numberCell(r, 6, 1),
          numberCell(r, 10, precio), numberCell(r, 11, importe), numberCell(r, 12, 0),
          numberCell(r, 19, 0)};
}

using WorkbookCells = testing::Export;

TEST_F(WorkbookCells, HeaderRowHoldsTheFourteenCells) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    constantes().dblSuma = 0.125;
    constantes().dblBase = 0.375;
    constantes().dblIVA = 7.456;
    constantes().dblCuotaIVA = 10.5;
    constantes().dblTotal = 2.675;  // scales to exactly 267.5, which goes to the even 268
    plugin.escribirPRE();
  });
  // The texts handed over are stored as typed: the series, quote number, customer code
  // and the "0"s as numbers, the month-first date as a date.
  EXPECT_EQ(readCells(dir / "PRE.xls"),
            (std::vector<json>{
                numberCell(1, 1, 9), numberCell(1, 2, 9999), textCell(1, 3, "Muebles Martínez"),
                dateCell(1, 4, "2026-12-08"), numberCell(1, 7, 4711),  // the empty H: no cell
                numberCell(1, 14, 0), textCell(1, 17, "GEN"), numberCell(1, 18, 0.12),
                numberCell(1, 45, 0.38), numberCell(1, 48, 7.456), numberCell(1, 51, 10.5),
                numberCell(1, 62, 2.68), numberCell(1, 71, 0)}));
}

// An empty text leaves no cell, as a spreadsheet application stores it, so that every
// reader sees the same cells.
TEST_F(WorkbookCells, EmptyTextsLeaveNoCellAndASecondExportReplacesTheFile) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    plugin.escribirPRE();
    constantes().strCliente = u"";
    constantes().dblIVA = 0;
    plugin.escribirPRE();
  });
  const auto cells = readCells(dir / "PRE.xls");
  ASSERT_EQ(cells.size(), 12u);
  EXPECT_EQ(cells[1], numberCell(1, 2, 9999));
  EXPECT_EQ(cells[2], dateCell(1, 4, "2026-12-08"));
  EXPECT_EQ(cells[8], numberCell(1, 48, 0));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"PRE.xls"});
}

TEST_F(WorkbookCells, LinesRowsCarryTheTableAndRoundHalfToEven) {
  withPlugin([&](Plugin& plugin) {
    fillLine(1, u"CABECERA", 0);
    constantes().lineas(1).des = u"Modelo: Nova\r\nFrente: Roble";
    fillLine(2, u"A", 0.125);
    fillLine(3, u"B", 0.375);
    constantes().lineas(3).importe = 10.5;
    PluginTestAccess::setContador(plugin, 3);
    plugin.escribirLPS();
  });
  std::vector<json> expected;
  for (const auto& row :
       {linesRow(1, "CABECERA", "Modelo: Nova\r\nFrente: Roble", 0, 0),
        linesRow(2, "A", "desc A", 0.12, 0.12), linesRow(3, "B", "desc B", 0.38, 10.5)}) {
    expected.insert(expected.end(), row.begin(), row.end());
  }
  EXPECT_EQ(readCells(dir / "LPS.xls"), expected);
}

// The records of the table docs/workbooks.md gives, as (substream, record, data): data in
// hexadecimal, "*" where it depends on the cells, "(empty)"; a run of cell records is one
// "cells" entry.
using RecordList = std::vector<std::array<std::string, 3>>;
RecordList documentedRecords() {
  std::ifstream doc(std::string(BROSK_SOURCE) + "/docs/workbooks.md");
  RecordList list;
  bool inTable = false;
  for (std::string line; std::getline(doc, line);) {
    if (line.starts_with("| substream | record | data |")) inTable = true;
    if (!inTable || line.starts_with("| substream") || line.starts_with("|---")) continue;
    if (!line.starts_with("| ")) break;
    std::array<std::string, 4> field;
    std::istringstream in(line.substr(2));
    for (std::string& f : field) std::getline(in, f, '|');
    for (std::string& f : field) {
      f.erase(f.find_last_not_of(' ') + 1);
      f.erase(0, f.find_first_not_of(' '));
    }
    const auto times = field[1].find(" \u00d7");
    const int n = times == std::string::npos ? 1 : std::stoi(field[1].substr(times + 3));
    for (int i = 0; i < n; ++i) list.push_back({field[0], field[1].substr(0, times), field[2]});
  }
  return list;
}
// The same of a workbook, as scripts/xls-records reads it through xlrd.
RecordList recordsOf(const std::filesystem::path& file) {
  const auto r = testing::run(std::string(BROSK_SOURCE) + "/scripts/xls-records " + file.string());
  EXPECT_EQ(r.status, 0) << r.err;
  RecordList list;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line) && !line.starts_with("SummaryInformation");) {
    std::istringstream in(line);
    std::string sub, name, size, data;
    in >> sub >> name >> size >> data;
    if (size == "0") data = "(empty)";
    if (data.empty()) data = "*";
    static const std::set<std::string> kCells = {"Row",   "LabelSst", "RK",
                                                 "MulRk", "Number",   "DBCell"};
    if (sub == "sheet" && kCells.contains(name)) {
      if (list.back()[1] != "cells") list.push_back({sub, "cells", "*"});
      continue;
    }
    list.push_back({sub, name, data});
  }
  return list;
}

// Both workbooks hold the records docs/workbooks.md lists, in its order, each fixed one
// byte for byte: the application version's own, read off its files.
TEST_F(WorkbookCells, BothWorkbooksHoldTheDocumentedRecords) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    plugin.escribirPRE();
    fillLine(1, u"A", 0.125);
    PluginTestAccess::setContador(plugin, 1);
    plugin.escribirLPS();
  });
  const RecordList documented = documentedRecords();
  ASSERT_GT(documented.size(), 80u);
  EXPECT_EQ(recordsOf(dir / "PRE.xls"), documented);
  EXPECT_EQ(recordsOf(dir / "LPS.xls"), documented);
}

TEST_F(WorkbookCells, AFullTableGives200RowsAndLine201IsError9WithoutAFile) {
  withPlugin([&](Plugin& plugin) {
    for (int i = 1; i <= 200; ++i) fillLine(i, u"R" + decimal(i), i);
    PluginTestAccess::setContador(plugin, 200);
    plugin.escribirLPS();
    const auto cells = readCells(dir / "LPS.xls");
    ASSERT_EQ(cells.size(), 2000u);
    EXPECT_EQ(cells.back(), numberCell(200, 19, 0));
    EXPECT_EQ(cells[1990], numberCell(200, 1, 9));

    std::filesystem::remove(dir / "LPS.xls");
    PluginTestAccess::setContador(plugin, 201);
    EXPECT_RAISES(plugin.escribirLPS(), 9);
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_NE(plugin.hoja(), nullptr);  // not closed, as after any failure
  });
}

TEST_F(WorkbookCells, NoLinesStillSavesAnEmptyWorkbook) {
  withPlugin([&](Plugin& plugin) {
    PluginTestAccess::setContador(plugin, 0);
    plugin.escribirLPS();
  });
  EXPECT_TRUE(readCells(dir / "LPS.xls").empty());
}

TEST_F(WorkbookCells, AFailingSaveKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    plugin.escribirPRE();
    const auto before = testing::fileBytes(dir / "PRE.xls");
    constantes().strSerie = u"8";
    files.set({testing::FileStep::Write, ENOSPC});
    EXPECT_RAISES(plugin.escribirPRE(), 61);
    files.clear();
    EXPECT_EQ(testing::fileBytes(dir / "PRE.xls"), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"PRE.xls"});
  });
}

}  // namespace
}  // namespace brosk
