// brosk-host: plays the design host on Linux. It loads a scene file into the substitute
// host, creates the plug-in, calls OnAppStartAfter as the host does at its start and
// then SceneCheck as if the user had picked the menu item, once or several times on the
// same Plugin. The user's answers come from the options, or from the terminal.
//
// Output: "[menu] CAPTION" for the menu item, then each message box as "[TITLE] TEXT"
// (with several links each one headed "[link N]", and the texts the dialog opens with as
// "[dialog] ..."). Exit status: 0 every link was made;
// 1 one was not (cancelled, nothing to link, an error the plug-in reported); 2 bad usage,
// an unreadable scene file or a trace file that cannot be written (nothing is written);
// 3 the plug-in returned a failure to the host (its number and description on standard
// error).
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "automation/error.h"
#include "automation/text.h"
#include "brosk_version.h"
#include "dialog/terminal_view.h"
#include "order/constantes.h"
#include "platform/linux_system.h"
#include "plugin/plugin.h"
#include "sim/host.h"
#include "sim/scripted_user.h"
#include "sim/text_options.h"
#include "xls/excel_app.h"

namespace {

using namespace brosk;

constexpr char kUsageHead[] =
    "usage: brosk-host [OPTIONS] SCENE.json\n"
    "The user's answers in the link:\n";
constexpr char kUsageTail[] =
    "  --browse DIR           pick DIR with Examinar before Aceptar\n"
    "  --create-folder yes|no answer to the default-folder question (default: yes)\n"
    "  --cancel               press Cancelar instead of Aceptar\n"
    "  --then                 one more link on the same plug-in: the answers after it are\n"
    "                         that link's (the dialog keeps what it kept, as in the host)\n"
    "Other options:\n"
    "  --interactive          ask on the terminal instead (the default when standard input\n"
    "                         is a terminal and no answer is given)\n"
    "  --trace FILE           write every host call as a JSON line\n"
    "  --locale NAME          the user's locale (default: from the environment)\n"
    "  --help                 print this and exit\n"
    "  --version              print the version and exit\n"
    "Exit status: 0 linked, 1 not linked, 2 bad usage or input, 3 the plug-in failed the call.\n";

// What the user does in one link.
struct Answers {
  std::vector<std::pair<layout::Id, std::string>> texts;
  std::optional<std::string> browse;
  bool createFolder = true;
  bool cancel = false;
};

struct Options {
  std::string scene;
  std::vector<Answers> links{1};
  bool interactive = false;
  bool answersGiven = false;
  std::string trace;
  std::string locale;
};

struct UsageError {
  std::string message;
};
struct Exit {
  int status;
};

// The usage --help prints: the text options' lines come from their table.
std::string usage() {
  std::string text = kUsageHead;
  for (const sim::TextOption& option : sim::kTextOptions) text += option.help;
  return text + kUsageTail;
}

// One option of a link's answers; false when `arg` is none of them.
template <typename Value>
bool parseAnswer(const std::string& arg, Value value, Options& o) {
  Answers& answers = o.links.back();
  for (const auto& [name, id, help] : sim::kTextOptions) {
    if (arg == name) {
      answers.texts.emplace_back(id, value());
      return true;
    }
  }
  if (arg == "--browse") {
    answers.browse = value();
  } else if (arg == "--create-folder") {
    const std::string answer = value();
    if (answer != "yes" && answer != "no") throw UsageError{"--create-folder takes yes or no"};
    answers.createFolder = answer == "yes";
  } else if (arg == "--cancel") {
    answers.cancel = true;
  } else if (arg == "--then") {
    o.links.emplace_back();
  } else {
    return false;
  }
  return true;
}

Options parse(int argc, char** argv) {
  Options o;
  bool interactiveAsked = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw UsageError{arg + " needs a value"};
      return argv[++i];
    };
    if (parseAnswer(arg, value, o)) {
      o.answersGiven = true;
    } else if (arg == "--interactive") {
      interactiveAsked = true;
    } else if (arg == "--trace") {
      o.trace = value();
    } else if (arg == "--locale") {
      o.locale = value();
    } else if (arg == "--help" || arg == "-h") {
      std::cout << usage();
      throw Exit{0};
    } else if (arg == "--version") {
      std::cout << "brosk-host " << BROSK_VERSION_TEXT << "\n";
      throw Exit{0};
    } else if (!arg.empty() && arg[0] == '-') {
      throw UsageError{"unknown option " + arg};
    } else if (o.scene.empty()) {
      o.scene = arg;
    } else {
      throw UsageError{"more than one scene file"};
    }
  }
  if (o.scene.empty()) throw UsageError{"no scene file"};
  o.interactive = interactiveAsked || (!o.answersGiven && ::isatty(STDIN_FILENO));
  if (o.interactive && o.links.size() > 1) throw UsageError{"--then needs the answers as options"};
  return o;
}

bool localeExists(const std::string& name) {
  locale_t loc = newlocale(LC_NUMERIC_MASK, name.c_str(), nullptr);
  if (loc) freelocale(loc);
  return loc != nullptr;
}

// The user's system services; for an unknown locale name the error suggests the name the
// system knows when only the encoding was left out.
void makeSystem(std::optional<LinuxSystem>& system, const std::string& locale) {
  try {
    system.emplace(locale);
  } catch (const std::runtime_error& e) {
    std::string message = e.what();
    if (!locale.empty() && locale.find('.') == std::string::npos) {
      for (const char* encoding : {".UTF-8", ".utf8"}) {
        if (localeExists(locale + encoding)) {
          message += "; did you mean " + locale + ".UTF-8?";
          break;
        }
      }
    }
    throw std::runtime_error(message);
  }
}

