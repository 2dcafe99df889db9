// Failures at every host call and every file step of a realistic link: each ends in
// exactly the message (or the failure to the host) it should, no file under a final name
// is half-written, an earlier order's files survive a failed replacement, no temporary
// file is left, and the plug-in links the next command normally.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "order/constantes.h"
#include "platform/files.h"
#include "plugin/plugin.h"
#include "sim/host.h"
#include "sim/scripted_user.h"
#include "support.h"
#include "world.h"
#include "xls/excel_app.h"
#include "xls/workbook.h"

namespace brosk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::inFreshThread;
using Bytes = std::vector<std::uint8_t>;
using Id = layout::Id;
using Step = sim::ScriptedUser::Step;

json kitchen() {
  std::ifstream in(std::string(BROSK_SOURCE) + "/examples/cocina-nova.json");
  return json::parse(in);
}

class Faults : public testing::World {
 protected:
  int excelFailures = 0;  // creations of Excel.Application that fail before one succeeds

  void SetUp() override {
    fs::create_directory(dir / "KD_LORVENIC");
    factory.add(u"Excel.Application", [this]() -> ObjectRef {
      if (excelFailures > 0) {
        --excelFailures;
        throw RuntimeError(429);
      }
      return xls::newExcelApplication(files);
    });
  }

  fs::path order() const { return dir / "KD_LORVENIC" / "9_9999"; }
  // The host's start and one link command, as the host makes them; the failure the
  // plug-in returns, if any.
  std::optional<RuntimeError> startAndLink(Plugin& plugin, const std::u16string& vat = u"21",
                                           std::vector<Step> steps = {}) {
    steps.push_back(Step::type(Id::Iva, vat));
    steps.push_back(Step::click(Id::Aceptar));
    user.showings.push_back(std::move(steps));
    try {
      plugin.OnAppStartAfter(1);
      plugin.SceneCheck(1);
    } catch (const RuntimeError& e) {
      user.showings.clear();
      return e;
    }
    return std::nullopt;
  }
  std::map<std::string, Bytes> orderFiles() const {
    std::map<std::string, Bytes> found;
    if (!fs::exists(order())) return found;
    for (const auto& e : fs::directory_iterator(order())) {
      found[e.path().filename().string()] = testing::fileBytes(e.path());
    }
    return found;
  }
  // Puts an earlier order's files in the order folder, and nothing else.
  void restore(const std::map<std::string, Bytes>& files) const {
    fs::remove_all(order());
    fs::create_directories(order());
    for (const auto& [name, bytes] : files) {
      std::ofstream(order() / name, std::ios::binary)
          .write(reinterpret_cast<const char*>(bytes.data()),
                 static_cast<std::streamsize>(bytes.size()));
    }
  }
};

// The files of an order linked with VAT 16 (the earlier order) and with VAT 21.
struct Orders {
  std::map<std::string, Bytes> earlier;
  std::map<std::string, Bytes> linked;
};

TEST_F(Faults, EveryHostCallOfARealisticLink) {
  // One clean run gives the calls, the earlier order's files and the expected new ones.
  Orders orders;
  std::vector<std::string> calls;
  inFreshThread([&] {
    load(kitchen());
    Plugin plugin(services);
    ASSERT_FALSE(startAndLink(plugin, u"16"));
    orders.earlier = orderFiles();
    load(kitchen());
    ASSERT_FALSE(startAndLink(plugin));
    orders.linked = orderFiles();
    calls = host->calls();
  });
  ASSERT_EQ(orders.earlier.size(), 2u);
  ASSERT_NE(orders.earlier, orders.linked);
  EXPECT_EQ(testing::readCells(order() / "PRE.xls")[9]["value"], 21.0);

  std::map<std::string, int> seen;
  int cases = 0;
  for (const std::string& call : calls) {
    if (call.rfind("release ", 0) == 0) continue;
    const std::string member = call.rfind("new ", 0) == 0 ? call.substr(4) : call;
    const int n = ++seen[member];
    SCOPED_TRACE(member + " #" + std::to_string(n));
    ++cases;
    restore(orders.earlier);  // on disk when the failing command runs
    user.boxes.clear();
    inFreshThread([&] {
      json scene = kitchen();
      scene["faults"] = json::array(
          {{{"member", member}, {"call", n}, {"number", 440}, {"description", "falla"}}});
      load(scene);
      Plugin plugin(services);
      const auto failure = startAndLink(plugin);

      const bool inBuilder = member.rfind("Scene", 0) == 0 || member == "ObjectGetInfo";
      if (inBuilder) {
        EXPECT_FALSE(failure);
        EXPECT_EQ(texts(), std::vector<std::u16string>{u"Error inesperado (440): falla"});
        EXPECT_EQ(orderFiles(), orders.earlier);
      } else {
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->number(), 440);
        EXPECT_EQ(failure->description(), u"falla");
        const bool afterTheFiles = member == "EndSession" && n == 2;
        EXPECT_EQ(texts(),
                  afterTheFiles
                      ? std::vector<std::u16string>{u"El enlace se ha realizado correctamente"}
                      : std::vector<std::u16string>{});
        EXPECT_EQ(orderFiles(), afterTheFiles ? orders.linked : orders.earlier);
      }

      // The same plug-in, on the same thread, links the next command.
      load(kitchen());
      user.boxes.clear();
      EXPECT_FALSE(startAndLink(plugin));
      EXPECT_EQ(texts(), std::vector<std::u16string>{u"El enlace se ha realizado correctamente"});
      EXPECT_EQ(orderFiles(), orders.linked);
    });
  }
  EXPECT_GT(cases, 150);
}

