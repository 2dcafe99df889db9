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
#include "link_world.h"
#include "order/constantes.h"
#include "platform/fp_state.h"
#include "platform/thread_state.h"
#include "plugin/plugin.h"
#include "support.h"

namespace brosk {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::inFreshThread;
using Id = layout::Id;
using Step = sim::ScriptedUser::Step;

// --- The host's floating-point state ---------------------------------------------------

// A host's state: the x87 control word and MXCSR it keeps on its thread.
struct HostFpState {
  const char* name;
  std::uint16_t x87;
  std::uint32_t mxcsr;
};
constexpr HostFpState kDefault{"default", 0x037F, 0x1F80};
constexpr HostFpState kHostStates[] = {
    {"24-bit precision", 0x007F, 0x1F80},  // what a Direct3D 9 device sets
    {"round down", 0x077F, 0x3F80},
    {"round up", 0x0B7F, 0x5F80},
    {"toward zero", 0x0F7F, 0x7F80},
    // Overflow, zero-divide and invalid unmasked, as Delphi programs run.
    {"unmasked exceptions", 0x0372, 0x1900},
};

void setHostState(std::uint16_t x87, std::uint32_t mxcsr) {
  asm volatile("fnclex");
  asm volatile("fldcw %0" : : "m"(x87));
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
}

// Runs `body` as a call from a host in `state`, through the entry guard; the state the
// host finds afterwards.
FpState callFromHost(const HostFpState& state, const std::function<void()>& body) {
  setHostState(state.x87, state.mxcsr);
  {
    const FpEntry entry;
    body();
  }
  const FpState after = FpState::current();
  setHostState(kDefault.x87, kDefault.mxcsr);
  return after;
}

class HostFp : public testing::LinkWorld {
 protected:
  void SetUp() override { fs::create_directory(dir / "KD_LORVENIC"); }

  // A whole link whose prices need every bit of a Double and the even rounding; the two
  // workbooks' bytes, or the messages when it did not link.
  struct Outcome {
    std::string pre, lps;
    std::vector<std::u16string> messages;
  };
  Outcome link(const HostFpState& state, std::vector<std::string> prices,
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
      after = callFromHost(state, [&] { plugin.SceneCheck(1); });
    });
    EXPECT_EQ(after.x87ControlWord(), state.x87) << state.name;
    EXPECT_EQ(after.mxcsr() & ~0x3Fu, state.mxcsr & ~0x3Fu) << state.name;
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
  const Outcome expected = link(kDefault, prices);
  ASSERT_EQ(expected.messages.back(), u"El enlace se ha realizado correctamente");
  EXPECT_EQ(price(2), 1234567.89);
  EXPECT_EQ(price(3), 0.12);
  EXPECT_EQ(price(4), 99999999.99);
  EXPECT_EQ(price(5), 0.38);
  for (const HostFpState& state : kHostStates) {
    SCOPED_TRACE(state.name);
    const Outcome got = link(state, prices);
    EXPECT_EQ(got.messages, expected.messages);
    EXPECT_TRUE(got.pre == expected.pre) << "PRE.xls differs";
    EXPECT_TRUE(got.lps == expected.lps) << "LPS.xls differs";
  }
}

// 1e308 times 10 overflows: a floating-point fault even for a host that unmasks it, told
// as error 6; 1e307 is a valid, if large, amount whose rounding must not overflow.
TEST_F(HostFp, AnOverflowingPriceIsError6AndALargeOneIsWritten) {
  for (const HostFpState& state : {kDefault, kHostStates[1], kHostStates[4]}) {
    SCOPED_TRACE(state.name);
    EXPECT_EQ(link(state, {"1e308"}, u"10").messages.back(),
              u"Error inesperado (6): Desbordamiento");
    EXPECT_EQ(link(state, {"1e307"}).messages.back(), u"El enlace se ha realizado correctamente");
  }
  EXPECT_EQ(price(2), 1e307);
}

