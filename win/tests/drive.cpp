// brosk-drive: a test host for brosk.dll on Windows (or Wine). It creates brosk.Plugin by
// ProgID and calls OnAppStartAfter and SceneCheck through IDispatch by name, as the
// design host does, while a second thread plays the user: it finds the order data
// dialog and the message boxes by their titles, types into the dialog, presses its
// buttons and answers the boxes, all through window messages. Options make it the kinds
// of host a plug-in meets in the field.
//
//   brosk-drive [--series T] [--quote T] [--customer T] [--point-value T] [--vat T]
//               [--create-folder yes|no] [--cancel | --close] [--keys] [--snapshot FILE]
//               [--fpu default|p24|down|up|zero|unmasked] [--host-window] [--worker]
//               [--links N] [--unload]
//   brosk-drive --version-info DLL       prints the version record of DLL
//   brosk-drive --unload-check DLL       checks DllCanUnloadNow around one object
//   brosk-drive --short-name PATH        prints the short (8.3) form of PATH
//   brosk-drive --alloc-faults DLL       every allocation of every entry point of the test
//                                        build DLL failing in turn (see allocFaults)
//
// Output: "OnAppStartAfter: RESULT", then for each showing of the dialog "[dialog]" and
// the texts it opened with, each message box as "[TITLE] TEXT" (a question with " -> Sí"
// or " -> No"), and "SceneCheck: RESULT" after each link. --keys presses Enter and Esc in
// the dialog first and prints whether it stayed open.
//
// The host's kinds:
//   --fpu        the calling thread's floating-point state before the calls: 24-bit x87
//                precision (a Direct3D 9 device), a rounding mode, or the overflow, zero-
//                divide and invalid exceptions unmasked (a Delphi program); after each call
//                "[fpu] CALL: kept" or what changed in the control words.
//   --host-window a visible host window with a timer, owned by the calling thread. At
//                each window of the plug-in the user delivers the host's menu command to
//                it (SceneCheck and OnAppStartAfter again, "[reenter] ..." lines) and says
//                whether the host window was disabled ("[modal] ..."); the timer checks
//                that the host's code runs in the host's own floating-point state.
//   --worker     the calls run on a worker thread of their own (an STA), which then ends;
//                "[worker] ended" once it has, or "[worker] still running" after 30 s.
//   --links N    N link commands on the same Plugin object, the next after a failed one too.
//   --unload     between links the Plugin is released and CoFreeUnusedLibrariesEx(0, 0)
//                run: "[unload] brosk.dll unloaded" (or "still loaded"); then a new Plugin.
//   --crt-locale NAME  the host sets the C runtime's process-wide locale (setlocale(LC_ALL,
//                NAME): "Spanish", "German", "C"), as any component of a process may.
//   --cpp-locale NAME  the host's C++ global locale gets the number punctuation of NAME
//                ("Spanish" and "German": decimal comma, grouping point; "C").
//   --hold FILE MS  while the links run, FILE is held open by another program, sharing
//                nothing, for MS milliseconds from the first link's start (as a scanner,
//                a sync client or the importer holds a file for a moment).
//   --hold-sharing FILE MS  the same, sharing reading, writing and deleting (as most
//                scanners do): the plug-in's probe passes, and Windows still refuses to
//                rename over the file.
//   --time       "[time] SceneCheck: N ms" after each link.
//   --names      when the dialog is up, "[names] ..." with what Active Accessibility (a
//                screen reader) names each input.
//   --type-folder when the dialog is up, a folder typed and pasted into the folder box:
//                "[folder] ..." whether the box changed and whether Tab reaches it.
//   --placement  when the dialog is up, "[place] ..." whether it is in front and centred on
//                its host's monitor.
//   --fail-in-dialog  with the test build of the DLL registered (brosk_allocfail.dll), its
//                next allocation fails as Aceptar is pressed, inside the dialog procedure.
//   --load-dll DLL  the host loads DLL first (another component's runtime, say the shared
//                libgcc of a MinGW-built plug-in) and keeps it loaded.
//   --wait-between FILE  before each link after the first, the host (the plug-in loaded)
//                waits until FILE exists, up to 120 s: "[wait] FILE is there" (as a host
//                left open while brosk is updated).
//   --share-classes-key NAME  links the 32-bit view's HKLM\Software\Classes\NAME to the
//                64-bit one's and exits: Windows 7 and later keep one key for both views
//                (only CLSID, Interface and a few more are kept apart), Wine 8 two but for
//                the keys it links itself, such as TypeLib. Done once for brosk.Plugin when
//                the tests' Wine prefix is made, so that it behaves as Windows.
//   --plugin-dll DLL  brosk.Plugin made through DLL's own class factory, whatever the
//                registry says (the test build of the DLL, for --fail-in-dialog).
//   --user-registry  brosk.Plugin made from its per-user registration (ProgID, CLSID and
//                InprocServer32 under HKCU\Software\Classes), as Windows' COM finds it;
//                Wine 8's HKEY_CLASSES_ROOT shows only the machine's keys.
//
// Exit status: 0 the success message was shown, 1 it was not, 3 a call failed (error on
// standard error), 4 the user's side timed out. With --snapshot the user, once the
// dialog is up, writes the dialog's screen rectangle ("X Y WIDTH HEIGHT") to FILE.rect
// and waits (up to 60 s) for FILE to appear, so that a script can take a picture of it.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <locale>
#include <string>
#include <vector>