// File steps: what fails, the message, and which files are the earlier order's.
TEST_F(Faults, EveryFileStep) {
  Orders orders;
  inFreshThread([&] {
    load(kitchen());
    Plugin plugin(services);
    ASSERT_FALSE(startAndLink(plugin, u"16"));
    orders.earlier = orderFiles();
    ASSERT_FALSE(startAndLink(plugin));
    orders.linked = orderFiles();
  });
  const std::u16string pre = dir.u16("KD_LORVENIC/9_9999/PRE.xls");
  const std::u16string lps = dir.u16("KD_LORVENIC/9_9999/LPS.xls");
  struct Case {
    std::string name;
    std::function<void()> arrange;
    std::u16string message;
    std::map<std::string, Bytes> expected;  // the order folder afterwards
    bool keptAside = false;  // a set-aside file kept, which the next link leaves alone
  };
  const std::u16string folder = dir.u16("KD_LORVENIC/9_9999/");
  const std::vector<Case> cases = {
      {"order folder creation refused",
       [&] {
         fs::remove_all(order());
         system.createFolderError = RuntimeError(75, u"Error de acceso a la ruta o el archivo");
       },
       u"Error inesperado (75): Error de acceso a la ruta o el archivo",
       {}},
      {"base folder missing",
       [&] {
         fs::remove_all(dir / "KD_LORVENIC");
         user.answers = {mb::kAnswerNo};  // the fallback folder, which is not there either
         system.fallbackPath = dir.u16("gone");
       },
       u"Error inesperado (76): No se ha encontrado la ruta de acceso: «" + dir.u16("gone/9_9999") +
           u"»",
       {}},
      {"read-only order folder",
       [&] {
         files.set({testing::FileStep::Create, EACCES});
       },
       u"Error inesperado (70): Permiso denegado: «" + pre + u"»", orders.earlier},
      {"PRE.xls held by another program for good",
       [&] {
         files.set({testing::FileStep::Rename, EBUSY});
       },
       u"Error inesperado (70): Permiso denegado: otro programa tiene abierto «" + pre + u"»",
       orders.earlier},
      // The earlier order's PRE.xls goes back: never one order's header beside another's lines.
      {"LPS.xls cannot be replaced",
       [&] {
         files.set({testing::FileStep::Rename, EACCES, 0, 1 << 30, u"LPS.xls"});
       },
       u"Error inesperado (70): Permiso denegado: «" + lps + u"»", orders.earlier},
      {"LPS.xls held by another program since its probe: no wait between the renames",
       [&] {
         files.set({testing::FileStep::Rename, EBUSY, 0, 1, u"LPS.xls"});
       },
       u"Error inesperado (70): Permiso denegado: otro programa tiene abierto «" + lps + u"»",
       orders.earlier},
      {"LPS.xls may not be replaced: said at once",
       [&] {
         files.set({testing::FileStep::Probe, EACCES, 0, 1 << 30, u"LPS.xls"});
       },
       u"Error inesperado (70): Permiso denegado: no tiene permiso para reemplazar «" + lps + u"»",
       orders.earlier},
      // Without hard links the earlier PRE.xls itself is moved aside first: it comes back.
      {"no hard links, and LPS.xls cannot be moved aside",
       [&] {
         files.set({testing::FileStep::Link, EPERM});
         files.add({testing::FileStep::Rename, EACCES, 0, 1 << 30, u"LPS.xls"});
       },
       u"Error inesperado (70): Permiso denegado: «" + lps + u"»", orders.earlier},
      {"both held for good: one wait for the two",
       [&] {
         files.set({testing::FileStep::Probe, EBUSY});
       },
       u"Error inesperado (70): Permiso denegado: otro programa tiene abierto «" + lps + u"»",
       orders.earlier},
      // The earlier PRE.xls stays under its set-aside name, which the message gives, and the
      // new one goes: an order without its header, never one order's header beside
      // another's lines.
      {"LPS.xls fails and PRE.xls cannot be put back",
       [&] {
         files.set({testing::FileStep::Rename, EACCES, 1, 1 << 30, u".xls"});
       },
       u"Error inesperado (70): Permiso denegado: «" + lps + u"». No se ha podido restaurar «" +
           pre + u"», cuya versión anterior se conserva en «" + folder +
           u"OLD»: esa carpeta no tiene ahora ese archivo y su pedido está incompleto; repita el "
           u"enlace",
       {{"OLD", orders.earlier.at("PRE.xls")}, {"LPS.xls", orders.earlier.at("LPS.xls")}},
       true},
      // The probes spend the link's two seconds on a passing hold of LPS.xls; its rename then
      // fails, and the earlier PRE.xls, held for a moment itself, still goes back: a put-back
      // has a patience of its own.
      {"LPS.xls held after the probes' wait, PRE.xls held for a moment as it goes back",
       [&] {
         files.set({testing::FileStep::Probe, EBUSY, 0, 12, u"LPS.xls"});
         files.add({testing::FileStep::Rename, EBUSY, 1, 2, u".xls"});
       },
       u"Error inesperado (70): Permiso denegado: otro programa tiene abierto «" + lps + u"»",
       orders.earlier},
      {"LPS.xls held for a moment",
       [&] {
         files.set({testing::FileStep::Probe, EBUSY, 0, 5, u"LPS.xls"});
       },
       u"El enlace se ha realizado correctamente", orders.linked},
      {"disk full while writing LPS.xls",
       [&] {
         files.set({testing::FileStep::Write, ENOSPC, 0, 1 << 30, u"LPS.xls"});
       },
       u"Error inesperado (61): Disco lleno: «" + lps + u"»", orders.earlier},
      {"flush fails",
       [&] {
         files.set({testing::FileStep::Flush, EIO});
       },
       u"Error inesperado (57): Error de E/S de dispositivo: «" + pre + u"»", orders.earlier},
      {"spreadsheet creation fails once", [&] { excelFailures = 1; },
       u"El enlace se ha realizado correctamente", orders.linked},
      {"spreadsheet creation fails twice", [&] { excelFailures = 2; },
       u"Error inesperado (429): El componente ActiveX no puede crear el objeto", orders.earlier},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir / "KD_LORVENIC");
    restore(orders.earlier);
    user.boxes.clear();
    inFreshThread([&] {
      load(kitchen());
      Plugin plugin(services);
      c.arrange();
      EXPECT_FALSE(startAndLink(plugin));
      // (SCOPED_TRACE does not reach this thread: each assertion names the case.)
      // A set-aside file's name holds a time and a random number: here it is OLD.
      std::map<std::string, Bytes> found = orderFiles();
      std::u16string message = user.boxes.back().text;
      for (const auto& [name, bytes] : orderFiles()) {
        if (!name.ends_with(".old")) continue;
        found["OLD"] = bytes;
        found.erase(name);
        if (const auto at = message.find(fromUtf8(name)); at != std::u16string::npos)
          message.replace(at, name.size(), u"OLD");
      }
      EXPECT_EQ(message, c.message) << c.name;
      EXPECT_EQ(found, c.expected) << c.name;   // nothing else: no temporary or half file
      EXPECT_LE(files.waited, 3000) << c.name;  // one wait for the link, one for a put-back

      files.clear();
      system.createFolderError.reset();
      excelFailures = 0;
      user.answers.clear();
      fs::create_directories(dir / "KD_LORVENIC");
      user.boxes.clear();
      user.showings.clear();
      // A dialog that kept the fallback folder is browsed back to the default one.
      user.folders = {dir.u16("KD_LORVENIC")};
      EXPECT_FALSE(startAndLink(plugin, u"21", {Step::click(Id::CmdRuta)}));
      EXPECT_EQ(texts(), std::vector<std::u16string>{u"El enlace se ha realizado correctamente"});
      found = orderFiles();
      std::erase_if(found, [](const auto& f) { return f.first.ends_with(".old"); });
      EXPECT_EQ(found, orders.linked) << c.name;
      EXPECT_EQ(orderFiles().size(), orders.linked.size() + c.keptAside) << c.name;
    });
  }
}

