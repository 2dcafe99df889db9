// Everything a link needs in a test: a temporary folder for the order folders (the
// default folder is KD_LORVENIC in it, the fallback the folder itself), a fake system, a
// scripted user, and a factory with the spreadsheet engine and the substitute host.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>

#include "files.h"
#include "platform/fake_system.h"
#include "sim/host.h"
#include "sim/scripted_user.h"
#include "xls/excel_app.h"

namespace brosk::testing {

class LinkWorld : public ::testing::Test {
 protected:
  LinkWorld() {
    system.defaultPath = dir.u16("KD_LORVENIC");
    system.fallbackPath = dir.u16();
    xls::registerExcel(factory);
  }

  // A new substitute host serving `scene`, registered in the factory.
  void load(const nlohmann::json& scene) { load(sim::parseScene(scene.dump(), "scene.json")); }
  void load(sim::Scene scene) {
    host = std::make_unique<sim::Host>(std::move(scene));
    host->registerInto(factory);
  }
  // The texts of the message boxes shown so far.
  std::vector<std::u16string> texts() const {
    std::vector<std::u16string> out;
    for (const auto& b : user.boxes) out.push_back(b.text);
    return out;
  }

  TempFolder dir;
  FakeSystem system;
  sim::ScriptedUser user;
  ObjectFactory factory;
  Services services{system, user, factory};
  std::unique_ptr<sim::Host> host;
};

}  // namespace brosk::testing
