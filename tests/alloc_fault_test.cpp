// An exhausted heap inside a link: this test program's allocator fails its Nth allocation
// on request, and every allocation of a whole link (the host's start, the dialog, the
// builder, both workbooks) fails in turn. Each failure must end in an error the caller
// can handle, never a crash or a terminate, and leave nothing behind that spoils the next
// link: the next one, on the same thread, writes the same workbooks as a clean link.
// Under AddressSanitizer the same runs also show that nothing leaks.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <new>

#include "failing_allocator.h"
#include "plugin/plugin.h"
#include "world.h"

namespace brosk {
namespace {

namespace fs = std::filesystem;

class AllocationFailures : public testing::World {
 protected:
  void SetUp() override {
    std::ifstream scene(std::string(BROSK_SOURCE) + "/examples/cocina-nova.json");
    load(nlohmann::json::parse(scene));
    // The substitute host's trace is the tests' bookkeeping, not the plug-in's: it is not
    // kept, so that every allocation of the run is one of the link's own.
    host->keepTrace(false);
  }
  // The host's start and one link, as the host makes them; what they raised, if anything.
  enum class Outcome { Linked, RuntimeError, OutOfMemory };
  Outcome link(Plugin& plugin) {
    try {
      plugin.OnAppStartAfter(1);
      plugin.SceneCheck(1);
    } catch (const RuntimeError&) {
      return Outcome::RuntimeError;
    } catch (const std::bad_alloc&) {
      return Outcome::OutOfMemory;
    }
    return Outcome::Linked;
  }
  std::string workbook(const char* name) const {
    std::ifstream in(dir / "KD_LORVENIC/9_9999" / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

TEST_F(AllocationFailures, EveryAllocationOfALinkFailsCleanlyAndTheNextLinkIsWhole) {
  // A first link makes the default folder; the second, measured, is as each run below.
  testing::inFreshThread([&] {
    Plugin plugin(services);
    ASSERT_EQ(link(plugin), Outcome::Linked);
  });
  fs::remove_all(dir / "KD_LORVENIC/9_9999");
  std::string pre, lps;
  long allocations = 0;
  testing::inFreshThread([&] {
    Plugin plugin(services);
    const long before = testing::allocationCount();
    ASSERT_EQ(link(plugin), Outcome::Linked);
    allocations = testing::allocationCount() - before;
    pre = workbook("PRE.xls");
    lps = workbook("LPS.xls");
  });
  ASSERT_GT(allocations, 100);
  // The first allocation, the second, and so on, until a run makes no more; into a new
  // order folder, and over an earlier order, which a failed link leaves whole.
  long runs = 0;
  for (const bool earlier : {false, true}) {
    for (long n = 1;; ++n) {
      SCOPED_TRACE("allocation " + std::to_string(n) + (earlier ? " over an earlier order" : ""));
      fs::remove_all(dir / "KD_LORVENIC/9_9999");
      if (earlier) {
        fs::create_directories(dir / "KD_LORVENIC/9_9999");
        std::ofstream(dir / "KD_LORVENIC/9_9999/PRE.xls") << "earlier header";
        std::ofstream(dir / "KD_LORVENIC/9_9999/LPS.xls") << "earlier lines";
      }
      user.boxes.clear();
      Outcome next = Outcome::Linked;
      bool hit = false;
      bool whole = true;
      testing::inFreshThread([&] {
        Plugin plugin(services);
        // Where the builder's handler takes the failure the user is told and the host sees
        // a completed command; elsewhere the host gets the error. Either is right.
        testing::failAllocation(n);
        link(plugin);
        hit = testing::allocationFailed();
        testing::failAllocation(0);
        const bool wasEarlier =
            workbook("PRE.xls") == "earlier header" && workbook("LPS.xls") == "earlier lines";
        const bool isNew = workbook("PRE.xls") == pre && workbook("LPS.xls") == lps;
        whole = !earlier || wasEarlier || isNew;
        next = link(plugin);
      });
      if (!hit) break;
      EXPECT_TRUE(whole) << "the failed link left a mixed order";
      EXPECT_EQ(next, Outcome::Linked);
      EXPECT_EQ(texts().back(), u"El enlace se ha realizado correctamente");
      EXPECT_TRUE(workbook("PRE.xls") == pre) << "PRE.xls differs from a clean link's";
      EXPECT_TRUE(workbook("LPS.xls") == lps) << "LPS.xls differs from a clean link's";
      ++runs;
    }
  }
  EXPECT_GE(runs, 2 * allocations - 20);
}

}  // namespace
}  // namespace brosk
