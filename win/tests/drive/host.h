// The kinds of host brosk-drive plays: the calling thread's floating-point state, a host
// window with a timer, a worker thread, several links with unloading between them, a file
// held by another program, a host left open while brosk is updated.
#pragma once

#include <optional>
#include <string>

#include "win/tests/drive/common.h"
#include "win/tests/drive/user.h"

namespace drive {

struct Options {
  Script script;
  bool time = false;  // how long each SceneCheck took
  std::wstring hold;  // a file held while the links run, for holdMilliseconds
  DWORD holdMilliseconds = 0;
  bool holdSharing = false;  // the holder shares reading, writing and deleting
  std::optional<FpControlWords> fpu;
  bool hostWindow = false;
  bool worker = false;
  int links = 1;
  bool unload = false;
  bool fromUserRegistry = false;  // brosk.Plugin made from the per-user registration
  std::wstring pluginDll;         // brosk.Plugin made from this DLL, whatever is registered
  std::wstring waitBetween;       // a file waited for before each link after the first
};

// The host's session on the calling thread: its windows, the plug-in, the calls. The exit
// status as for the whole program.
int session(const Options& options);

// The session on a worker thread that ends afterwards, as hosts run plug-ins on threads
// of their own: "[worker] ended", or "[worker] still running after 30 s" (status 5).
int sessionOnWorker(const Options& options);

}  // namespace drive
