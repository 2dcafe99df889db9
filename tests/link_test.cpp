// Whole link commands on the substitute host: the dialog, the order builder and the two
// workbooks, checked on the call trace, the messages, the files and the folders.
#include <gtest/gtest.h>

#include <filesystem>

#include "dialog/frm_datos.h"
#include "order/constantes.h"
#include "plugin/plugin.h"
#include "sim/host.h"
#include "sim/scripted_user.h"
#include "support.h"
#include "trace.h"
#include "world.h"
#include "xls/excel_app.h"

namespace brosk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::inFreshThread;
using testing::numberCell;
using testing::readCells;
using testing::textCell;
using Id = layout::Id;
using Step = sim::ScriptedUser::Step;
using Calls = std::vector<std::string>;

json object(const std::string& catalogue, const std::string& ref, const std::string& flag,
            const std::string& price, const std::string& description) {
  return {
      {"info", {{"0", catalogue}, {"8", ref}, {"35", flag}, {"43", price}, {"49", description}}}};
}

json kitchen(std::vector<json> objects) {
  return {{"keywords",
           {{"@Heading.ModelName()", "Nova"},
            {"@Heading.HeadingFinish(,1)", "Frente"},
            {"@Rubrique.GénériqueChoixNom(,1)", "Roble"},
            {"@Heading.HeadingFinish(,2)", "Tirador"},
            {"@Base.CustomerCompany()", "Muebles Martínez"}}},
          {"objects", std::move(objects)}};
}

class Link : public testing::World {
 protected:
  // One link command; the failure it returns to the host, if any.
  std::optional<RuntimeError> link(Plugin& plugin) {
    try {
      EXPECT_FALSE(plugin.SceneCheck(77));
    } catch (const RuntimeError& e) {
      return e;
    }
    return std::nullopt;
  }
  std::optional<RuntimeError> link() {
    Plugin plugin(services);
    return link(plugin);
  }
  Calls calls() const { return host->calls(); }
  fs::path order(const std::string& name = "9_9999") const { return dir / "KD_LORVENIC" / name; }
};

const testing::MessageBox kQuestion{u"El directorio C:\\KD_LORVENIC no existe, ¿desea crearlo?",
                                    u"¡¡¡ATENCION!!!", 4};
const testing::MessageBox kSuccess{u"El enlace se ha realizado correctamente", u"¡¡Exito!!", 0};
const testing::MessageBox kNotLinked{u"No se ha generado el enlace", u"ATENCION", 16};
const testing::MessageBox kEmpty{u"No hay objetos en la escena para enlazar", u"¡¡Atención!!", 48};
testing::MessageBox unexpected(const std::u16string& text) {
  return {u"Error inesperado (" + text, u"¡¡Atención!!", 48};
}

