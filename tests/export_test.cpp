// The workbook cycle and the two workbook layouts, PRE.xls and LPS.xls.
#include <gtest/gtest.h>

#include "fake_excel.h"
#include "files.h"
#include "order/constantes.h"
#include "platform/fake_system.h"
#include "platform/files.h"
#include "support.h"
#include "xls/excel_app.h"

namespace brosk {
namespace {

using testing::errorOf;

using nlohmann::json;
using testing::inFreshThread;
using testing::numberCell;
using testing::readCells;
using testing::textCell;
using Calls = std::vector<std::string>;

// The ten cells of row `r` of LPS.xls, series 9 and quote 9999.
std::vector<json> linesRow(int r, const std::string& art, const std::string& des, double precio,
                           double importe) {
  return {textCell(r, 1, "9"),       textCell(r, 2, "9999"),     numberCell(r, 3, r),
          textCell(r, 4, art),       textCell(r, 5, des),        numberCell(r, 6, 1),
          numberCell(r, 10, precio), numberCell(r, 11, importe), textCell(r, 12, "0"),
          textCell(r, 19, "0")};
}

class Export : public ::testing::Test {
 protected:
  FakeSystem system;
  testing::WatchingUser user;
  ObjectFactory factory;
  Services services{system, user, factory};
  testing::TempFolder dir;

  // A plug-in whose order folder is the test's folder, on a fresh thread's order state.
  void withPlugin(const std::function<void(Plugin&)>& body) {
    inFreshThread([&] {
      Plugin plugin(services);
      PluginTestAccess::setCarpeta(plugin, dir.u16());
      body(plugin);
    });
  }
  static void fillHeaderState() {
    Constantes& c = constantes();
    c.strSerie = u"9";
    c.strNumPedido = u"9999";
    c.strCliente = u"Muebles Martínez";
    c.strFecha = u"12/08/2026";
    c.strCodCliente = u"4711";
    c.dblSuma = 1234.565;
    c.dblBase = 1234.565;
    c.dblIVA = 21;
    c.dblCuotaIVA = 259.25865;
    c.dblTotal = 1493.82365;
  }
  static void fillLine(int i, const std::u16string& art, double precio) {
    tLinea& l = constantes().lineas(i);
    l = {u"9", u"9999", static_cast<std::int16_t>(i), art, u"desc " + art, 1, precio, precio,
         u"0", u"0"};
  }
};

class Cycle : public Export {
 protected:
  std::shared_ptr<testing::ExcelScript> excel = std::make_shared<testing::ExcelScript>();
  void SetUp() override { testing::FakeExcel::registerInto(factory, excel); }
  // The format code SaveAs received.
  std::string saveCall() const {
    for (const auto& call : excel->calls) {
      if (call.rfind("SaveAs", 0) == 0) return call;
    }
    return "";
  }
};

TEST_F(Cycle, HeaderWorkbookIsDrivenCellByCellInColumnOrder) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    plugin.escribirPRE();
  });
  const std::string path = dir.path().string() + "/PRE.xls";
  EXPECT_EQ(excel->calls, (Calls{"create",
                                 "Workbooks",
                                 "Add",
                                 "Worksheets(Integer 1)",
                                 "Cells(Integer 1, Integer 1, String \"9\")",
                                 "Cells(Integer 1, Integer 2, String \"9999\")",
                                 "Cells(Integer 1, Integer 3, String \"Muebles Martínez\")",
                                 "Cells(Integer 1, Integer 4, String \"12/08/2026\")",
                                 "Cells(Integer 1, Integer 7, String \"4711\")",
                                 "Cells(Integer 1, Integer 8, String \"\")",
                                 "Cells(Integer 1, Integer 14, String \"0\")",
                                 "Cells(Integer 1, Integer 17, String \"GEN\")",
                                 "Cells(Integer 1, Integer 18, Double 1234.5599999999999)",
                                 "Cells(Integer 1, Integer 45, Double 1234.5599999999999)",
                                 "Cells(Integer 1, Integer 48, Double 21)",
                                 "Cells(Integer 1, Integer 51, Double 259.25999999999999)",
                                 "Cells(Integer 1, Integer 62, Double 1493.8199999999999)",
                                 "Cells(Integer 1, Integer 71, String \"0\")",
                                 "Application",
                                 "Version",
                                 "SaveAs(String& \"" + path + "\", Integer 56)",
                                 "Close",
                                 "Quit"}));
}

