// The order state, the line table and the catalogue filter.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "automation/text.h"
#include "order/catalogo.h"
#include "order/constantes.h"
#include "plugin/plugin.h"
#include "world.h"

namespace brosk {
namespace {

using testing::inFreshThread;

class LineTable : public testing::World {
 protected:
  // insertarEnLista with values given by value, for readability.
  static void insert(Plugin& plugin, std::u16string tip, std::u16string num, std::int16_t pos,
                     std::u16string art, std::u16string des, std::u16string pre) {
    plugin.insertarEnLista(tip, num, pos, art, des, pre);
  }
};

TEST_F(LineTable, StoresEveryFieldOfALine) {
  inFreshThread([&] {
    Plugin plugin(services);
    constantes().dblValorPunto = 2;
    insert(plugin, u"9", u"9999", 2, u"REF-1", u"Bajo 60", u"125,50");
    const tLinea& line = constantes().lineas(2);
    EXPECT_EQ(line.tip, u"9");
    EXPECT_EQ(line.num, u"9999");
    EXPECT_EQ(line.pos, 2);
    EXPECT_EQ(line.art, u"REF-1");
    EXPECT_EQ(line.des, u"Bajo 60");
    EXPECT_EQ(line.cantidad, 1);
    EXPECT_EQ(line.precio, 251.0);
    EXPECT_EQ(line.importe, 251.0);
    EXPECT_EQ(line.col12, u"0");
    EXPECT_EQ(line.col19, u"0");
  });
}

TEST_F(LineTable, Line200IsTheLastAndOutsideIsError9WithNothingWritten) {
  inFreshThread([&] {
    Plugin plugin(services);
    constantes().dblValorPunto = 1;
    insert(plugin, u"1", u"1", 200, u"A", u"D", u"5");
    EXPECT_EQ(constantes().lineas(200).precio, 5.0);
    for (std::int16_t pos : {std::int16_t(201), std::int16_t(0), std::int16_t(-1)}) {
      EXPECT_RAISES(insert(plugin, u"X", u"X", pos, u"X", u"X", u"7"), 9);
    }
    EXPECT_EQ(constantes().lineas(200).tip, u"1");
    EXPECT_EQ(constantes().lineas(1).tip, u"");
    EXPECT_RAISES(constantes().lineas(201), 9);
    EXPECT_RAISES(constantes().acabados(8), 9);
    EXPECT_RAISES(constantes().acabados(0), 9);
  });
}

TEST_F(LineTable, PriceZeroGivesZeroAndCommaMarksTheFraction) {
  inFreshThread([&] {
    Plugin plugin(services);
    constantes().dblValorPunto = 1234.5;
    insert(plugin, u"1", u"1", 2, u"A", u"D", u"0");
    EXPECT_EQ(constantes().lineas(2).importe, 0.0);
    constantes().dblValorPunto = 1;
    insert(plugin, u"1", u"1", 3, u"A", u"D", u"0,125");
    EXPECT_EQ(constantes().lineas(3).precio, 0.125);
    system.format = {u".", u","};
    insert(plugin, u"1", u"1", 3, u"A", u"D", u"1,000.5");
    EXPECT_EQ(constantes().lineas(3).precio, 1000.5);
  });
}

TEST_F(LineTable, PriceThatIsNotANumberIsError13AfterTheTextsAreStored) {
  inFreshThread([&] {
    Plugin plugin(services);
    constantes().dblValorPunto = 1;
    insert(plugin, u"OLD", u"OLD", 5, u"OLD", u"OLD", u"10");
    constantes().lineas(5).col12 = u"old12";
    constantes().lineas(5).col19 = u"old19";
    constantes().lineas(5).cantidad = 7;
    EXPECT_RAISES(insert(plugin, u"N", u"NUM", 5, u"ART", u"DES", u"12abc"), 13);
    const tLinea& line = constantes().lineas(5);
    EXPECT_EQ(line.tip, u"N");
    EXPECT_EQ(line.num, u"NUM");
    EXPECT_EQ(line.art, u"ART");
    EXPECT_EQ(line.des, u"DES");
    EXPECT_EQ(line.cantidad, 1);
    EXPECT_EQ(line.precio, 10.0);
    EXPECT_EQ(line.importe, 10.0);
    EXPECT_EQ(line.col12, u"old12");
    EXPECT_EQ(line.col19, u"old19");
    EXPECT_RAISES(insert(plugin, u"N", u"N", 5, u"A", u"D", u""), 13);
  });
}

TEST_F(LineTable, NegativeFactorsAndPricesAreStoredAsTheyAre) {
  inFreshThread([&] {
    Plugin plugin(services);
    constantes().dblValorPunto = -2;
    insert(plugin, u"1", u"1", 2, u"A", u"D", u"-3,5");
    EXPECT_EQ(constantes().lineas(2).precio, 7.0);
  });
}

TEST_F(LineTable, AnOverflowingProductIsError6AfterItIsStored) {
  inFreshThread([&] {
    Plugin plugin(services);
    constantes().dblValorPunto = 1e300;
    const std::u16string big = u"1" + std::u16string(300, u'0');
    EXPECT_RAISES(insert(plugin, u"1", u"1", 2, u"A", u"D", big), 6);
    EXPECT_TRUE(std::isinf(constantes().lineas(2).precio));
    EXPECT_EQ(constantes().lineas(2).col12, u"");
  });
}

TEST_F(LineTable, EachThreadHasItsOwnOrderState) {
  inFreshThread([&] {
    constantes().strSerie = u"mine";
    constantes().lineas(3).art = u"mine";
    inFreshThread([] {
      EXPECT_EQ(constantes().strSerie, u"");
      EXPECT_EQ(constantes().lineas(3).art, u"");
      EXPECT_EQ(constantes().lSesion, 0);
      EXPECT_EQ(constantes().objScene, nullptr);
    });
    EXPECT_EQ(constantes().strSerie, u"mine");
  });
}

TEST(CatalogueFilter, NearMissesAreValid) {
  for (const char16_t* name :
       {u"", u"system", u"System", u" SYSTEM", u"SYSTEM ", u"@Decocu", u"@DECOCu", u"@CONSTR3",
        u"@CONSTR ", u"@CONST", u"@", u"BASE", u"#base", u"@ELECTRO", u"DECSAN2", u"CAT"}) {
    EXPECT_TRUE(esCatalogoValido(name)) << toUtf8(name);
  }
  EXPECT_TRUE(esCatalogoValido(std::u16string(u"SYSTEM\0", 7)));
}

// docs/scene-format.md lists the excluded catalogues for the people who write scenes: the
// list there is the code's, in the code's order.
TEST(CatalogueFilter, TheDocumentedListIsTheCodesList) {
  std::ifstream doc(std::string(BROSK_SOURCE) + "/docs/scene-format.md");
  ASSERT_TRUE(doc) << "docs/scene-format.md";
  std::vector<std::u16string> documented;
  bool inList = false;
  for (std::string line; std::getline(doc, line);) {
    if (line == "<!-- excluded catalogues -->") inList = true;
    if (line == "<!-- end of excluded catalogues -->") break;
    if (inList && line.rfind("- `", 0) == 0 && line.back() == '`') {
      documented.push_back(fromUtf8(line.substr(3, line.size() - 4)));
    }
  }
  std::vector<std::u16string> code;
  for (const std::u16string_view name : catalogosExcluidos()) code.emplace_back(name);
  EXPECT_EQ(code.size(), 16u);
  EXPECT_EQ(documented, code);
  for (const std::u16string& name : documented) EXPECT_FALSE(esCatalogoValido(name));
}

}  // namespace
}  // namespace brosk