// The process killed at every call that changes the disk, over no earlier order, an
// earlier order, and one whose LPS.xls is held for a moment: the folder holds the earlier
// order or the new one, but for the one instant between the two renames (the new
// PRE.xls beside the earlier LPS.xls), and the next link, once the killed link's files
// are old, leaves the new order and nothing else. A power cut at each of those calls,
// which also loses whatever was not flushed yet, leaves the same; and one just after the
// user was told the link succeeded, the new order.
TEST_F(Faults, AKillAtAnyFileStepLeavesOneWholeOrder) {
  Orders orders;
  inFreshThread([&] {
    load(kitchen());
    Plugin plugin(services);
    ASSERT_FALSE(startAndLink(plugin, u"16"));
    orders.earlier = orderFiles();
    ASSERT_FALSE(startAndLink(plugin));
    orders.linked = orderFiles();
  });
  auto visible = [&] {  // what a reader of the folder takes for the order
    std::map<std::string, Bytes> found = orderFiles();
    std::erase_if(found, [](const auto& f) { return f.first.starts_with('.'); });
    return found;
  };
  const std::map<std::string, Bytes> none;
  orders.earlier["LPS.xls"].push_back(0);  // lines of another order (VAT is in PRE.xls only)
  const testing::FileFault lpsHeld{testing::FileStep::Probe, EBUSY, 0, 3, u"LPS.xls"};
  for (const auto& [earlier, fault] :
       {std::pair{none, testing::FileFault{}}, std::pair{orders.earlier, testing::FileFault{}},
        std::pair{orders.earlier, lpsHeld}}) {
    std::map<std::string, Bytes> window = {{"PRE.xls", orders.linked.at("PRE.xls")}};
    if (!earlier.empty()) window["LPS.xls"] = earlier.at("LPS.xls");
    int windows = 0;
    // The first run is not killed: it counts the calls.
    for (int kill = -1, calls = 0; kill < calls; ++kill) {
      SCOPED_TRACE("kill at call " + std::to_string(kill));
      restore(earlier);
      inFreshThread([&] {
        load(kitchen());
        Plugin plugin(services);
        files.clear();
        files.set(fault);
        files.killAt = kill;
        files.watchPowerCuts(order());
        startAndLink(plugin);
        const bool told = kill < 0 && !user.boxes.empty() &&
                          user.boxes.back().text == u"El enlace se ha realizado correctamente";
        if (kill < 0) calls = files.calls;
        const auto found = visible();
        windows += found == window;
        EXPECT_TRUE(found == earlier || found == orders.linked || found == window) << kill;
        for (const bool namesFlushedOnly : {false, true}) {
          auto cut = files.afterPowerCut(namesFlushedOnly);
          std::erase_if(cut, [](const auto& f) { return f.first.starts_with('.'); });
          EXPECT_TRUE(cut == earlier || cut == orders.linked || cut == window)
              << "power cut at " << kill << (namesFlushedOnly ? ", unflushed names lost" : "");
          if (told) {
            EXPECT_EQ(cut, orders.linked) << "power cut after success at " << kill;
          }
        }

        files.clear();
        files.agedSeconds = 31 * 24 * 3600;  // leftovers, set-aside files too, old enough to go
        load(kitchen());
        EXPECT_FALSE(startAndLink(plugin));
        EXPECT_EQ(orderFiles(), orders.linked) << kill;
        files.agedSeconds = 0;
      });
    }
    EXPECT_EQ(windows, 1);
  }
}

