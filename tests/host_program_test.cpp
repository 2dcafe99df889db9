// brosk-host as a process: its output lines, exit statuses and files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "files.h"

namespace brosk {
namespace {

namespace fs = std::filesystem;
using testing::quoted;
using testing::run;
using testing::TempFolder;

class HostProgram : public ::testing::Test {
 protected:
  TempFolder home;
  // brosk-host with the given arguments, the test's folder as the user's home.
  testing::ProcessResult host(const std::string& arguments, const std::string& input = "") {
    return run("HOME=" + quoted(home.path().string()) + " " + BROSK_HOST + " " + arguments, input);
  }
  std::string scene(const std::string& json) {
    const fs::path file = home / "scene.json";
    std::ofstream(file) << json;
    return quoted(file.string());
  }
  static std::string example() {
    return quoted(std::string(BROSK_SOURCE) + "/examples/cocina-nova.json");
  }
};

TEST_F(HostProgram, LinksTheExampleKitchenAndSaysSo) {
  const auto r =
      host("--locale es_ES.UTF-8 --series 1 --quote 2024 --customer 4711 --vat 21 " + example());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "[menu] Enlace a Lorvenic\n"
            "[¡¡¡ATENCION!!!] El directorio C:\\KD_LORVENIC no existe, ¿desea crearlo? -> Sí\n"
            "[¡¡Exito!!] El enlace se ha realizado correctamente\n");
  EXPECT_EQ(r.err, "");
  const auto pre = testing::readCells(home / "KD_LORVENIC/1_2024/PRE.xls");
  ASSERT_EQ(pre.size(), 13u);
  EXPECT_EQ(pre[4], testing::numberCell(1, 7, 4711));
  EXPECT_EQ(testing::readCells(home / "KD_LORVENIC/1_2024/LPS.xls").size(), 190u);
}

TEST_F(HostProgram, BrowsingAndDecliningTheDefaultFolder) {
  fs::create_directory(home / "pedidos");
  const auto r = host("--locale es_ES.UTF-8 --create-folder no --browse " +
                      quoted((home / "pedidos/").string()) + " --trace " +
                      quoted((home / "trace.jsonl").string()) + " " + example());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("¿desea crearlo? -> No\n"), std::string::npos);
  EXPECT_FALSE(fs::exists(home / "KD_LORVENIC"));
  EXPECT_TRUE(fs::exists(home / "pedidos/9_9999/LPS.xls"));
  std::ifstream trace(home / "trace.jsonl");
  int lines = 0;
  for (std::string line; std::getline(trace, line); ++lines) {
    const auto entry = nlohmann::json::parse(line);
    EXPECT_TRUE(entry.contains("object") && entry.contains("member")) << line;
  }
  EXPECT_GT(lines, 100);
}

TEST_F(HostProgram, NotLinkedIsExitStatus1) {
  auto r = host("--locale es_ES.UTF-8 --cancel " + example());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("[ATENCION] No se ha generado el enlace\n"), std::string::npos);

  r = host("--locale es_ES.UTF-8 --vat '' " + example());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("[Datos de presupuesto] El IVA no es un número: «».\n"), std::string::npos);

  r = host("--locale es_ES.UTF-8 --cancel " + scene("{}"));
  EXPECT_EQ(r.status, 1);

  r = host("--locale es_ES.UTF-8 " + scene("{}"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("[¡¡Atención!!] No hay objetos en la escena para enlazar\n"),
            std::string::npos);

  r = host("--locale es_ES.UTF-8 " + scene(R"({"session": 0})"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
}

TEST_F(HostProgram, AnErrorThePlugInReportsIsExitStatus1) {
  const auto r =
      host("--locale es_ES.UTF-8 " + scene(R"({"objects": [{"info": {"0": "C", "43": "diez"}}]})"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("[¡¡Atención!!] Error inesperado (13): No coinciden los tipos\n"),
            std::string::npos);
}

TEST_F(HostProgram, AFailureReturnedToTheHostIsExitStatus3) {
  const auto r = host("--locale es_ES.UTF-8 " +
                      scene(R"({"faults": [{"member": "StartSessionFromCallParams", "call": 2,
                                            "number": 440, "description": "host caído"}]})"));
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.out, "[menu] Enlace a Lorvenic\n");
  EXPECT_EQ(r.err, "brosk-host: the plug-in failed the call: error 440: host caído\n");
}

