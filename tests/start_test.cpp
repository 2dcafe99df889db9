// OnAppStartAfter: the menu item at host start, checked on the substitute host's trace.
#include <gtest/gtest.h>

#include "automation/error.h"
#include "order/constantes.h"
#include "plugin/plugin.h"
#include "sim/host.h"
#include "trace.h"
#include "world.h"

namespace brosk {
namespace {

using nlohmann::json;
using Calls = std::vector<std::string>;

class AppStart : public testing::World {
 protected:
  void load(const std::string& sceneJson) { World::load(sim::parseScene(sceneJson, "scene.json")); }
  // The error OnAppStartAfter returns to the host, or none.
  std::optional<RuntimeError> start(std::int32_t block = 1234) {
    Plugin plugin(services);
    try {
      EXPECT_TRUE(plugin.OnAppStartAfter(block));
    } catch (const RuntimeError& e) {
      return e;
    }
    return std::nullopt;
  }
};

TEST_F(AppStart, SpanishHostGetsTheSpanishItemBoundToSceneCheck) {
  load(R"({"language": "ESP", "session": 77})");
  EXPECT_FALSE(start(1234));
  EXPECT_EQ(host->calls(), (Calls{"new KDSDK.Appli", "StartSessionFromCallParams", "GetLanguage",
                                  "InsertMenuItem", "EndSession", "release KDSDK.Appli"}));
  using testing::arg;
  using testing::argsOf;
  using testing::longRef;
  const auto& t = host->trace();
  EXPECT_EQ(argsOf(t, "StartSessionFromCallParams"), json::array({longRef(1234)}));
  EXPECT_EQ(argsOf(t, "GetLanguage"), json::array({longRef(77)}));
  EXPECT_EQ(argsOf(t, "InsertMenuItem"),
            json::array({longRef(77), arg("String", "Enlace a Lorvenic", true), arg("Integer", 0),
                         arg("Integer", 0), arg("String", ""), arg("Integer", 1),
                         arg("Integer", 19), arg("String", "brosk.dll"), arg("String", "Plugin"),
                         arg("String", "SceneCheck")}));
  EXPECT_EQ(argsOf(t, "EndSession"), json::array({longRef(77)}));
  EXPECT_EQ(host->menuItems(), std::vector<std::u16string>{u"Enlace a Lorvenic"});
  EXPECT_TRUE(user.boxes.empty());
}

TEST_F(AppStart, AnyOtherLanguageGetsTheEnglishItem) {
  for (const char* language : {"esp", "ESP ", " ESP", "", "ENG", "ESPA"}) {
    load(json{{"language", language}}.dump());
    EXPECT_FALSE(start());
    EXPECT_EQ(host->menuItems(), std::vector<std::u16string>{u"Link Lorvenic"}) << language;
  }
}

TEST_F(AppStart, NoSessionMeansNoFurtherCallAndStillTrue) {
  load(R"({"session": 0})");
  EXPECT_FALSE(start());
  EXPECT_EQ(host->calls(),
            (Calls{"new KDSDK.Appli", "StartSessionFromCallParams", "release KDSDK.Appli"}));
}

TEST_F(AppStart, FailingGetLanguageGoesBackToTheHostWithoutEndSession) {
  load(R"({"faults": [{"member": "GetLanguage", "number": 440, "description": "host down"}]})");
  EXPECT_RAISES(throw *start(), 440, u"host down");
  EXPECT_EQ(host->calls(), (Calls{"new KDSDK.Appli", "StartSessionFromCallParams", "GetLanguage",
                                  "release KDSDK.Appli"}));
  EXPECT_TRUE(user.boxes.empty());
}

TEST_F(AppStart, ItemNotInsertedStillEndsTheSession) {
  load(R"({"returns": {"InsertMenuItem": false}})");
  EXPECT_FALSE(start());
  EXPECT_EQ(host->calls().at(4), "EndSession");
}

TEST_F(AppStart, ResultsThatDoNotConvertAreFailures) {
  load(R"({"session": "abc"})");
  EXPECT_EQ(start()->number(), 13);
  EXPECT_EQ(host->calls().back(), "release KDSDK.Appli");

  load(R"({"returns": {"EndSession": "quizá"}})");
  EXPECT_EQ(start()->number(), 13);

  load(R"({"session": 3000000000})");
  EXPECT_EQ(start()->number(), 6);  // a Double beyond a Long
}

TEST_F(AppStart, UncreatableApplicationObjectFailsBeforeAnySession) {
  const auto failure = start();  // nothing registered
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->number(), 429);

  load(R"({"faults": [{"member": "KDSDK.Appli", "number": 429}]})");
  EXPECT_EQ(start()->number(), 429);
  EXPECT_EQ(host->calls(), (Calls{"new KDSDK.Appli"}));
}

TEST_F(AppStart, TouchesNoOrderState) {
  testing::inFreshThread([&] {
    load("{}");
    EXPECT_FALSE(start());
    EXPECT_EQ(constantes().objAppli, nullptr);
    EXPECT_EQ(constantes().lSesion, 0);
  });
}

}  // namespace
}  // namespace brosk