// The earlier PRE.xls that comes back when LPS.xls fails is the earlier file itself: its
// modification time and permissions with it, so that an importer that waits for LPS.xls to
// be no older than PRE.xls sees the earlier order as it was.
TEST_F(Faults, APutBackFileIsTheEarlierFile) {
  load(kitchen());
  Plugin plugin(services);
  ASSERT_FALSE(startAndLink(plugin, u"16"));
  const auto then = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(order() / "PRE.xls", then);
  fs::permissions(order() / "PRE.xls", fs::perms::owner_read | fs::perms::owner_write);
  const auto earlier = orderFiles();
  files.set({testing::FileStep::Rename, EIO, 0, 1 << 30, u"LPS.xls"});
  load(kitchen());
  EXPECT_FALSE(startAndLink(plugin));
  EXPECT_EQ(orderFiles(), earlier);
  EXPECT_EQ(fs::last_write_time(order() / "PRE.xls"), then);
  EXPECT_EQ(fs::status(order() / "PRE.xls").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(Faults, AnUnreplaceableFileThatIsAFolder) {
  load(kitchen());
  Plugin plugin(services);
  fs::create_directories(order() / "LPS.xls");
  EXPECT_FALSE(startAndLink(plugin));
  EXPECT_EQ(texts().back(), u"Error inesperado (75): Error de acceso a la ruta o el archivo: «" +
                                dir.u16("KD_LORVENIC/9_9999/LPS.xls") + u"»");
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"KD_LORVENIC"});
  EXPECT_TRUE(fs::is_directory(order() / "LPS.xls"));
  EXPECT_FALSE(fs::exists(order() / "PRE.xls"));  // taken back: no lines to go with it
  EXPECT_EQ(fs::directory_iterator(order() / "LPS.xls"), fs::directory_iterator());
}