TEST_F(Cycle, LinesWorkbookPassesTheRowByReference) {
  withPlugin([&](Plugin& plugin) {
    fillLine(1, u"CABECERA", 0);
    fillLine(2, u"REF", 12.5);
    PluginTestAccess::setContador(plugin, 2);
    plugin.escribirLPS();
  });
  const Calls row2(excel->calls.begin() + 14, excel->calls.begin() + 24);
  EXPECT_EQ(row2, (Calls{"Cells(Integer& 2, Integer 1, String \"9\")",
                         "Cells(Integer& 2, Integer 2, String \"9999\")",
                         "Cells(Integer& 2, Integer 3, Integer 2)",
                         "Cells(Integer& 2, Integer 4, String \"REF\")",
                         "Cells(Integer& 2, Integer 5, String \"desc REF\")",
                         "Cells(Integer& 2, Integer 6, Long 1)",
                         "Cells(Integer& 2, Integer 10, Double 12.5)",
                         "Cells(Integer& 2, Integer 11, Double 12.5)",
                         "Cells(Integer& 2, Integer 12, String \"0\")",
                         "Cells(Integer& 2, Integer 19, String \"0\")"}));
  EXPECT_EQ(excel->calls.size(), 4u + 20u + 5u);
}

TEST_F(Cycle, VersionTextChoosesTheFormatCode) {
  struct Case {
    const char16_t* version;
    const char* code;
  };
  for (const Case& c :
       {Case{u"12.0", "56"}, Case{u"16.0", "56"}, Case{u"12", "56"}, Case{u"11.0", "-4143"},
        Case{u"9.0", "-4143"}, Case{u"", "-4143"}, Case{u"versión doce", "-4143"},
        Case{u"11.9999", "-4143"}, Case{u" 1 2 .0 beta", "56"}}) {
    excel->calls.clear();
    excel->version = c.version;
    withPlugin([&](Plugin& plugin) { plugin.escribirPRE(); });
    const std::string call = saveCall();
    EXPECT_EQ(call.substr(call.rfind("Integer ") + 8), std::string(c.code) + ")")
        << toUtf8(c.version);
  }
}

TEST_F(Cycle, OneFailedStartIsRetriedSilently) {
  excel->failingCreations = 1;
  withPlugin([&](Plugin& plugin) {
    plugin.escribirPRE();
    EXPECT_EQ(plugin.excel(), nullptr);
  });
  EXPECT_EQ(excel->calls[0], "create");
  EXPECT_EQ(excel->calls[1], "create");
  EXPECT_EQ(excel->calls.back(), "Quit");
  EXPECT_TRUE(user.boxes.empty());
}

TEST_F(Cycle, TwoFailedStartsEndTheWriterWithTheSecondError) {
  excel->failingCreations = 2;
  withPlugin([&](Plugin& plugin) {
    try {
      plugin.escribirPRE();
      FAIL();
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), 429);
      EXPECT_EQ(e.description(), u"El componente ActiveX no puede crear el objeto (0)");
    }
    EXPECT_EQ(plugin.excel(), nullptr);
  });
  EXPECT_EQ(excel->calls, (Calls{"create", "create"}));
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(Cycle, AFailureLeavesTheObjectsOpenUntilTheNextCycleReplacesThem) {
  excel->failingMember = "SaveAs";
  withPlugin([&](Plugin& plugin) {
    EXPECT_EQ(errorOf([&] { plugin.escribirPRE(); }), 1004);
    EXPECT_NE(plugin.excel(), nullptr);
    EXPECT_NE(plugin.libro(), nullptr);
    EXPECT_NE(plugin.hoja(), nullptr);
    excel->failingMember.reset();
    plugin.escribirLPS();
    EXPECT_EQ(plugin.excel(), nullptr);
    EXPECT_EQ(plugin.libro(), nullptr);
    EXPECT_EQ(plugin.hoja(), nullptr);
  });
  EXPECT_EQ(std::count(excel->calls.begin(), excel->calls.end(), "Close"), 1);
  EXPECT_EQ(std::count(excel->calls.begin(), excel->calls.end(), "Quit"), 1);
}

