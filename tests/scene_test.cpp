// Scene files and the substitute host serving them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "automation/error.h"
#include "automation/text.h"
#include "sim/host.h"
#include "support.h"
#include "trace.h"

namespace brosk::sim {
namespace {

std::string errorMessage(std::string_view json) {
  try {
    parseScene(json, "kitchen.json");
  } catch (const SceneError& e) {
    return e.what();
  }
  return "";
}

TEST(SceneFile, ReadsEveryFieldAndItsDefaults) {
  const Scene scene = parseScene(R"js({
    // comments are allowed
    "language": "ENG",
    "session": 42,
    "keywords": {"@Heading.ModelName()": "Cocina Nova"},
    "objects": [
      {"id": 7, "info": {"0": "CAT", "43": "125,50", "35": 1}},
      {"info": {"8": "REF"}},
      {}
    ],
    "faults": [{"member": "SceneGetObjectId", "call": 2, "number": 440, "description": "x"},
               {"member": "GetLanguage", "number": 5},
               {"member": "EndSession", "number": -2146828218},
               {"member": "EndSession", "call": 2, "number": -2147221005}],
    "returns": {"InsertMenuItem": false}
  })js",
                                 "k.json");
  EXPECT_EQ(scene.language, Variant::text(u"ENG"));
  EXPECT_EQ(scene.session, Variant::lng(42));
  EXPECT_EQ(scene.keywords.at(u"@Heading.ModelName()"), Variant::text(u"Cocina Nova"));
  ASSERT_EQ(scene.objects.size(), 3u);
  EXPECT_EQ(scene.objects[0].id, 7);
  EXPECT_EQ(scene.objects[0].info.at(35), Variant::lng(1));
  EXPECT_EQ(scene.objects[1].id, 2);  // the rank
  EXPECT_EQ(scene.objects[2].id, 3);
  ASSERT_EQ(scene.faults.size(), 4u);
  EXPECT_EQ(scene.faults[0].call, 2);
  EXPECT_EQ(scene.faults[1].call, 1);
  // A fault without a description has the one a VB caller shows for it: that of error 70
  // for 0x800A0046, an automation error's for an HRESULT of another facility.
  EXPECT_EQ(scene.faults[1].description, u"Argumento o llamada a procedimiento no válida");
  EXPECT_EQ(scene.faults[2].description, u"Permiso denegado");
  EXPECT_EQ(scene.faults[3].description, u"Error de automatización");
  EXPECT_EQ(scene.returns.at("InsertMenuItem"), Variant::boolean(false));

  const Scene empty = parseScene("{}", "e.json");
  EXPECT_EQ(empty.language, Variant::text(u"ESP"));
  EXPECT_EQ(empty.session, Variant::lng(1));
  EXPECT_TRUE(empty.objects.empty());
}

TEST(SceneFile, MalformedFilesAreClearErrorsNamingTheFileAndThePlace) {
  EXPECT_EQ(errorMessage("[]"), "kitchen.json: top level: expected an object");
  EXPECT_NE(errorMessage("{\"objects\": [}").find("kitchen.json: not valid JSON: parse error"),
            std::string::npos);
  EXPECT_EQ(errorMessage("{\"session\": 1e999}"),
            "kitchen.json: not valid JSON: number overflow parsing '1e999'");
  EXPECT_EQ(errorMessage(R"({"objets": []})"), "kitchen.json: top level: unknown field \"objets\"");
  EXPECT_EQ(errorMessage(R"({"objects": {}})"), "kitchen.json: objects: expected an array");
  EXPECT_EQ(errorMessage(R"({"keywords": []})"), "kitchen.json: keywords: expected an object");
  EXPECT_EQ(errorMessage(R"({"objects": [{"info": {"x": "1"}}]})"),
            "kitchen.json: objects[0].info: \"x\" is not an information code (a whole number)");
  EXPECT_EQ(errorMessage(R"({"objects": [1, {"id": "7"}]})"),
            "kitchen.json: objects[0]: expected an object");
  EXPECT_EQ(errorMessage(R"({"objects": [{"id": 99999999999}]})"),
            "kitchen.json: objects[0].id: out of range");
  EXPECT_EQ(errorMessage(R"({"keywords": {"a": [1]}})"),
            "kitchen.json: keywords[\"a\"]: expected a text, a number, true, false or null");
  EXPECT_EQ(errorMessage(R"({"faults": [{"member": "GetLanguage"}]})"),
            "kitchen.json: faults[0]: \"member\" and \"number\" are required");
  EXPECT_EQ(errorMessage(R"({"faults": [{"member": "GetLanguage", "number": 5, "call": 0}]})"),
            "kitchen.json: faults[0].call: out of range");
  EXPECT_NE(errorMessage("").find("kitchen.json: not valid JSON"), std::string::npos);
}