// A workbook of an earlier order that is marked read-only (on Linux: nobody may write it)
// is not replaced, whichever of the two it is: error 75 naming it, and the earlier order's
// two files as they were.
TEST_F(Faults, AReadOnlyWorkbookIsNotReplaced) {
  std::map<std::string, Bytes> earlier;
  inFreshThread([&] {
    load(kitchen());
    Plugin plugin(services);
    ASSERT_FALSE(startAndLink(plugin, u"16"));
    earlier = orderFiles();
  });
  for (const char* name : {"PRE.xls", "LPS.xls"}) {
    SCOPED_TRACE(name);
    user.boxes.clear();
    fs::permissions(order() / name,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    inFreshThread([&] {
      load(kitchen());
      Plugin plugin(services);
      EXPECT_FALSE(startAndLink(plugin));
    });
    EXPECT_EQ(texts().back(), u"Error inesperado (75): Error de acceso a la ruta o el archivo: «" +
                                  dir.u16("KD_LORVENIC/9_9999/") + fromUtf8(name) +
                                  u"» es de sólo lectura");
    EXPECT_EQ(orderFiles(), earlier);
    fs::permissions(order() / name, fs::perms::owner_write, fs::perm_options::add);
  }
}

// One workbook saved through the file system with a fault at one step.
class AtomicSave : public ::testing::Test {
 protected:
  testing::TempFolder dir;
  testing::FaultyFileSystem files;
  xls::Sheet sheet;
};

TEST_F(AtomicSave, EveryFailingStepLeavesTheOldFileAndNoTemporaryFile) {
  sheet.setText(1, 1, u"old");
  xls::saveXls(files, dir.u16("PRE.xls"), sheet);
  const auto old = testing::fileBytes(dir / "PRE.xls");
  sheet.setText(1, 1, u"new");
  using testing::FileStep;
  for (const FileStep step :
       {FileStep::Create, FileStep::Write, FileStep::Flush, FileStep::Rename}) {
    files.set({step, ENOSPC});
    EXPECT_RAISES(xls::saveXls(files, dir.u16("PRE.xls"), sheet), 61,
                  u"Disco lleno: «" + dir.u16("PRE.xls") + u"»");
    EXPECT_EQ(testing::fileBytes(dir / "PRE.xls"), old);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"PRE.xls"});
  }
  files.clear();
  xls::saveXls(files, dir.u16("PRE.xls"), sheet);
  EXPECT_EQ(testing::readCells(dir / "PRE.xls"), std::vector<json>{testing::textCell(1, 1, "new")});
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"PRE.xls"});
}

TEST_F(AtomicSave, TargetsThatCannotBeWrittenNameThePathAndTheReason) {
  EXPECT_RAISES(xls::saveXls(files, dir.u16("missing/PRE.xls"), sheet), 76,
                u"No se ha encontrado la ruta de acceso: «" + dir.u16("missing/PRE.xls") + u"»");
  std::filesystem::create_directory(dir / "LPS.xls");
  EXPECT_RAISES(xls::saveXls(files, dir.u16("LPS.xls"), sheet), 75);
  EXPECT_RAISES(xls::saveXls(files, dir.u16("a") + std::u16string(1, u'\0') + u".xls", sheet), 52);
  EXPECT_RAISES(xls::saveXls(files, u"", sheet), 52);
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"LPS.xls"});
}