TEST(FpState, AnEntryGivesTheCallerItsStateBackExactlyFlagsIncluded) {
  for (const HostFpState& state : kHostStates) {
    SCOPED_TRACE(state.name);
    setHostState(state.x87, state.mxcsr | 0x20);  // a precision flag the caller raised
    FpState inside;
    {
      const FpEntry entry;
      inside = FpState::current();
      volatile double big = 1e308;
      big = big * 10;  // raises overflow, masked inside
      {
        const FpCallout callout;  // the host's code runs in the host's state
        EXPECT_EQ(FpState::current().x87ControlWord(), state.x87);
        EXPECT_EQ(FpState::current().mxcsr(), state.mxcsr | 0x20);
      }
      EXPECT_EQ(FpState::current().mxcsr(), 0x1F80u);
    }
    const FpState after = FpState::current();
    setHostState(kDefault.x87, kDefault.mxcsr);
    EXPECT_EQ(inside.x87ControlWord(), 0x027F);
    EXPECT_EQ(inside.mxcsr(), 0x1F80u);
    EXPECT_EQ(after.x87ControlWord(), state.x87);
    EXPECT_EQ(after.mxcsr(), state.mxcsr | 0x20);  // the caller's flag, and not ours
    EXPECT_EQ(after.x87StatusWord() & 0x3F, 0);
  }
}

// The plug-in's own code may reach an entry point of its own (DispInvoke calls the
// interface's methods): that inner entry is no boundary, and a callout inside it still
// runs in the host's state.
TEST(FpState, AnEntryInsideAnEntryKeepsTheHostsState) {
  setHostState(0x007F, 0x3F80);
  FpState inCallout;
  {
    const FpEntry outer;
    const FpEntry inner;
    const FpCallout callout;
    inCallout = FpState::current();
  }
  const FpState after = FpState::current();
  setHostState(kDefault.x87, kDefault.mxcsr);
  EXPECT_EQ(inCallout.x87ControlWord(), 0x007F);
  EXPECT_EQ(inCallout.mxcsr() & ~0x3Fu, 0x3F80u);
  EXPECT_EQ(after.x87ControlWord(), 0x007F);
}

// What the host's code leaves during a callout becomes the host's state: a host that
// changes its own state in a timer keeps the change.
TEST(FpState, StateTheHostSetsDuringACalloutIsTheHostsAfterwards) {
  setHostState(kDefault.x87, kDefault.mxcsr);
  FpState after;
  {
    const FpEntry entry;
    {
      const FpCallout callout;
      setHostState(0x007F, 0x1F80);
    }
    EXPECT_EQ(FpState::current().x87ControlWord(), 0x027F);
  }
  after = FpState::current();
  setHostState(kDefault.x87, kDefault.mxcsr);
  EXPECT_EQ(after.x87ControlWord(), 0x007F);
}

TEST(Rounding, HalfToEvenWhateverTheRoundingMode) {
  for (const int mode : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO}) {
    std::fesetround(mode);
    const double halves[] = {0.5, 1.5, 2.5, -0.5, -1.5, -2.5, 12.5, 37.5, 4503599627370495.5};
    const double expected[] = {0, 2, 2, -0.0, -2, -2, 12, 38, 4503599627370496.0};
    for (std::size_t i = 0; i < std::size(halves); ++i) {
      EXPECT_EQ(roundHalfEven(halves[i]), expected[i]) << halves[i] << " mode " << mode;
    }
    EXPECT_EQ(roundHalfEven(2.4999999999999996), 2.0);
    EXPECT_EQ(roundHalfEven(2.5000000000000004), 3.0);
    EXPECT_TRUE(std::signbit(roundHalfEven(-0.3)));
    EXPECT_EQ(redondear2(1e307), 1e307);  // no scaling, no overflow
    EXPECT_EQ(redondear2(-1e300), -1e300);
  }
  std::fesetround(FE_TONEAREST);
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

