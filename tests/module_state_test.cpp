// The plug-in's own state inside a host's process: the floating-point state kept at every
// entry, rounding whatever the host's rounding mode, and the module state of threads that
// end and of a library that unloads.
#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>

#include "automation/convert.h"
#include "dialog/frm_datos.h"
#include "export/redondeo.h"
#include "host_fp.h"
#include "order/constantes.h"
#include "platform/fp_state.h"
#include "platform/thread_state.h"
#include "world.h"

namespace brosk {
namespace {

using testing::hostFpState;
using testing::inFreshThread;
using testing::kHostFpStates;
using testing::kLinuxNormal;
using Id = layout::Id;
using ModuleState = testing::World;

TEST(FpState, AnEntryGivesTheCallerItsStateBackExactlyFlagsIncluded) {
  for (const std::string_view name : kHostFpStates) {
    SCOPED_TRACE(name);
    const FpControlWords state = *hostFpState(name, kLinuxNormal);
    setFpControl({state.x87, state.mxcsr | 0x20});  // a precision flag the caller raised
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
    setFpControl(kLinuxNormal);
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
  setFpControl({0x007F, 0x3F80});
  FpState inCallout;
  {
    const FpEntry outer;
    const FpEntry inner;
    const FpCallout callout;
    inCallout = FpState::current();
  }
  const FpState after = FpState::current();
  setFpControl(kLinuxNormal);
  EXPECT_EQ(inCallout.x87ControlWord(), 0x007F);
  EXPECT_EQ(inCallout.mxcsr() & ~0x3Fu, 0x3F80u);
  EXPECT_EQ(after.x87ControlWord(), 0x007F);
}

// What the host's code leaves during a callout becomes the host's state: a host that
// changes its own state in a timer keeps the change.
TEST(FpState, StateTheHostSetsDuringACalloutIsTheHostsAfterwards) {
  setFpControl(kLinuxNormal);
  FpState after;
  {
    const FpEntry entry;
    {
      const FpCallout callout;
      setFpControl({0x007F, 0x1F80});
    }
    EXPECT_EQ(FpState::current().x87ControlWord(), 0x027F);
  }
  after = FpState::current();
  setFpControl(kLinuxNormal);
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

// --- The module state of threads and of the library --------------------------------------

TEST_F(ModuleState, ALibraryUnloadFreesItAndTheNextUseStartsFresh) {
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
TEST_F(ModuleState, HeldHostObjectsAreReleasedOnTheirThreadNeverUnderTheLoaderLock) {
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

TEST_F(ModuleState, EveryThreadKeepsItsOwnAndAThreadsEndFreesIt) {
  inFreshThread([] {
    constantes().strSerie = u"1";
    inFreshThread([] { EXPECT_EQ(constantes().strSerie, u""); });
    releaseAllThreadStates(Release::Normally);
    EXPECT_EQ(constantes().strSerie, u"");
  });
}

// A dialog whose window cannot be shown was never loaded: the next showing runs the
// load step again.
// A dialog left loaded after Aceptar holds the user's entries: the library must stay
// loaded while any thread has one. Cancelar unloads it, and so does its thread's end.
TEST_F(ModuleState, ALoadedDialogOnAnyThreadKeepsTheLibrary) {
  EXPECT_FALSE(FrmDatos::anyLoaded());
  inFreshThread([&] {
    FrmDatos::shared().Show(services);  // the user presses Aceptar
    EXPECT_EQ(FrmDatos::shared().state(), FrmDatos::State::Hidden);
    EXPECT_TRUE(FrmDatos::anyLoaded());
    inFreshThread([&] { EXPECT_TRUE(FrmDatos::anyLoaded()); });
    user.showings.push_back({sim::ScriptedUser::Step::click(Id::Cancelar)});
    FrmDatos::shared().Show(services);
    EXPECT_FALSE(FrmDatos::anyLoaded());
    FrmDatos::shared().Show(services);
    EXPECT_TRUE(FrmDatos::anyLoaded());
  });
  EXPECT_FALSE(FrmDatos::anyLoaded());  // the thread's end freed its dialog
}

TEST_F(ModuleState, ADialogThatCouldNotBeShownIsNotLoaded) {
  struct Broken : sim::ScriptedUser {
    int shows = 0;
    void showModal(FrmDatos& form) override {
      if (++shows == 1) throw RuntimeError(err::kAutomation, u"no window");
      form.click(Id::Cancelar);
    }
  } broken;
  broken.answers = {mb::kAnswerNo, mb::kAnswerNo};
  Services withBroken{system, broken, factory, files};
  inFreshThread([&] {
    FrmDatos& form = FrmDatos::shared();
    EXPECT_RAISES(form.Show(withBroken), 440);
    EXPECT_EQ(form.state(), FrmDatos::State::NotLoaded);
    form.Show(withBroken);
  });
  EXPECT_EQ(broken.boxes.size(), 2u);  // the load step's question, both times
}

}  // namespace
}  // namespace brosk
