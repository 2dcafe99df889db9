// brosk-host: plays the design host on Linux. It loads a scene file into the substitute
// host, creates the plug-in, calls OnAppStartAfter as the host does at its start and
// then SceneCheck as if the user had picked the menu item. The user's answers come from
// the options, or from the terminal.
//
// Output: "[menu] CAPTION" for the menu item, then each message box as "[TITLE] TEXT".
// Exit status: 0 the link was made; 1 it was not (cancelled, nothing to link, an error
// the plug-in reported); 2 bad usage or an unreadable scene file; 3 the plug-in returned
// a failure to the host (its number and description on standard error).
#include <unistd.h>

#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/text.h"
#include "dialog/terminal_view.h"
#include "platform/linux_system.h"
#include "plugin/plugin.h"
#include "sim/host.h"
#include "sim/scripted_user.h"
#include "xls/excel_app.h"

namespace {

using namespace brosk;

constexpr char kUsage[] =
    "usage: brosk-host [OPTIONS] SCENE.json\n"
    "  --series TEXT          text typed into the series box (cmbTipo)\n"
    "  --quote TEXT           text typed into the quote number box\n"
    "  --customer TEXT        text typed into the customer code box\n"
    "  --point-value TEXT     text typed into the point value box\n"
    "  --vat TEXT             text typed into the VAT box\n"
    "  --browse DIR           pick DIR with Examinar before Aceptar\n"
    "  --create-folder yes|no answer to the default-folder question (default: yes)\n"
    "  --cancel               press Cancelar instead of Aceptar\n"
    "  --interactive          ask on the terminal instead (the default when standard input\n"
    "                         is a terminal and no dialog option is given)\n"
    "  --trace FILE           write every host call as a JSON line\n"
    "  --locale NAME          the user's locale (default: from the environment)\n";

struct Options {
  std::string scene;
  std::vector<std::pair<layout::Id, std::string>> texts;
  std::optional<std::string> browse;
  bool createFolder = true;
  bool cancel = false;
  bool interactive = false;
  bool dialogOptions = false;
  std::string trace;
  std::string locale;
};

struct UsageError {
  std::string message;
};

Options parse(int argc, char** argv) {
  Options o;
  bool interactiveAsked = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
      return argv[++i];
    };
    auto text = [&](layout::Id id) {
      o.texts.emplace_back(id, value());
      o.dialogOptions = true;
    };
    if (arg == "--series") {
      text(layout::Id::Tipo);
    } else if (arg == "--quote") {
      text(layout::Id::NumPedido);
    } else if (arg == "--customer") {
      text(layout::Id::CodCliente);
    } else if (arg == "--point-value") {
      text(layout::Id::ValorPunto);
    } else if (arg == "--vat") {
      text(layout::Id::Iva);
    } else if (arg == "--browse") {
      o.browse = value();
      o.dialogOptions = true;
    } else if (arg == "--create-folder") {
      const std::string answer = value();
      if (answer != "yes" && answer != "no") throw UsageError{"--create-folder takes yes or no"};
      o.createFolder = answer == "yes";
      o.dialogOptions = true;
    } else if (arg == "--cancel") {
      o.cancel = true;
      o.dialogOptions = true;
    } else if (arg == "--interactive") {
      interactiveAsked = true;
    } else if (arg == "--trace") {
      o.trace = value();
    } else if (arg == "--locale") {
      o.locale = value();
    } else if (arg == "--help" || arg == "-h") {
      throw UsageError{};
    } else if (!arg.empty() && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else if (o.scene.empty()) {
      o.scene = arg;
    } else {
      throw UsageError{"more than one scene file"};
    }
  }
  if (o.scene.empty()) throw UsageError{"no scene file"};
  o.interactive = interactiveAsked || (!o.dialogOptions && ::isatty(STDIN_FILENO));
  return o;
}

// The browser's answer for --browse: the folder as given, without a trailing separator
// (but for the root), as a folder browser returns it.
std::u16string browsedFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return fromUtf8(folder);
}

// Watches the message boxes a user interface shows, to tell how the link ended.
class Watch : public UserInterface {
 public:
  explicit Watch(UserInterface& inner) : inner_(inner) {}
  bool succeeded = false;
  int messageBox(const std::u16string& text, const std::u16string& title, int style) override {
    if (title == u"¡¡Exito!!") succeeded = true;
    return inner_.messageBox(text, title, style);
  }
  void showModal(FrmDatos& form) override { inner_.showModal(form); }
  std::optional<std::u16string> browseForFolder(const std::u16string& instruction) override {
    return inner_.browseForFolder(instruction);
  }

 private:
  UserInterface& inner_;
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = parse(argc, argv);
  } catch (const UsageError& e) {
    if (!e.message.empty()) std::cerr << "brosk-host: " << e.message << "\n";
    std::cerr << kUsage;
    return 2;
  }

  std::optional<sim::Host> host;
  std::optional<LinuxSystem> system;
  try {
    host.emplace(sim::loadScene(options.scene));
    system.emplace(options.locale);
  } catch (const std::exception& e) {
    std::cerr << "brosk-host: " << e.what() << "\n";
    return 2;
  }

  sim::ScriptedUser scripted;
  scripted.echo = &std::cout;
  scripted.answers.push_back(options.createFolder ? mb::kAnswerYes : mb::kAnswerNo);
  sim::ScriptedUser::Showing showing;
  for (const auto& [id, text] : options.texts) {
    showing.push_back(sim::ScriptedUser::Step::type(id, fromUtf8(text)));
  }
  if (options.browse) {
    scripted.folders.push_back(browsedFolder(*options.browse));
    showing.push_back(sim::ScriptedUser::Step::click(layout::Id::CmdRuta));
  }
  showing.push_back(
      sim::ScriptedUser::Step::click(options.cancel ? layout::Id::Cancelar : layout::Id::Aceptar));
  scripted.showings.push_back(std::move(showing));
  TerminalUser terminal(std::cin, std::cout);
  Watch user(options.interactive ? static_cast<UserInterface&>(terminal) : scripted);

  ObjectFactory factory;
  host->registerInto(factory);
  xls::registerExcel(factory);
  Services services{*system, user, factory};

  int status = 1;
  {
    Plugin plugin(services);
    try {
      plugin.OnAppStartAfter(1);
      for (const auto& caption : host->menuItems()) {
        std::cout << "[menu] " << toUtf8(caption) << "\n" << std::flush;
      }
      plugin.SceneCheck(1);
      status = user.succeeded ? 0 : 1;
    } catch (const RuntimeError& e) {
      std::cout << std::flush;
      std::cerr << "brosk-host: the plug-in failed the call: error " << e.number() << ": "
                << toUtf8(e.description()) << "\n";
      status = 3;
    }
  }
  if (!options.trace.empty()) {
    std::ofstream trace(options.trace, std::ios::binary);
    host->writeTrace(trace);
    if (!trace) {
      std::cerr << "brosk-host: cannot write the trace to " << options.trace << "\n";
      if (status == 0) status = 1;
    }
  }
  return status;
}
