// Speed of one whole link on the substitute host, from after Aceptar to both workbooks
// in place: escribirPedido over a scene of 199 accepted objects (the largest order the
// line table holds), and each workbook writer alone. The host keeps no call trace here,
// so that the figures are the plug-in's own. Saving includes flushing each file to
// disk; "CPU" is the plug-in's processor time, "Time" the wall-clock time. The order
// folder goes under BROSK_BENCH_DIR when set (a tmpfs shows the time without the disk),
// else under the system's temporary folder.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "automation/text.h"
#include "order/constantes.h"
#include "plugin/plugin.h"
#include "sim/host.h"
#include "tests/fake_system.h"
#include "xls/excel_app.h"

namespace {

using namespace brosk;

class Silent : public UserInterface {
 public:
  int messageBox(const std::u16string&, const std::u16string&, int) override {
    return mb::kAnswerOk;
  }
  void showModal(FrmDatos&) override {}
  std::optional<std::u16string> browseForFolder(const std::u16string&) override { return {}; }
};

sim::Scene kitchen(int objects) {
  sim::Scene scene;
  scene.keywords[u"@Heading.ModelName()"] = Variant::text(u"Cocina Nova Roble");
  for (int k = 1; k <= 7; ++k) {
    scene.keywords[u"@Heading.HeadingFinish(," + decimal(k) + u")"] =
        Variant::text(u"Acabado " + decimal(k));
    scene.keywords[u"@Rubrique.GénériqueChoixNom(," + decimal(k) + u")"] =
        Variant::text(u"Elección " + decimal(k));
  }
  scene.keywords[u"@Base.CustomerCompany()"] = Variant::text(u"Muebles Martínez e Hijos, S.L.");
  for (int i = 1; i <= objects; ++i) {
    sim::SceneObject o;
    o.id = 1000 + i;
    o.info = {
        {0, Variant::text(u"MOBEL24")},
        {8, Variant::text(u"REF-" + decimal(i))},
        {35, Variant::text(u"1")},
        {43, Variant::text(decimal(100 + i) + u",25")},
        {49, Variant::text(u"Mueble bajo 60 cm dos cajones, acabado roble natural " + decimal(i))}};
    scene.objects.push_back(std::move(o));
  }
  return scene;
}

// A plug-in with the order state a link has after Aceptar.
struct AfterAceptar {
  FakeSystem system;
  Silent user;
  ObjectFactory factory;
  Services services{system, user, factory, systemFileSystem()};
  sim::Host host{kitchen(199)};
  std::filesystem::path folder =
      (std::getenv("BROSK_BENCH_DIR") ? std::filesystem::path(std::getenv("BROSK_BENCH_DIR"))
                                      : std::filesystem::temp_directory_path()) /
      ("brosk-bench-" + std::to_string(getpid()));
  Plugin plugin{services};

  AfterAceptar() {
    std::filesystem::create_directories(folder);
    host.keepTrace(false);
    host.registerInto(factory);
    xls::registerExcel(factory, systemFileSystem());
    Constantes& c = constantes();
    c.objScene = host.create(u"KDSDK.Scene");
    c.lSesion = 1;
    c.strSerie = u"9";
    c.strNumPedido = u"9999";
    c.strCodCliente = u"4711";
    c.dblValorPunto = 1;
    c.dblIVA = 21;
    c.strRuta = fromUtf8(folder.string());
  }
  ~AfterAceptar() {
    constantes().objScene.reset();
    std::filesystem::remove_all(folder);
  }
};

void BM_Link199Objects(benchmark::State& state) {
  AfterAceptar link;
  for (auto _ : state) {
    if (link.plugin.escribirPedido()) state.SkipWithError("the link was not made");
  }
}
BENCHMARK(BM_Link199Objects)->Unit(benchmark::kMicrosecond);

void BM_HeaderWorkbook(benchmark::State& state) {
  AfterAceptar link;
  link.plugin.escribirPedido();
  for (auto _ : state) link.plugin.escribirPRE();
}
BENCHMARK(BM_HeaderWorkbook)->Unit(benchmark::kMicrosecond);

void BM_LinesWorkbook200Lines(benchmark::State& state) {
  AfterAceptar link;
  link.plugin.escribirPedido();
  for (auto _ : state) link.plugin.escribirLPS();
}
BENCHMARK(BM_LinesWorkbook200Lines)->Unit(benchmark::kMicrosecond);

}  // namespace
