// The workbook cycle: how each writer drives the spreadsheet application, its one retry
// of a failed start, and what a failure leaves open.
#include <gtest/gtest.h>

#include <algorithm>
#include <regex>

#include "export.h"

namespace brosk {
namespace {

using Calls = std::vector<std::string>;

class Cycle : public testing::Export {
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

// What only the recorded calls show: the cycle's members in order, the kind of each cell's
// value, the row and column handed over by value, and the save's path by reference with
// the format code as an Integer. The values themselves are the layout tests' business.
TEST_F(Cycle, HeaderWorkbookIsDrivenCellByCellInColumnOrder) {
  withPlugin([&](Plugin& plugin) {
    fillHeaderState();
    plugin.escribirPRE();
  });
  Calls members;
  std::string cells;
  const std::regex cell(R"(Cells\(Integer 1, Integer (\d+), (\w+) .*\))");
  for (const std::string& call : excel->calls) {
    members.push_back(call.substr(0, call.find('(')));
    std::smatch m;
    if (std::regex_match(call, m, cell)) cells += m[1].str() + ":" + m[2].str() + " ";
  }
  EXPECT_EQ(std::count(members.begin(), members.end(), "Cells"), 14);
  EXPECT_EQ(cells,
            "1:String 2:String 3:String 4:String 7:String 8:String 14:String 17:String "
            "18:Double 45:Double 48:Double 51:Double 62:Double 71:String ");
  Calls cycle;
  std::copy_if(members.begin(), members.end(), std::back_inserter(cycle),
               [](const std::string& m) { return m != "Cells"; });
  EXPECT_EQ(cycle, (Calls{"create", "Workbooks", "Add", "Worksheets", "Application", "Version",
                          "SaveAs", "Close", "Quit"}));
  EXPECT_EQ(excel->calls[3], "Worksheets(Integer 1)");
  EXPECT_EQ(saveCall(), "SaveAs(String& \"" + dir.path().string() + "/PRE.xls\", Integer 56)");
}

TEST_F(Cycle, LinesWorkbookPassesTheRowByReference) {
  withPlugin([&](Plugin& plugin) {
    fillLine(1, u"CABECERA", 0);
    fillLine(2, u"REF", 12.5);
    PluginTestAccess::setContador(plugin, 2);
    plugin.escribirLPS();
  });
  // Every cell of a line gets its row by reference, as the application receives it; what
  // the cells hold is the workbook layout tests' to say, from the workbook itself.
  const Calls row2(excel->calls.begin() + 14, excel->calls.begin() + 24);
  for (const std::string& call : row2) EXPECT_EQ(call.rfind("Cells(Integer& 2, ", 0), 0u) << call;
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
    EXPECT_RAISES(plugin.escribirPRE(), 429, u"El componente ActiveX no puede crear el objeto (0)");
    EXPECT_EQ(plugin.excel(), nullptr);
  });
  EXPECT_EQ(excel->calls, (Calls{"create", "create"}));
  EXPECT_TRUE(dir.entries().empty());
}

TEST_F(Cycle, AFailureLeavesTheObjectsOpenUntilTheNextCycleReplacesThem) {
  excel->failingMember = "SaveAs";
  withPlugin([&](Plugin& plugin) {
    EXPECT_RAISES(plugin.escribirPRE(), 1004);
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

}  // namespace
}  // namespace brosk