TEST_F(Link, AcceptedOrderIsReadInTheHostsOrderAndWrittenAsTwoWorkbooks) {
  load(kitchen(
      {object("CAT", "R1", "1", "100,50", "Bajo"), object("SYSTEM", "W", "1", "5", "Pared"),
       object("CAT", "R3", "1", "", "Sin precio"), object("CAT", "R4", "0", "7", "Excluido"),
       object("CAT", "R5", "00", "0,125", "Dos ceros pasa")}));
  user.showings.push_back({Step::type(Id::Iva, u"21"), Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  EXPECT_EQ(boxes(), (std::vector<testing::MessageBox>{kQuestion, kSuccess}));
  Calls expected{"new KDSDK.Appli", "new KDSDK.Scene", "StartSessionFromCallParams",
                 "SceneGetKeywordInfo"};
  for (int k = 0; k < 14; ++k) expected.push_back("SceneGetKeywordInfo");
  expected.push_back("SceneGetObjectsNb");
  for (int o = 1; o <= 5; ++o) {
    for (const char* m : {"SceneGetObjectId", "ObjectGetInfo", "ObjectGetInfo", "ObjectGetInfo"}) {
      expected.push_back(m);
    }
    if (o == 1 || o == 5) {
      for (int k = 0; k < 3; ++k) expected.push_back("ObjectGetInfo");
    }
  }
  for (const char* m :
       {"SceneGetKeywordInfo", "EndSession", "release KDSDK.Appli", "release KDSDK.Scene"}) {
    expected.push_back(m);
  }
  EXPECT_EQ(calls(), expected);

  // Arguments: session and rank and identifier by reference, keyword and code by value.
  using testing::arg;
  using testing::argsOf;
  using testing::longRef;
  const auto& t = host->trace();
  EXPECT_EQ(argsOf(t, "SceneGetKeywordInfo", 0),
            json::array({longRef(1), arg("String", "@Heading.ModelName()")}));
  EXPECT_EQ(argsOf(t, "SceneGetKeywordInfo", 1)[1], arg("String", "@Heading.HeadingFinish(,1)"));
  EXPECT_EQ(argsOf(t, "SceneGetKeywordInfo", 2)[1],
            arg("String", "@Rubrique.GénériqueChoixNom(,1)"));
  EXPECT_EQ(argsOf(t, "SceneGetKeywordInfo", 14)[1],
            arg("String", "@Rubrique.GénériqueChoixNom(,7)"));
  EXPECT_EQ(argsOf(t, "SceneGetKeywordInfo", 15)[1], arg("String", "@Base.CustomerCompany()"));
  EXPECT_EQ(argsOf(t, "SceneGetObjectId", 0), json::array({longRef(1), longRef(1)}));
  EXPECT_EQ(argsOf(t, "ObjectGetInfo", 0), json::array({longRef(1), longRef(1), arg("Long", 0)}));
  // The first object's three tests, then its article, description and price.
  const int codes[] = {0, 43, 35, 8, 49, 43};
  for (std::size_t n = 0; n < std::size(codes); ++n) {
    EXPECT_EQ(argsOf(t, "ObjectGetInfo", n)[2], arg("Long", codes[n]));
  }

  const auto pre = readCells(order() / "PRE.xls");
  ASSERT_EQ(pre.size(), 13u);
  EXPECT_EQ(pre[2], textCell(1, 3, "Muebles Martínez"));
  EXPECT_EQ(pre[3], testing::dateCell(1, 4, "2026-12-08"));  // the link's day
  // The kind of every cell, as the importer finds them: texts typed as numbers or a date
  // where they read so.
  std::string kinds;
  for (const auto& cell : pre) kinds += cell["kind"].get<std::string>().substr(0, 1);
  EXPECT_EQ(kinds, "nntdnntnnnnnn");
  EXPECT_EQ(pre[7], numberCell(1, 18, 100.62));  // 100.5 + 0.125
  EXPECT_EQ(pre[9], numberCell(1, 48, 21));
  EXPECT_EQ(pre[10], numberCell(1, 51, 21.13));
  EXPECT_EQ(pre[11], numberCell(1, 62, 121.76));
  const auto lps = readCells(order() / "LPS.xls");
  ASSERT_EQ(lps.size(), 30u);
  EXPECT_EQ(lps[4], textCell(1, 5, "Modelo: Nova\r\nFrente: Roble"));
  EXPECT_EQ(lps[13], textCell(2, 4, "R1"));
  EXPECT_EQ(lps[16], numberCell(2, 10, 100.5));
  std::string lineKinds;
  for (const auto& cell : lps) lineKinds += cell["kind"].get<std::string>().substr(0, 1);
  EXPECT_EQ(lineKinds,
            "nnnttnnnnn"
            "nnnttnnnnn"
            "nnnttnnnnn");
  EXPECT_EQ(lps[22], numberCell(3, 3, 3));
  EXPECT_EQ(lps[23], textCell(3, 4, "R5"));
  EXPECT_EQ(lps[26], numberCell(3, 10, 0.12));
}

TEST_F(Link, VatAmountIsTheRateOverAHundredTimesTheBase) {
  load(kitchen({object("CAT", "A", "1", "1234,56", "x")}));
  user.showings.push_back({Step::type(Id::Iva, u"10"), Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  const Constantes& c = constantes();
  EXPECT_EQ(c.dblSuma, 1234.56);
  EXPECT_EQ(c.dblBase, 1234.56);
  EXPECT_EQ(c.dblCuotaIVA, 10.0 / 100 * 1234.56);
  EXPECT_NE(c.dblCuotaIVA, 10.0 * 1234.56 / 100);  // the other order is one unit lower
  EXPECT_EQ(c.dblTotal, c.dblCuotaIVA + 1234.56);
}

TEST_F(Link, NoSessionMeansNoDialogNoMessageAndNoEndSession) {
  load({{"session", 0}});
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().objAppli, nullptr);
  EXPECT_EQ(constantes().objScene, nullptr);
  EXPECT_TRUE(user.seen.empty());
  EXPECT_TRUE(user.boxes.empty());
  EXPECT_EQ(calls(), (Calls{"new KDSDK.Appli", "new KDSDK.Scene", "StartSessionFromCallParams",
                            "release KDSDK.Appli", "release KDSDK.Scene"}));
}

TEST_F(Link, CancelReportsNothingLinkedAndStillEndsTheSession) {
  load(kitchen({object("CAT", "A", "1", "1", "x")}));
  user.showings.push_back({Step::click(Id::Cancelar)});
  EXPECT_FALSE(link());
  EXPECT_EQ(boxes(), (std::vector<testing::MessageBox>{kQuestion, kNotLinked}));
  EXPECT_EQ(calls(), (Calls{"new KDSDK.Appli", "new KDSDK.Scene", "StartSessionFromCallParams",
                            "EndSession", "release KDSDK.Appli", "release KDSDK.Scene"}));
}

TEST_F(Link, EmptySceneIsTheBuildersOwnWarningAndNoFolder) {
  load(kitchen({object("SYSTEM", "A", "1", "1", "x"), object("CAT", "B", "0", "1", "y")}));
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().lineas(1).art, u"CABECERA");  // the header line is stored all the same
  EXPECT_EQ(constantes().dblSuma, 0);
  EXPECT_EQ(boxes(), (std::vector<testing::MessageBox>{kQuestion, kEmpty}));
  EXPECT_EQ(calls().at(calls().size() - 3), "EndSession");
  EXPECT_TRUE(fs::is_empty(dir / "KD_LORVENIC"));
}

TEST_F(Link, HostErrorsEndInOneMessageAndTheCommandCompletes) {
  fs::create_directory(dir / "KD_LORVENIC");
  const std::pair<const char*, int> faults[] = {{"SceneGetKeywordInfo", 2},  // a finish
                                                {"SceneGetObjectsNb", 1},
                                                {"SceneGetObjectId", 2},
                                                {"ObjectGetInfo", 5},
                                                {"SceneGetKeywordInfo", 16}};  // the customer
  for (const auto& [member, call] : faults) {
    SCOPED_TRACE(std::string(member) + " " + std::to_string(call));
    inFreshThread([&] {
      json scene = kitchen({object("CAT", "A", "1", "1", "x"), object("CAT", "B", "1", "2", "y")});
      scene["faults"] = json::array(
          {{{"member", member}, {"call", call}, {"number", 440}, {"description", "caída"}}});
      load(scene);
      user.boxes.clear();
      EXPECT_FALSE(link());
      EXPECT_EQ(boxes(), std::vector<testing::MessageBox>{unexpected(u"440): caída")});
      EXPECT_EQ(calls().at(calls().size() - 3), "EndSession");
      EXPECT_FALSE(fs::exists(order()));
    });
  }
}

TEST_F(Link, LineTableHolds199ObjectsAndThe200thIsError9) {
  std::vector<json> objects;
  for (int i = 0; i < 199; ++i)
    objects.push_back(object("CAT", "R" + std::to_string(i), "1", "1", "d"));
  inFreshThread([&] {
    load(kitchen(objects));
    EXPECT_FALSE(link());
  });
  EXPECT_EQ(boxes().back(), kSuccess);
  const auto lps = readCells(order() / "LPS.xls");
  ASSERT_EQ(lps.size(), 2000u);
  EXPECT_EQ(lps.back(), numberCell(200, 19, 0));
  fs::remove_all(order());

  objects.push_back(object("CAT", "R199", "1", "1", "d"));
  user.boxes.clear();
  inFreshThread([&] {
    load(kitchen(objects));
    EXPECT_FALSE(link());
  });
  EXPECT_EQ(boxes().back(), unexpected(u"9): Subíndice fuera del intervalo"));
  EXPECT_FALSE(fs::exists(order()));
}

TEST_F(Link, PriceThatIsNotANumberStopsTheBuildWithError13) {
  load(kitchen({object("CAT", "A", "1", "12 €", "x")}));
  EXPECT_FALSE(link());
  EXPECT_EQ(boxes().back(), unexpected(u"13): No coinciden los tipos"));
  EXPECT_FALSE(fs::exists(order()));
}

TEST_F(Link, MissingBaseFolderExistingOrderFolderAndADriveRootBase) {
  inFreshThread([&] {
    load(kitchen({object("CAT", "A", "1", "1", "x")}));
    user.answers = {mb::kAnswerYes};
    user.folders = {dir.u16("gone")};
    fs::create_directory(dir / "gone");
    user.showings.push_back({Step::click(Id::CmdRuta), Step::click(Id::Aceptar)});
    fs::remove(dir / "gone");
    EXPECT_FALSE(link());
    EXPECT_EQ(boxes().back(), unexpected(u"76): No se ha encontrado la ruta de acceso: «" +
                                         dir.u16("gone/9_9999") + u"»"));

    // The folder stays as it was browsed; now it exists, with the order folder in it.
    fs::create_directories(dir / "gone/9_9999");
    std::ofstream(dir / "gone/9_9999/notas.txt") << "mine";
    EXPECT_FALSE(link());
    EXPECT_EQ(boxes().back(), kSuccess);
    EXPECT_TRUE(fs::exists(dir / "gone/9_9999/notas.txt"));
    EXPECT_TRUE(fs::exists(dir / "gone/9_9999/PRE.xls"));
  });
  inFreshThread([&] {
    // A base that ends in the separator, as a drive root does, gets a second one.
    Plugin plugin(services);
    user.folders = {dir.u16() + u"/"};
    user.showings.push_back({Step::click(Id::CmdRuta), Step::click(Id::Aceptar)});
    EXPECT_FALSE(link(plugin));
    EXPECT_EQ(plugin.carpeta(), dir.u16() + u"//9_9999");
    EXPECT_TRUE(fs::exists(dir / "9_9999" / "LPS.xls"));
  });
}

TEST_F(Link, SecondCommandAfterAceptarShowsTheEntriesWithoutTheLoadStep) {
  load(kitchen({object("CAT", "A", "1", "1", "x")}));
  user.showings.push_back(
      {Step::type(Id::Tipo, u"3"), Step::type(Id::NumPedido, u" 42"), Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  fs::remove_all(dir / "KD_LORVENIC");  // the question is not asked again all the same
  user.showings.push_back({Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().strNumPedido, u" 42");
  ASSERT_EQ(user.seen.size(), 2u);
  EXPECT_EQ(user.seen[0].tipo, u"9");
  EXPECT_EQ(user.seen[0].ruta, dir.u16("KD_LORVENIC"));
  EXPECT_EQ(user.seen[1].tipo, u"3");
  EXPECT_EQ(user.seen[1].numPedido, u" 42");
  EXPECT_EQ(boxes(), (std::vector<testing::MessageBox>{
                         kQuestion, kSuccess,
                         unexpected(u"76): No se ha encontrado la ruta de acceso: «" +
                                    dir.u16("KD_LORVENIC/3_ 42") + u"»")}));
}

TEST_F(Link, SecondCommandAfterCancelarLoadsTheDialogAgain) {
  load(kitchen({object("CAT", "A", "1", "1", "x")}));
  user.answers = {mb::kAnswerNo, mb::kAnswerNo};
  user.showings.push_back({Step::type(Id::Tipo, u"3"), Step::click(Id::Cancelar)});
  user.showings.push_back({Step::click(Id::Cancelar)});
  EXPECT_FALSE(link());
  EXPECT_FALSE(link());
  EXPECT_EQ(boxes(),
            (std::vector<testing::MessageBox>{kQuestion, kNotLinked, kQuestion, kNotLinked}));
  ASSERT_EQ(user.seen.size(), 2u);
  EXPECT_EQ(user.seen[1].tipo, u"9");
  EXPECT_EQ(user.seen[1].ruta, dir.u16());  // the answer No: the fallback folder
}

TEST_F(Link, CloseThroughTheFrameActsAsCancelarEvenAfterAnAcceptedCommand) {
  load(kitchen({object("CAT", "A", "1", "1", "x")}));
  EXPECT_FALSE(link());
  user.showings.push_back({Step::close()});
  EXPECT_FALSE(link());
  EXPECT_FALSE(FrmDatos::shared().boolAceptado);
  EXPECT_EQ(FrmDatos::shared().state(), FrmDatos::State::NotLoaded);
  EXPECT_EQ(boxes(), (std::vector<testing::MessageBox>{kQuestion, kSuccess, kNotLinked}));
}

// Under English conventions the dialog's initial point value "1,0" is no number (and not
// ten): the user is told and corrects it.
TEST_F(Link, TheInitialPointValueUnderEnglishConventionsIsToldNotReadAsTen) {
  system.format = {u".", u","};
  load(kitchen({object("CAT", "A", "1", "2.5", "x")}));
  user.showings.push_back(
      {Step::click(Id::Aceptar), Step::type(Id::ValorPunto, u"1.0"), Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().dblValorPunto, 1);
  EXPECT_EQ(constantes().lineas(2).precio, 2.5);
  EXPECT_EQ(boxes(),
            (std::vector<testing::MessageBox>{
                kQuestion,
                {u"El valor del punto no es un número: «1,0».", u"Datos de presupuesto", 48},
                kSuccess}));
}

TEST_F(Link, ANumberThatDoesNotReadIsToldAndTheDialogStaysUsable) {
  load(kitchen({object("CAT", "A", "1", "1", "x")}));
  user.showings.push_back({Step::type(Id::Tipo, u"7"), Step::type(Id::ValorPunto, u"1.500"),
                           Step::type(Id::Iva, u"dieciocho"), Step::click(Id::Aceptar),
                           Step::type(Id::Iva, u""), Step::click(Id::Aceptar),
                           Step::type(Id::Iva, u"16"), Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().dblValorPunto, 1500);  // the point groups digits in Spanish
  EXPECT_EQ(constantes().dblIVA, 16);
  EXPECT_EQ(boxes(), (std::vector<testing::MessageBox>{
                         kQuestion,
                         {u"El IVA no es un número: «dieciocho».", u"Datos de presupuesto", 48},
                         {u"El IVA no es un número: «».", u"Datos de presupuesto", 48},
                         kSuccess}));
  EXPECT_TRUE(fs::exists(order("7_9999") / "LPS.xls"));
}

TEST_F(Link, AFailedAceptarLeavesTheEarlierFieldsStoredAndTheFlagUnset) {
  load(kitchen({object("CAT", "A", "1", "1", "x")}));
  user.showings.push_back({Step::type(Id::Tipo, u"A"), Step::type(Id::CodCliente, u""),
                           Step::type(Id::ValorPunto, u"x"), Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  const Constantes& c = constantes();
  EXPECT_EQ(c.strSerie, u"A");
  EXPECT_EQ(c.strNumPedido, u"9999");
  EXPECT_EQ(c.strCodCliente, u"");
  EXPECT_FALSE(FrmDatos::shared().boolAceptado);
  EXPECT_EQ(boxes().back(), kNotLinked);  // the user gave up: a close through the frame
}

TEST_F(Link, TheLoadStepFindsCreatesOrFallsBack) {
  inFreshThread([&] {  // a folder: no question
    load(kitchen({}));
    fs::create_directory(dir / "KD_LORVENIC");
    user.showings.push_back({Step::click(Id::Cancelar)});
    link();
    EXPECT_EQ(constantes().strRuta, dir.u16("KD_LORVENIC"));
    fs::remove(dir / "KD_LORVENIC");
  });
  EXPECT_EQ(boxes(), std::vector<testing::MessageBox>{kNotLinked});
  inFreshThread([&] {  // an ordinary file of that name counts as present
    std::ofstream(dir / "KD_LORVENIC") << "x";
    user.showings.push_back({Step::click(Id::Cancelar)});
    link();
    EXPECT_EQ(user.seen.back().ruta, dir.u16("KD_LORVENIC"));
    fs::remove(dir / "KD_LORVENIC");
  });
  EXPECT_EQ(user.boxes.size(), 2u);
  inFreshThread([&] {  // Yes creates it
    user.answers = {mb::kAnswerYes};
    user.showings.push_back({Step::click(Id::Cancelar)});
    link();
    EXPECT_TRUE(fs::is_directory(dir / "KD_LORVENIC"));
    EXPECT_EQ(system.created, std::vector<std::u16string>{dir.u16("KD_LORVENIC")});
    fs::remove(dir / "KD_LORVENIC");
  });
  inFreshThread([&] {  // No falls back and creates nothing
    user.answers = {mb::kAnswerNo};
    user.showings.push_back({Step::click(Id::Cancelar)});
    link();
    EXPECT_EQ(constantes().strRuta, dir.u16());
    EXPECT_FALSE(fs::exists(dir / "KD_LORVENIC"));
  });
}

// The user hears that the folder cannot be made and what to do instead; the failure
// still goes to the host, and the next command asks again.
TEST_F(Link, AFolderThatCannotBeCreatedAtLoadIsToldAndFailsTheCommandToTheHost) {
  load(kitchen({}));
  system.createFolderError = RuntimeError(75, u"Error de acceso a la ruta o el archivo");
  const auto failure = link();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->number(), 75);
  EXPECT_EQ(FrmDatos::shared().state(), FrmDatos::State::NotLoaded);
  EXPECT_NE(constantes().objAppli, nullptr);  // kept until the next command
  EXPECT_EQ(constantes().strRuta, u"");
  EXPECT_EQ(calls().back(), "StartSessionFromCallParams");  // no EndSession
  EXPECT_EQ(boxes(), (std::vector<testing::MessageBox>{
                         kQuestion,
                         {u"No se puede crear el directorio C:\\KD_LORVENIC. Responda No a la "
                          u"pregunta y elija otra carpeta con Examinar.",
                          u"¡¡¡ATENCION!!!", 48}}));
}

TEST_F(Link, ExaminarCancelledChangesNothingAndABrowsedFolderOutlivesCancelar) {
  load(kitchen({}));
  user.folders = {std::nullopt, dir.u16("elegida")};
  user.showings.push_back({Step::click(Id::CmdRuta), Step::click(Id::CmdRuta),
                           Step::type(Id::Ruta, u"/typed/by/hand"), Step::click(Id::Cancelar)});
  link();
  EXPECT_EQ(constantes().strRuta, dir.u16("elegida"));
}

TEST_F(Link, HeaderDescriptionAndDateFollowTheScene) {
  json scene = kitchen({object("CAT", "A", "1", "1", "x")});
  scene["keywords"] = {{"@Heading.HeadingFinish(,2)", "Tirador"},
                       {"@Rubrique.GénériqueChoixNom(,3)", "Sin encabezado"}};
  load(scene);
  system.dateSep = u"-";
  system.date = {2027, 1, 5};
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().lineas(1).des, u"Modelo: \r\n: Sin encabezado");
  EXPECT_EQ(constantes().strFecha, u"01-05-2027");
  EXPECT_EQ(constantes().strCliente, u"");
}

TEST_F(Link, CatalogueAndExclusionTestsAreExact) {
  load(kitchen({object("@decocu", "A", "1", "1", "x"), object("@Decocu", "B", "1", "1", "x"),
                object("CAT", "C", " 0", "1", "x"), object("", "D", "1", "1", "x"),
                object("CAT", "E", "0", "1", "x")}));
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().lineas(2).art, u"B");
  EXPECT_EQ(constantes().lineas(3).art, u"C");
  EXPECT_EQ(constantes().lineas(4).art, u"D");
  EXPECT_EQ(readCells(order() / "LPS.xls").size(), 40u);
}

TEST_F(Link, BuilderWithoutAHostReportsTheUnsetObject) {
  Plugin plugin(services);
  EXPECT_TRUE(plugin.escribirPedido());
  EXPECT_EQ(boxes(), std::vector<testing::MessageBox>{
                         unexpected(u"91): Variable de objeto o bloque With no establecido")});
}

TEST_F(Link, UncreatableSceneObjectFailsBeforeAnySession) {
  json scene = kitchen({});
  scene["faults"] = {{{"member", "KDSDK.Scene"}, {"number", 429}}};
  load(scene);
  EXPECT_EQ(link()->number(), 429);
  EXPECT_NE(constantes().objAppli, nullptr);
  EXPECT_EQ(calls(), (Calls{"new KDSDK.Appli", "new KDSDK.Scene"}));
  EXPECT_TRUE(user.boxes.empty());
}

TEST_F(Link, AnOrderThatShrinksLeavesOlderLinesUnread) {
  std::vector<json> ten;
  for (int i = 0; i < 9; ++i)
    ten.push_back(object("CAT", "OLD" + std::to_string(i), "1", "1", "x"));
  load(kitchen(ten));
  EXPECT_FALSE(link());
  load(kitchen({object("CAT", "NEW", "1", "2", "y"), object("CAT", "NEW2", "1", "3", "y")}));
  fs::remove_all(order());
  user.showings.push_back({Step::click(Id::Aceptar)});
  EXPECT_FALSE(link());
  EXPECT_EQ(constantes().lineas(4).art, u"OLD2");  // still there, unread
  EXPECT_EQ(constantes().dblSuma, 5);
  EXPECT_EQ(readCells(order() / "LPS.xls").size(), 30u);
}

}  // namespace
}  // namespace brosk