// The layouts, written by the real engine and read back with xlrd.
class Layout : public Export {
 protected:
  void SetUp() override { xls::registerExcel(factory); }
};

TEST_F(Layout, HeaderRowHoldsTheFourteenCells) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    constantes().dblSuma = 0.125;
    constantes().dblBase = 0.375;
    constantes().dblIVA = 7.456;
    constantes().dblCuotaIVA = 10.5;
    constantes().dblTotal = 2.675;  // scales to exactly 267.5, which goes to the even 268
    plugin.escribirPRE();
  });
  EXPECT_EQ(readCells(dir / "PRE.xls"),
            (std::vector<json>{
                textCell(1, 1, "9"), textCell(1, 2, "9999"), textCell(1, 3, "Muebles Martínez"),
                textCell(1, 4, "12/08/2026"), textCell(1, 7, "4711"),  // the empty H: no cell
                textCell(1, 14, "0"), textCell(1, 17, "GEN"), numberCell(1, 18, 0.12),
                numberCell(1, 45, 0.38), numberCell(1, 48, 7.456), numberCell(1, 51, 10.5),
                numberCell(1, 62, 2.68), textCell(1, 71, "0")}));
}

// An empty text leaves no cell, as a spreadsheet application stores it, so that every
// reader sees the same cells.
TEST_F(Layout, EmptyTextsLeaveNoCellAndASecondExportReplacesTheFile) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    plugin.escribirPRE();
    constantes().strCliente = u"";
    constantes().dblIVA = 0;
    plugin.escribirPRE();
  });
  const auto cells = readCells(dir / "PRE.xls");
  ASSERT_EQ(cells.size(), 12u);
  EXPECT_EQ(cells[1], textCell(1, 2, "9999"));
  EXPECT_EQ(cells[2], textCell(1, 4, "12/08/2026"));
  EXPECT_EQ(cells[8], numberCell(1, 48, 0));
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"PRE.xls"});
}

TEST_F(Layout, LinesRowsCarryTheTableAndRoundHalfToEven) {
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

TEST_F(Layout, AFullTableGives200RowsAndLine201IsError9WithoutAFile) {
  withPlugin([&](Plugin& plugin) {
    for (int i = 1; i <= 200; ++i) fillLine(i, u"R" + decimal(i), i);
    PluginTestAccess::setContador(plugin, 200);
    plugin.escribirLPS();
    const auto cells = readCells(dir / "LPS.xls");
    ASSERT_EQ(cells.size(), 2000u);
    EXPECT_EQ(cells.back(), textCell(200, 19, "0"));
    EXPECT_EQ(cells[1990], textCell(200, 1, "9"));

    std::filesystem::remove(dir / "LPS.xls");
    PluginTestAccess::setContador(plugin, 201);
    EXPECT_EQ(errorOf([&] { plugin.escribirLPS(); }), 9);
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_NE(plugin.hoja(), nullptr);  // not closed, as after any failure
  });
}

TEST_F(Layout, NoLinesStillSavesAnEmptyWorkbook) {
  withPlugin([&](Plugin& plugin) {
    PluginTestAccess::setContador(plugin, 0);
    plugin.escribirLPS();
  });
  EXPECT_TRUE(readCells(dir / "LPS.xls").empty());
}

TEST_F(Layout, AFailingSaveKeepsTheEarlierFileAndLeavesNoTemporaryFile) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    plugin.escribirPRE();
    const auto before = testing::fileBytes(dir / "PRE.xls");
    constantes().strSerie = u"8";
    setFileFault({FileStep::Write, ENOSPC});
    EXPECT_EQ(errorOf([&] { plugin.escribirPRE(); }), 61);
    setFileFault({});
    EXPECT_EQ(testing::fileBytes(dir / "PRE.xls"), before);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"PRE.xls"});
  });
}

}  // namespace
}  // namespace brosk
