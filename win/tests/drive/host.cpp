#include "win/tests/drive/host.h"

#include <cstdio>
#include <thread>

#include "automation/text.h"
#include "win/tests/drive/host_window.h"

namespace drive {
namespace {

using brosk::readFpControl;
using brosk::setFpControl;

// Waits up to two minutes for a file to exist.
bool waitForFile(const std::wstring& file) {
  for (int i = 0; i < 1200; ++i) {
    if (GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(100);
  }
  return false;
}

// A call by name, with the floating-point control words checked around it.
CallResult hostCall(IDispatch* plugin, const wchar_t* name, bool checkFp) {
  const FpControlWords before = readFpControl();
  CallResult r = callByName(plugin, name, 1);
  const FpControlWords after = readFpControl();
  if (checkFp) {
    print(u"[fpu] " + fromWide(name) +
          (sameControl(before, after)
               ? std::u16string(u": kept")
               : u": x87 " + hex(before.x87, 4) + u" -> " + hex(after.x87, 4) + u", MXCSR " +
                     hex(before.mxcsr, 4) + u" -> " + hex(after.mxcsr, 4)));
  }
  return r;
}

// The Plugin released, unused libraries freed and a new Plugin made, between two links.
bool unloadAndCreateAgain(const Options& options, ComPtr<IDispatch>& plugin, HostWindow* host) {
  if (host) host->use(nullptr);
  plugin = {};
  CoFreeUnusedLibrariesEx(0, 0);
  print(GetModuleHandleW(L"brosk.dll") ? u"[unload] brosk.dll still loaded"
                                       : u"[unload] brosk.dll unloaded");
  plugin = createPlugin(options.fromUserRegistry, options.pluginDll);
  if (host) host->use(plugin.get());
  return static_cast<bool>(plugin);
}

// OnAppStartAfter, then each link; a failed link does not stop the next, as a host goes
// on after a failed command. The last failure, if any.
std::optional<CallResult> runCalls(const Options& options, ComPtr<IDispatch>& plugin,
                                   HostWindow* host) {
  std::optional<CallResult> failed;
  const bool checkFp = options.fpu.has_value();
  const CallResult start = hostCall(plugin.get(), L"OnAppStartAfter", checkFp);
  print(u"OnAppStartAfter: " + start.text);
  if (!start.ok) return start;
  for (int link = 1; link <= options.links; ++link) {
    if (link > 1 && !options.waitBetween.empty()) {
      if (!waitForFile(options.waitBetween))
        return CallResult{false, u"the file waited for did not come"};
      print(u"[wait] " + fromWide(options.waitBetween) + u" is there");
    }
    if (link > 1 && options.unload && !unloadAndCreateAgain(options, plugin, host)) {
      return CallResult{false, u"brosk.Plugin cannot be created again"};
    }
    const ULONGLONG started = GetTickCount64();
    const CallResult check = hostCall(plugin.get(), L"SceneCheck", checkFp);
    print(u"SceneCheck: " + check.text);
    if (options.time) {
      print(u"[time] SceneCheck: " +
            brosk::decimal(static_cast<long long>(GetTickCount64() - started)) + u" ms");
    }
    if (!check.ok) failed = check;
  }
  return failed;
}

// What the host window says once the links are over: enabled, the focus back, and the
// floating-point state its timer ran in.
void reportHostWindow(HostWindow& host) {
  for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&m);
  print(IsWindowEnabled(host.window()) ? u"[modal] the host window is enabled afterwards"
                                       : u"[modal] the host window is still DISABLED");
  print(GetFocus() == host.edit() ? u"[modal] the focus is back in the host window"
                                  : u"[modal] the focus is NOT back in the host window");
  print(host.foreignTicks() == 0
            ? u"[timer] the host's timer ran in the host's floating-point state"
            : u"[timer] " + brosk::decimal(host.foreignTicks()) + u" of " +
                  brosk::decimal(host.ticks()) +
                  u" ticks of the host's timer ran in ANOTHER floating-point state (x87 " +
                  hex(host.lastForeign().x87, 4) + u", MXCSR " + hex(host.lastForeign().mxcsr, 4) +
                  u")");
  host.use(nullptr);
}

// A file held open by another program, sharing nothing (or everything), for a while from
// now.
std::thread holdFile(const Options& options) {
  if (options.hold.empty()) return {};
  const DWORD sharing =
      options.holdSharing ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE : 0;
  HANDLE held = CreateFileW(options.hold.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return std::thread([held, ms = options.holdMilliseconds] {
    Sleep(ms);
    CloseHandle(held);
  });
}

// The calls of one session, with the user on its thread; the exit status.
int withPlugin(const Options& options, ComPtr<IDispatch>& plugin, HostWindow* host) {
  if (host) host->use(plugin.get());
  User user(options.script, GetCurrentThreadId(), host);
  std::thread userThread([&] { user.run(); });
  std::thread holder = holdFile(options);
  const std::optional<CallResult> failed = runCalls(options, plugin, host);
  user.done = true;
  userThread.join();
  if (holder.joinable()) holder.join();
  if (host) reportHostWindow(*host);
  if (failed) {
    std::fprintf(stderr, "brosk-drive: %s\n", brosk::toUtf8(failed->text).c_str());
    return 3;
  }
  return user.sawSuccess ? 0 : 1;
}

}  // namespace

int session(const Options& options) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // From here on the thread is in the host's floating-point state, as in a real host.
  if (options.fpu) setFpControl(*options.fpu);
  int status = 3;
  {
    std::optional<HostWindow> host;
    if (options.hostWindow) host.emplace(readFpControl());
    ComPtr<IDispatch> plugin = createPlugin(options.fromUserRegistry, options.pluginDll);
    if (plugin) {
      status = withPlugin(options, plugin, host ? &*host : nullptr);
    } else {
      std::fprintf(stderr, "brosk-drive: cannot create brosk.Plugin\n");
    }
  }
  CoUninitialize();
  setFpControl(*hostState("default"));
  return status;
}

int sessionOnWorker(const Options& options) {
  static Options workerOptions;
  static int status = 3;
  workerOptions = options;
  struct Worker {
    static DWORD WINAPI run(void*) {
      status = session(workerOptions);
      return 0;
    }
  };
  const brosk::unique_any<HANDLE, &::CloseHandle> worker(
      CreateThread(nullptr, 0, &Worker::run, nullptr, 0, nullptr));
  const DWORD waited = WaitForSingleObject(worker.get(), 30000);
  print(waited == WAIT_OBJECT_0 ? u"[worker] ended" : u"[worker] still running after 30 s");
  return waited == WAIT_OBJECT_0 ? status : 5;
}

}  // namespace drive