#include "automation/text.h"
#include "sim/text_options.h"
#include "win/tests/drive/checks.h"
#include "win/tests/drive/host.h"

namespace {

using namespace drive;

// The modes that check one thing and exit, each with its one argument.
struct Mode {
  const char* name;
  bool com;  // runs in an apartment
  int (*run)(const std::wstring&);
};
constexpr Mode kModes[] = {
    {"--version-info", true, &versionInfo},           {"--alloc-faults", true, &allocFaults},
    {"--unload-check", true, &unloadCheck},           {"--short-name", false, &shortName},
    {"--share-classes-key", false, &shareClassesKey},
};

// The options that set a flag.
struct Flag {
  const char* name;
  bool Options::*option;
  bool Script::*script;
};
constexpr Flag kFlags[] = {
    {"--keys", nullptr, &Script::keys},
    {"--names", nullptr, &Script::names},
    {"--placement", nullptr, &Script::placement},
    {"--type-folder", nullptr, &Script::typeFolder},
    {"--fail-in-dialog", nullptr, &Script::failInDialog},
    {"--host-window", &Options::hostWindow, nullptr},
    {"--worker", &Options::worker, nullptr},
    {"--unload", &Options::unload, nullptr},
    {"--time", &Options::time, nullptr},
    {"--user-registry", &Options::fromUserRegistry, nullptr},
};

// The host's C++ global locale with the number punctuation of `name`: the C++ library of
// this host knows no named locale but "C", so the punctuation is given as a facet.
void setCppLocale(const std::string& name) {
  struct CommaDecimal : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
  };
  std::locale::global(name == "C" ? std::locale::classic()
                                  : std::locale(std::locale::classic(), new CommaDecimal));
}

// An option the table does not hold, or an option with values; false when unknown.
bool parseOther(const std::vector<std::string>& args, std::size_t& i, Options& options) {
  const std::string& a = args[i];
  const std::size_t left = args.size() - i - 1;
  Script& script = options.script;
  if (a == "--cancel") {
    script.end = Script::End::Cancelar;
  } else if (a == "--close") {
    script.end = Script::End::Close;
  } else if (left >= 1 && a == "--create-folder") {
    script.createFolder = args[++i] == "yes";
  } else if (left >= 1 && a == "--snapshot") {
    script.snapshot = toWide(args[++i]);
  } else if (left >= 1 && a == "--fpu" && hostState(args[i + 1])) {
    options.fpu = hostState(args[++i]);
  } else if (left >= 1 && a == "--links") {
    options.links = std::max(1, std::atoi(args[++i].c_str()));
  } else if (left >= 1 && a == "--wait-between") {
    options.waitBetween = toWide(args[++i]);
  } else if (left >= 1 && a == "--plugin-dll") {
    options.pluginDll = toWide(args[++i]);
  } else if (left >= 2 && (a == "--hold" || a == "--hold-sharing")) {
    options.holdSharing = a == "--hold-sharing";
    options.hold = toWide(args[++i]);
    options.holdMilliseconds = static_cast<DWORD>(std::atoi(args[++i].c_str()));
  } else {
    return false;
  }
  return true;
}

// The host's own process-wide settings: they are made as the options are read, as a host
// makes them before it loads any plug-in. False (and a message) when one cannot be made.
bool parseProcessSetting(const std::vector<std::string>& args, std::size_t& i, bool& known) {
  const std::string& a = args[i];
  known = i + 1 < args.size() && (a == "--crt-locale" || a == "--cpp-locale" || a == "--load-dll");
  if (!known) return true;
  const std::string value = args[++i];
  if (a == "--crt-locale" && !std::setlocale(LC_ALL, value.c_str())) {
    std::fprintf(stderr, "brosk-drive: the C runtime knows no locale %s\n", value.c_str());
    return false;
  }
  if (a == "--cpp-locale") setCppLocale(value);
  if (a == "--load-dll" && !LoadLibraryW(toWide(value).c_str())) {
    std::fprintf(stderr, "brosk-drive: cannot load %s\n", value.c_str());
    return false;
  }
  return true;
}

// One option of a session; false when it is unknown.
bool parseOption(const std::vector<std::string>& args, std::size_t& i, Options& options) {
  const std::string& a = args[i];
  for (const auto& [name, id, help] : brosk::sim::kTextOptions) {
    if (a == name && i + 1 < args.size()) {
      options.script.texts.emplace_back(id, toWide(args[++i]));
      return true;
    }
  }
  for (const Flag& flag : kFlags) {
    if (a != flag.name) continue;
    (flag.option ? options.*flag.option : options.script.*flag.script) = true;
    return true;
  }
  return parseOther(args, i, options);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(brosk::toUtf8(std::u16string(argv[i], argv[i] + std::wcslen(argv[i]))));
  }
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    for (const Mode& mode : kModes) {
      if (args[i] != mode.name || i + 1 >= args.size()) continue;
      if (mode.com) CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
      return mode.run(toWide(args[i + 1]));
    }
    bool setting = false;
    if (!parseProcessSetting(args, i, setting)) return 2;
    if (setting || parseOption(args, i, options)) continue;
    std::fprintf(stderr, "brosk-drive: unknown argument %s\n", args[i].c_str());
    return 2;
  }
  return options.worker ? sessionOnWorker(options) : session(options);
}
