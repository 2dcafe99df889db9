// brosk-host: plays the design host on Linux. It loads a scene file into the substitute
// host, creates the plug-in and calls OnAppStartAfter as the host does at its start.
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include "automation/error.h"
#include "automation/text.h"
#include "platform/linux_system.h"
#include "plugin/plugin.h"
#include "sim/host.h"

namespace {

using namespace brosk;

// Message boxes as lines on standard output: "[TITLE] TEXT".
class TerminalUser : public UserInterface {
 public:
  int messageBox(const std::u16string& text, const std::u16string& title, int) override {
    std::cout << "[" << toUtf8(title) << "] " << toUtf8(text) << "\n";
    return mb::kAnswerOk;
  }
  void showModal(FrmDatos&) override {}
  std::optional<std::u16string> browseForFolder(const std::u16string&) override { return {}; }
};

int usage(const char* message) {
  std::cerr << "brosk-host: " << message << "\n"
            << "usage: brosk-host [--trace FILE] [--locale NAME] SCENE.json\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string scenePath, tracePath, localeName;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--trace" || arg == "--locale") && i + 1 < argc) {
      (arg == "--trace" ? tracePath : localeName) = argv[++i];
    } else if (!arg.empty() && arg[0] == '-') {
      return usage(("unknown option " + arg).c_str());
    } else if (scenePath.empty()) {
      scenePath = arg;
    } else {
      return usage("more than one scene file");
    }
  }
  if (scenePath.empty()) return usage("no scene file");

  try {
    sim::Host host(sim::loadScene(scenePath));
    LinuxSystem system(localeName);
    TerminalUser user;
    ObjectFactory factory;
    host.registerInto(factory);
    Services services{system, user, factory};
    int status = 0;
    {
      Plugin plugin(services);
      try {
        plugin.OnAppStartAfter(1);
      } catch (const RuntimeError& e) {
        std::cerr << "brosk-host: the plug-in failed: " << e.number() << ": "
                  << toUtf8(e.description()) << "\n";
        status = 3;
      }
      for (const auto& caption : host.menuItems())
        std::cout << "[menu] " << toUtf8(caption) << "\n";
    }
    if (!tracePath.empty()) {
      std::ofstream trace(tracePath);
      host.writeTrace(trace);
    }
    return status;
  } catch (const std::exception& e) {
    std::cerr << "brosk-host: " << e.what() << "\n";
    return 2;
  }
}