// Scanners, sync clients and the importer hold a new file for a moment: the creation and
// the rename are tried again with growing pauses for about two seconds in all (the waits
// are counted, not slept), and a file held for good is error 70 saying that another
// program has it open. A read-only target is kept and said so.
TEST_F(AtomicSave, AFileHeldForAMomentIsWaitedForAndOneHeldForGoodIsSaidSo) {
  using testing::FileStep;
  sheet.setText(1, 1, u"new");
  for (const FileStep step : {FileStep::Create, FileStep::Rename}) {
    files.set({step, EBUSY, 0, 5});
    xls::saveXls(files, dir.u16("PRE.xls"), sheet);
    EXPECT_EQ(files.waited, 10 + 20 + 40 + 80 + 160);
    files.set({step, EBUSY});
    EXPECT_RAISES(xls::saveXls(files, dir.u16("PRE.xls"), sheet), 70,
                  u"Permiso denegado: otro programa tiene abierto «" + dir.u16("PRE.xls") + u"»");
    EXPECT_EQ(files.waited, 2000);
  }
  files.set({FileStep::Rename, EACCES});  // not a file held: no wait
  EXPECT_RAISES(xls::saveXls(files, dir.u16("PRE.xls"), sheet), 70);
  EXPECT_EQ(files.waited, 0);
  files.clear();
  EXPECT_EQ(testing::readCells(dir / "PRE.xls"), std::vector<json>{testing::textCell(1, 1, "new")});
  EXPECT_EQ(dir.entries(), std::vector<std::string>{"PRE.xls"});

  std::filesystem::permissions(dir / "PRE.xls", std::filesystem::perms::all,
                               std::filesystem::perm_options::remove);
  sheet.setText(1, 1, u"newer");
  EXPECT_RAISES(
      xls::saveXls(files, dir.u16("PRE.xls"), sheet), 75,
      u"Error de acceso a la ruta o el archivo: «" + dir.u16("PRE.xls") + u"» es de sólo lectura");
  std::filesystem::permissions(dir / "PRE.xls", std::filesystem::perms::owner_read,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(testing::readCells(dir / "PRE.xls"), std::vector<json>{testing::textCell(1, 1, "new")});

  // Putting PRE.xls back after LPS.xls failed has a patience of its own: one second.
  std::filesystem::permissions(dir / "PRE.xls", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  files.set({FileStep::Rename, EBUSY, 1});
  StagedFiles both(files);
  const std::vector<std::uint8_t> bytes = {1};
  both.stage(dir.u16("PRE.xls"), bytes);
  both.stage(dir.u16("LPS.xls"), bytes);
  EXPECT_RAISES(both.commit(), 70);
  EXPECT_EQ(files.waited, 1000);
}

// Leftovers are aged by the time in their names, alike on every PC, and only the set's own
// targets' go: a link in progress on a PC whose clock is half an hour behind keeps its
// temporary file through another PC's link, a look-alike of another program's stays, and a
// set-aside file (maybe an earlier file's only copy) is kept for 30 days.
TEST_F(AtomicSave, OnlyItsOwnOldLeftoversAreRemoved) {
  const std::int64_t now = files.wallClock();
  auto name = [&](const char* target, std::int64_t age, int number, const char* kind) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%08x-%08x", static_cast<unsigned>(now - age), number);
    return std::string(".") + target + "." + stamp + kind;
  };
  // Temporary files go after an hour, set-aside ones after 30 days.
  const std::vector<std::string> gone = {name("PRE.xls", 3600 + 100, 1, ".tmp"),
                                         name("PRE.xls", 31 * 86400, 2, ".old")};
  const std::vector<std::string> kept = {name("PRE.xls", 3600 - 100, 3, ".tmp"),
                                         name("PRE.xls", 29 * 86400, 4, ".old"),
                                         name("otro.xls", 2 * 3600, 5, ".tmp")};
  for (const auto& n : gone) std::ofstream(dir / n) << "x";
  for (const auto& n : kept) std::ofstream(dir / n) << "x";
  const Bytes bytes = {1, 2, 3};

  testing::FaultyFileSystem behind;
  behind.agedSeconds = -1800;
  StagedFiles inProgress(behind);
  inProgress.stage(dir.u16("PRE.xls"), bytes);
  replaceFile(files, dir.u16("PRE.xls"), bytes);  // another PC's link meanwhile
  inProgress.commit();

  std::vector<std::string> expected = kept;
  expected.push_back("PRE.xls");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.entries(), expected);
}

}  // namespace
}  // namespace brosk