TEST_F(HostProgram, BadUsageAndUnreadableScenesAreExitStatus2WithNothingWritten) {
  for (const std::string& arguments :
       {std::string(""), std::string("--bogus ") + example(), std::string("--series"),
        "--create-folder maybe " + example(), example() + " " + example(),
        "--locale xx_NOWHERE.UTF-8 " + example(), std::string("/nonexistent/scene.json"),
        scene("{\"objects\": [1]}"), scene("not json")}) {
    SCOPED_TRACE(arguments);
    const auto r = host(arguments);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("brosk-host: ", 0), 0u) << r.err;
  }
  EXPECT_FALSE(fs::exists(home / "KD_LORVENIC"));
  EXPECT_EQ(home.entries(), std::vector<std::string>{"scene.json"});
}

TEST_F(HostProgram, HelpAndVersionGoToStandardOutputWithStatus0) {
  auto r = host("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  // docs/brosk-host.md shows the usage as --help prints it, its first lines in its first block.
  std::ifstream doc(std::string(BROSK_SOURCE) + "/docs/brosk-host.md");
  std::string line, block;
  while (std::getline(doc, line) && line != "```") {
  }
  while (std::getline(doc, line) && line != "```") block += line + "\n";
  EXPECT_EQ(r.out.rfind(block, 0), 0u) << "docs/brosk-host.md shows:\n" << block;
  r = host("--version " + example());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "brosk-host 1.00\n");
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(fs::exists(home / "KD_LORVENIC"));
}

// Each refusal says what is wrong in one line on standard error, before anything runs.
TEST_F(HostProgram, RefusalsSayWhyOnStandardError) {
  fs::create_directory(home / "escena");
  struct Case {
    std::string arguments;
    std::string error;
  };
  for (const Case& c : std::vector<Case>{
           {quoted((home / "escena").string()),
            "brosk-host: " + (home / "escena").string() + ": is a directory\n"},
           {quoted((home / "no/such.json").string()),
            "brosk-host: " + (home / "no/such.json").string() +
                ": cannot be opened: No such file or directory\n"},
           {"--locale es_ES " + example(),
            "brosk-host: unknown locale 'es_ES'; did you mean es_ES.UTF-8?\n"},
           {"--trace " + quoted((home / "no/trace.jsonl").string()) + " " + example(),
            "brosk-host: cannot write the trace to " + (home / "no/trace.jsonl").string() +
                ": No such file or directory\n"},
       }) {
    SCOPED_TRACE(c.arguments);
    const auto r = host(c.arguments);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.error);
  }
  EXPECT_EQ(home.entries(), std::vector<std::string>{"escena"});
}

// Several links on one Plugin: after Aceptar the dialog shows what the user left, after
// Cancelar its load step runs again with the initial texts.
TEST_F(HostProgram, SeveralLinksOnOnePlugIn) {
  const auto r =
      host("--locale es_ES.UTF-8 --series 3 --then --quote 42 --cancel --then " + example());
  EXPECT_EQ(r.status, 1) << r.err;  // the second was not linked
  const std::string folder = (home / "KD_LORVENIC").string();
  EXPECT_EQ(r.out,
            "[menu] Enlace a Lorvenic\n"
            "[link 1]\n"
            "[¡¡¡ATENCION!!!] El directorio C:\\KD_LORVENIC no existe, ¿desea crearlo? -> Sí\n"
            "[dialog] 9 9999 9999 1,0 18 " +
                folder +
                "\n"
                "[¡¡Exito!!] El enlace se ha realizado correctamente\n"
                "[link 2]\n"
                "[dialog] 3 9999 9999 1,0 18 " +
                folder +
                "\n"
                "[ATENCION] No se ha generado el enlace\n"
                "[link 3]\n"
                "[dialog] 9 9999 9999 1,0 18 " +
                folder +
                "\n"
                "[¡¡Exito!!] El enlace se ha realizado correctamente\n");
  EXPECT_TRUE(fs::exists(home / "KD_LORVENIC/3_9999/LPS.xls"));
  EXPECT_TRUE(fs::exists(home / "KD_LORVENIC/9_9999/LPS.xls"));
  EXPECT_FALSE(fs::exists(home / "KD_LORVENIC/3_42"));
}

TEST_F(HostProgram, AsksOnTheTerminalWhenInteractive) {
  fs::create_directory(home / "destino");
  const auto r = host("--interactive --locale es_ES.UTF-8 " + example(),
                      "n\n5\n\n\n\n\ne\n" + (home / "destino").string() + "\na\n");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("Datos de presupuesto\n"), std::string::npos);
  EXPECT_NE(r.out.find("Serie: [9] (1 al 9)"), std::string::npos);
  EXPECT_NE(r.out.find("Valor del punto: [1,0] (0 a 1 - ##,##)"), std::string::npos);
  EXPECT_TRUE(fs::exists(home / "destino/5_9999/PRE.xls"));
}

}  // namespace
}  // namespace brosk