// The browser's answer for --browse: the folder as given, without a trailing separator
// (but for the root), as a folder browser returns it.
std::u16string browsedFolder(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return fromUtf8(folder);
}

// Watches the message boxes a user interface shows, to tell how a link ended.
class Watch : public UserInterface {
 public:
  explicit Watch(UserInterface& inner) : inner_(inner) {}
  bool succeeded = false;
  bool showDialog = false;  // print the texts the dialog opens with
  int messageBox(const std::u16string& text, const std::u16string& title, int style) override {
    if (title == u"¡¡Exito!!") succeeded = true;
    return inner_.messageBox(text, title, style);
  }
  void showModal(FrmDatos& form) override {
    if (showDialog) {
      std::string line = "[dialog]";
      for (const layout::Id id : layout::kInputs) line += " " + toUtf8(form.text(id));
      std::cout << line << "\n" << std::flush;
    }
    inner_.showModal(form);
  }
  std::optional<std::u16string> browseForFolder(const std::u16string& instruction) override {
    return inner_.browseForFolder(instruction);
  }

 private:
  UserInterface& inner_;
};

// The scripted user's answers for one link.
void script(sim::ScriptedUser& user, const Answers& answers) {
  user.answers = {answers.createFolder ? mb::kAnswerYes : mb::kAnswerNo};
  user.folders.clear();
  sim::ScriptedUser::Showing showing;
  for (const auto& [id, text] : answers.texts) {
    showing.push_back(sim::ScriptedUser::Step::type(id, fromUtf8(text)));
  }
  if (answers.browse) {
    user.folders.push_back(browsedFolder(*answers.browse));
    showing.push_back(sim::ScriptedUser::Step::click(layout::Id::CmdRuta));
  }
  showing.push_back(
      sim::ScriptedUser::Step::click(answers.cancel ? layout::Id::Cancelar : layout::Id::Aceptar));
  user.showings = {std::move(showing)};
}

// The user's system, the host with its scene and the trace file; a message and false
// when one of them cannot be had.
bool openInputs(const Options& options, std::optional<LinuxSystem>& system,
                std::optional<sim::Host>& host, std::ofstream& trace) {
  try {
    makeSystem(system, options.locale);
    host.emplace(sim::loadScene(options.scene));
  } catch (const std::exception& e) {
    std::cerr << "brosk-host: " << e.what() << "\n";
    return false;
  }
  if (!options.trace.empty()) {
    // Refused now, before the link: exit status 1 keeps meaning "not linked".
    trace.open(options.trace, std::ios::binary | std::ios::trunc);
    if (!trace) {
      std::cerr << "brosk-host: cannot write the trace to " << options.trace << ": "
                << std::strerror(errno) << "\n";
      return false;
    }
  }
  host->keepTrace(trace.is_open());
  return true;
}

// The host's start and each link on one Plugin; the exit status.
int playLinks(const Options& options, Services& services, sim::Host& host,
              sim::ScriptedUser& scripted, Watch& user) {
  int status = 0;
  Plugin plugin(services);
  try {
    plugin.OnAppStartAfter(1);
    for (const auto& caption : host.menuItems()) {
      std::cout << "[menu] " << toUtf8(caption) << "\n" << std::flush;
    }
    for (std::size_t n = 0; n < options.links.size(); ++n) {
      if (options.links.size() > 1) std::cout << "[link " << n + 1 << "]\n" << std::flush;
      script(scripted, options.links[n]);
      user.succeeded = false;
      plugin.SceneCheck(1);
      if (!user.succeeded) status = 1;
    }
  } catch (const RuntimeError& e) {
    std::cout << std::flush;
    std::cerr << "brosk-host: the plug-in failed the call: error " << e.number() << ": "
              << toUtf8(e.description()) << "\n";
    status = 3;
  }
  return status;
}

int runLinks(const Options& options) {
  std::optional<LinuxSystem> system;
  std::optional<sim::Host> host;
  std::ofstream trace;
  if (!openInputs(options, system, host, trace)) return 2;

  sim::ScriptedUser scripted;
  scripted.echo = &std::cout;
  TerminalUser terminal(std::cin, std::cout);
  Watch user(options.interactive ? static_cast<UserInterface&>(terminal) : scripted);
  // With several links the user watches what the dialog kept from one to the next.
  user.showDialog = options.links.size() > 1;

  ObjectFactory factory;
  host->registerInto(factory);
  xls::registerExcel(factory, systemFileSystem());
  Services services{*system, user, factory, systemFileSystem()};
  int status = playLinks(options, services, *host, scripted, user);
  // The last Plugin is gone: the host objects a failed command left in the order state
  // are released, as brosk.dll releases them when an apartment's last Plugin goes.
  releaseHostObjects();
  if (trace.is_open()) {
    host->writeTrace(trace);
    trace.close();
    if (!trace) {
      std::cerr << "brosk-host: cannot write the trace to " << options.trace << "\n";
      if (status == 0) status = 1;
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return runLinks(parse(argc, argv));
  } catch (const Exit& e) {
    return e.status;
  } catch (const UsageError& e) {
    if (!e.message.empty()) std::cerr << "brosk-host: " << e.message << "\n";
    std::cerr << usage();
    return 2;
  }
}