TEST(SceneFile, AFileThatCannotBeReadNamesItAndWhy) {
  auto errorOf = [](const std::string& path) {
    try {
      loadScene(path);
    } catch (const SceneError& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(errorOf("/nonexistent/scene.json"),
            "/nonexistent/scene.json: cannot be opened: No such file or directory");
  EXPECT_EQ(errorOf("/tmp"), "/tmp: is a directory");
}

class SubstituteHost : public ::testing::Test {
 protected:
  static Scene scene() {
    return parseScene(R"js({
      "session": 5,
      "keywords": {"@Heading.ModelName()": "Nova"},
      "objects": [{"id": 70, "info": {"0": "CAT", "43": "10"}}, {"id": 80}],
      "faults": [{"member": "ObjectGetInfo", "call": 2, "number": -2147221005, "description": "boom"}]
    })js",
                      "s.json");
  }
};

TEST_F(SubstituteHost, ServesTheSceneAndTracesEveryCall) {
  Host host(scene());
  ObjectFactory factory;
  host.registerInto(factory);
  {
    ObjectRef s = factory.create(u"KDSDK.Scene");
    Variant session = Variant::lng(5);
    Variant rank = Variant::lng(2);
    EXPECT_EQ(invoke(*s, u"SceneGetObjectsNb", CallKind::Method, {Arg::byRef(session)}),
              Variant::lng(2));
    EXPECT_EQ(
        invoke(*s, u"SceneGetObjectId", CallKind::Method, {Arg::byRef(session), Arg::byRef(rank)}),
        Variant::lng(80));
    EXPECT_EQ(invoke(*s, u"SceneGetKeywordInfo", CallKind::Method,
                     {Arg::byRef(session), Arg::byVal(Variant::text(u"@Heading.ModelName()"))}),
              Variant::text(u"Nova"));
    EXPECT_EQ(invoke(*s, u"sceneGETkeywordinfo", CallKind::Method,
                     {Arg::byRef(session), Arg::byVal(Variant::text(u"@Unknown()"))}),
              Variant::text(u""));
    Variant id = Variant::lng(70);
    EXPECT_EQ(invoke(*s, u"ObjectGetInfo", CallKind::Method,
                     {Arg::byRef(session), Arg::byRef(id), Arg::byVal(Variant::lng(43))}),
              Variant::text(u"10"));
    EXPECT_RAISES(invoke(*s, u"ObjectGetInfo", CallKind::Method,
                         {Arg::byRef(session), Arg::byRef(id), Arg::byVal(Variant::lng(0))}),
                  -2147221005, u"boom");
  }
  using testing::callsTo;
  const auto& trace = host.trace();
  ASSERT_EQ(trace.size(), 8u);
  EXPECT_EQ(trace.front()["member"], "(create)");
  EXPECT_EQ(callsTo(trace, "SceneGetObjectId")[0]["args"][1], testing::longRef(2));
  EXPECT_EQ(callsTo(trace, "SceneGetObjectId")[0]["result"],
            (nlohmann::json{{"kind", "Long"}, {"value", 80}}));
  EXPECT_EQ(callsTo(trace, "SceneGetKeywordInfo").size(), 2u);  // names compare without case
  EXPECT_EQ(callsTo(trace, "ObjectGetInfo")[1]["error"]["number"], -2147221005);
  EXPECT_EQ(trace.back()["member"], "(release)");
}

TEST_F(SubstituteHost, RejectsUnknownMembersWrongCountsAndWrongSessions) {
  Host host(scene());
  ObjectRef a = host.create(u"KDSDK.Appli");
  auto errorOf = [&](std::u16string_view name, std::vector<Arg> args) {
    try {
      a->call(name, CallKind::Method, args);
    } catch (const RuntimeError& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(errorOf(u"Quit", {}), 438);
  EXPECT_EQ(errorOf(u"GetLanguage", {}), 450);
  EXPECT_EQ(errorOf(u"GetLanguage", {Arg::byVal(Variant::lng(4))}), 5);
  EXPECT_EQ(errorOf(u"GetLanguage", {Arg::byVal(Variant::text(u"x"))}), 13);
  EXPECT_EQ(errorOf(u"GetLanguage", {Arg::byVal(Variant::text(u"5"))}), 0);
}

TEST_F(SubstituteHost, CreationFaultsAndRankBounds) {
  Scene s = scene();
  s.faults.push_back({"KDSDK.Scene", 2, 429, u"no"});
  Host host(std::move(s));
  ObjectRef first = host.create(u"KDSDK.Scene");
  EXPECT_RAISES(host.create(u"KDSDK.Scene"), 429);
  Variant session = Variant::lng(5);
  Variant rank = Variant::lng(3);
  EXPECT_RAISES(invoke(*first, u"SceneGetObjectId", CallKind::Method,
                       {Arg::byRef(session), Arg::byRef(rank)}),
                9);
  EXPECT_EQ(host.calls(),
            (std::vector<std::string>{"new KDSDK.Scene", "new KDSDK.Scene", "SceneGetObjectId"}));
}

}  // namespace
}  // namespace brosk::sim
