// Inside a host's process: the host's floating-point state, a host that calls again while
// the plug-in waits for the user, the module state of threads that end and of a library
// that unloads.
#include <gtest/gtest.h>

#include <cfenv>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "automation/convert.h"
#include "dialog/frm_datos.h"
#include "export/redondeo.h"
#include "host_fp.h"
#include "order/constantes.h"
#include "platform/fp_state.h"
#include "platform/thread_state.h"
#include "plugin/plugin.h"
#include "support.h"
#include "world.h"

namespace brosk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::inFreshThread;
using Id = layout::Id;
using Step = sim::ScriptedUser::Step;

// --- The host's floating-point state ---------------------------------------------------

using testing::hostFpState;
using testing::kHostFpStates;
using testing::kLinuxNormal;

// Runs `body` as a call from a host in `state`, through the entry guard; the state the
// host finds afterwards.
FpState callFromHost(FpControlWords state, const std::function<void()>& body) {
  setFpControl(state);
  {
    const FpEntry entry;
    body();
  }
  const FpState after = FpState::current();
  setFpControl(kLinuxNormal);
  return after;
}

class HostFp : public testing::World {
 protected:
  void SetUp() override { fs::create_directory(dir / "KD_LORVENIC"); }

  // A whole link whose prices need every bit of a Double and the even rounding; the two
  // workbooks' bytes, or the messages when it did not link.
  struct Outcome {
    std::string pre, lps;
    std::vector<std::u16string> messages;
  };
  Outcome link(std::string_view state, std::vector<std::string> prices,
               const std::u16string& pointValue = u"1,0") {
    json objects = json::array();
    for (const std::string& price : prices) {
      objects.push_back({{"info", {{"0", "CAT"}, {"8", "A"}, {"35", "1"}, {"43", price}}}});
    }
    load(json{{"objects", objects}});
    fs::remove_all(dir / "KD_LORVENIC/9_9999");
    user.boxes.clear();
    user.showings.push_back({Step::type(Id::ValorPunto, pointValue), Step::type(Id::Iva, u"7,456"),
                             Step::click(Id::Aceptar)});
    FpState after;
    inFreshThread([&] {
      Plugin plugin(services);
      after = callFromHost(*hostFpState(state, kLinuxNormal), [&] { plugin.SceneCheck(1); });
    });
    const FpControlWords host = *hostFpState(state, kLinuxNormal);
    EXPECT_EQ(after.x87ControlWord(), host.x87) << state;
    EXPECT_EQ(after.mxcsr() & ~0x3Fu, host.mxcsr & ~0x3Fu) << state;
    return {read("PRE.xls"), read("LPS.xls"), texts()};
  }
  // Column J of a row of LPS.xls, as the independent reader sees it.
  double price(int row) const {
    for (const json& cell : testing::readCells(dir / "KD_LORVENIC/9_9999/LPS.xls")) {
      if (cell["row"] == row && cell["col"] == 10) return cell["value"];
    }
    ADD_FAILURE() << "no price in row " << row;
    return 0;
  }
  std::string read(const char* name) const {
    std::ifstream in(dir / "KD_LORVENIC/9_9999" / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(HostFp, EveryHostStateGivesTheSameWorkbooksAndGetsItsStateBack) {
  const std::vector<std::string> prices = {"1234567,89", "0,125", "99999999,99", "0,375",
                                           "102469145,32"};
  const Outcome expected = link("default", prices);
  ASSERT_EQ(expected.messages.back(), u"El enlace se ha realizado correctamente");
  EXPECT_EQ(price(2), 1234567.89);
  EXPECT_EQ(price(3), 0.12);
  EXPECT_EQ(price(4), 99999999.99);
  EXPECT_EQ(price(5), 0.38);
  for (const std::string_view state : kHostFpStates) {
    SCOPED_TRACE(state);
    const Outcome got = link(state, prices);
    EXPECT_EQ(got.messages, expected.messages);
    EXPECT_TRUE(got.pre == expected.pre) << "PRE.xls differs";
    EXPECT_TRUE(got.lps == expected.lps) << "LPS.xls differs";
  }
}

// 1e308 times 10 overflows: a floating-point fault even for a host that unmasks it, told
// as error 6; 1e307 is a valid, if large, amount whose rounding must not overflow.
TEST_F(HostFp, AnOverflowingPriceIsError6AndALargeOneIsWritten) {
  for (const char* state : {"default", "down", "unmasked"}) {
    SCOPED_TRACE(state);
    EXPECT_EQ(link(state, {"1e308"}, u"10").messages.back(),
              u"Error inesperado (6): Desbordamiento");
    EXPECT_EQ(link(state, {"1e307"}).messages.back(), u"El enlace se ha realizado correctamente");
  }
  EXPECT_EQ(price(2), 1e307);
}

// --- A host that calls again while the plug-in waits for the user ------------------------

// The user of a host whose own windows stay alive: while the dialog or a message box is
// up, the host's message loop delivers the menu command again.
class ImpatientHost : public UserInterface {
 public:
  ImpatientHost(UserInterface& user, std::function<void()> again)
      : user_(user), again_(std::move(again)) {}
  std::vector<std::int32_t> refusals;

  int messageBox(const std::u16string& text, const std::u16string& title, int style) override {
    callAgain();
    return user_.messageBox(text, title, style);
  }
  void showModal(FrmDatos& form) override {
    callAgain();
    user_.showModal(form);
  }
  std::optional<std::u16string> browseForFolder(const std::u16string& instruction) override {
    return user_.browseForFolder(instruction);
  }

 private:
  void callAgain() { refusals.push_back(testing::errorOf(again_)); }
  UserInterface& user_;
  std::function<void()> again_;
};

class Reentry : public testing::World {
 protected:
  void SetUp() override {
    load(json{{"objects", {{{"info", {{"0", "CAT"}, {"8", "A"}, {"35", "1"}, {"43", "2,5"}}}}}}});
  }
};

TEST_F(Reentry, ACommandThatArrivesWhileOneRunsIsRefusedAndChangesNothing) {
  for (const bool startAgain : {false, true}) {
    SCOPED_TRACE(startAgain ? "OnAppStartAfter" : "SceneCheck");
    fs::remove_all(dir / "KD_LORVENIC");
    user.boxes.clear();
    user.showings.push_back({Step::type(Id::NumPedido, u"41"), Step::click(Id::Aceptar)});
    std::unique_ptr<Plugin> second;
    ImpatientHost host(user, [&] {
      // The host calls on another Plugin object of the same apartment, as a host that
      // makes an object per call does.
      if (startAgain) {
        second->OnAppStartAfter(1);
      } else {
        second->SceneCheck(1);
      }
    });
    Services impatient{system, host, factory, files};
    inFreshThread([&] {
      second = std::make_unique<Plugin>(impatient);
      Plugin plugin(impatient);
      EXPECT_FALSE(plugin.SceneCheck(1));
      second.reset();
      EXPECT_EQ(constantes().objAppli, nullptr);
    });
    // The load step's question, the dialog, the success message: refused each time.
    EXPECT_EQ(host.refusals, (std::vector<std::int32_t>{5, 5, 5}));
    EXPECT_EQ(texts().back(), u"El enlace se ha realizado correctamente");
    EXPECT_TRUE(fs::exists(dir / "KD_LORVENIC/9_41/LPS.xls"));
  }
  // Once the command is over, the next one runs.
  inFreshThread([&] {
    Plugin plugin(services);
    EXPECT_TRUE(plugin.OnAppStartAfter(1));
  });
}

TEST_F(Reentry, TheRefusalSaysWhy) {
  struct Nested : sim::ScriptedUser {
    Plugin* again = nullptr;
    void showModal(FrmDatos& form) override {
      EXPECT_RAISES(again->SceneCheck(1), 5,
                    u"Argumento o llamada a procedimiento no válida: el plug-in ya está "
                    u"atendiendo una orden del programa");
      form.click(Id::Cancelar);
    }
  } nested;
  Services s{system, nested, factory, files};
  Plugin plugin(s);
  nested.again = &plugin;  // the same object, called again
  EXPECT_FALSE(plugin.SceneCheck(1));
  EXPECT_EQ(nested.boxes.back().text, u"No se ha generado el enlace");
}

}  // namespace
}  // namespace brosk
