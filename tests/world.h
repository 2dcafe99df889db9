// The world a Plugin lives in, for tests: a temporary folder (KD_LORVENIC in it is the
// default folder, the folder itself the fallback), a fake system, a scripted user, the
// machine's file system with room for a fault, and a factory with the spreadsheet engine
// and, once a scene is loaded, the substitute host. One fixture for every test that
// makes a Plugin.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fake_system.h"
#include "faulty_files.h"
#include "files.h"
#include "platform/thread_state.h"
#include "sim/host.h"
#include "sim/scripted_user.h"
#include "support.h"
#include "xls/excel_app.h"

namespace brosk::testing {

class World : public ::testing::Test {
 protected:
  // Each test starts with the order state and the dialog of a new apartment, and leaves
  // none behind: the thread's states are freed before and after it.
  World() {
    releaseThreadStates(Release::Normally);
    system.defaultPath = dir.u16("KD_LORVENIC");
    system.fallbackPath = dir.u16();
    xls::registerExcel(factory, files);
  }

  ~World() override { releaseThreadStates(Release::Normally); }

  // A new substitute host serving `scene`, registered in the factory.
  void load(const nlohmann::json& scene) { load(sim::parseScene(scene.dump(), "scene.json")); }
  void load(sim::Scene scene) {
    host = std::make_unique<sim::Host>(std::move(scene));
    host->registerInto(factory);
  }
  // The message boxes shown so far, and their texts.
  std::vector<MessageBox> boxes() const {
    std::vector<MessageBox> out;
    for (const auto& b : user.boxes) out.push_back({b.text, b.title, b.style});
    return out;
  }
  std::vector<std::u16string> texts() const {
    std::vector<std::u16string> out;
    for (const auto& b : user.boxes) out.push_back(b.text);
    return out;
  }

  TempFolder dir;
  FakeSystem system;
  sim::ScriptedUser user;
  FaultyFileSystem files;
  ObjectFactory factory;
  Services services{system, user, factory, files};
  std::unique_ptr<sim::Host> host;
};

}  // namespace brosk::testing