class Reentry : public testing::LinkWorld {
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
    Services impatient{system, host, factory};
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
  struct Nested : testing::WatchingUser {
    Plugin* again = nullptr;
    std::optional<RuntimeError> error;
    void showModal(FrmDatos& form) override {
      try {
        again->SceneCheck(1);
      } catch (const RuntimeError& e) {
        error = e;
      }
      form.click(Id::Cancelar);
    }
  } nested;
  Services s{system, nested, factory};
  inFreshThread([&] {
    Plugin plugin(s);
    nested.again = &plugin;  // the same object, called again
    EXPECT_FALSE(plugin.SceneCheck(1));
  });
  ASSERT_TRUE(nested.error);
  EXPECT_EQ(nested.error->number(), 5);
  EXPECT_EQ(nested.error->description(),
            u"Argumento o llamada a procedimiento no válida: el plug-in ya está atendiendo una "
            u"orden del programa");
  EXPECT_EQ(nested.boxes.back().text, u"No se ha generado el enlace");
}

// --- The module state of threads and of the library --------------------------------------

TEST(ModuleState, ALibraryUnloadFreesItAndTheNextUseStartsFresh) {
  inFreshThread([] {
    constantes().strSerie = u"3";
    FrmDatos::shared().boolAceptado = true;
    releaseThreadStates(Release::Normally);
    EXPECT_EQ(constantes().strSerie, u"");
    EXPECT_FALSE(FrmDatos::shared().boolAceptado);
    EXPECT_EQ(FrmDatos::shared().state(), FrmDatos::State::NotLoaded);
  });
}

class Probe : public Object {
 public:
  explicit Probe(bool& released) : released_(released) {}
  ~Probe() override { released_ = true; }
  Variant call(std::u16string_view, CallKind, std::span<const Arg>) override { return {}; }

 private:
  bool& released_;
};

// Objects of other components that the state still holds (a failed command leaves the
// host objects) are never released under a loader lock, where their component may be
// gone: that state is left unreleased on purpose. On the thread itself, while no
// Plugin of the apartment is left, they are released.
TEST(ModuleState, HeldHostObjectsAreReleasedOnTheirThreadNeverUnderTheLoaderLock) {
  bool released = false;
  const std::size_t abandoned = abandonedThreadStates();
  inFreshThread([&] {
    constantes().objAppli = std::make_shared<Probe>(released);
    releaseThreadStates(Release::UnderLoaderLock);
  });
  EXPECT_FALSE(released);
  EXPECT_EQ(abandonedThreadStates(), abandoned + 1);

  bool releasedHere = false;
  inFreshThread([&] {
    constantes().objScene = std::make_shared<Probe>(releasedHere);
    releaseHostObjects();
    EXPECT_TRUE(releasedHere);
    releaseThreadStates(Release::UnderLoaderLock);
  });
  EXPECT_EQ(abandonedThreadStates(), abandoned + 1);
}

TEST(ModuleState, EveryThreadKeepsItsOwnAndAThreadsEndFreesIt) {
  inFreshThread([] {
    constantes().strSerie = u"1";
    inFreshThread([] { EXPECT_EQ(constantes().strSerie, u""); });
    releaseAllThreadStates(Release::Normally);
    EXPECT_EQ(constantes().strSerie, u"");
  });
}

// A dialog whose window cannot be shown was never loaded: the next showing runs the
// load step again.
TEST(ModuleState, ADialogThatCouldNotBeShownIsNotLoaded) {
  struct Broken : testing::WatchingUser {
    int shows = 0;
    int messageBox(const std::u16string& text, const std::u16string& title, int style) override {
      WatchingUser::messageBox(text, title, style);
      return mb::kAnswerNo;
    }
    void showModal(FrmDatos& form) override {
      if (++shows == 1) throw RuntimeError(err::kAutomation, u"no window");
      form.click(Id::Cancelar);
    }
  } user;
  FakeSystem system;
  ObjectFactory factory;
  Services services{system, user, factory};
  inFreshThread([&] {
    FrmDatos& form = FrmDatos::shared();
    EXPECT_THROW(form.Show(services), RuntimeError);
    EXPECT_EQ(form.state(), FrmDatos::State::NotLoaded);
    form.Show(services);
  });
  EXPECT_EQ(user.boxes.size(), 2u);  // the load step's question, both times
}

}  // namespace
}  // namespace brosk
