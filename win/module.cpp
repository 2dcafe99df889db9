#include "win/module.h"

#include <objbase.h>

#include "dialog/frm_datos.h"
#include "platform/thread_state.h"
#include "win/boundary.h"
#include "win/unwind_frames.h"

namespace brosk::win {

HINSTANCE gModule = nullptr;
std::atomic<long> gObjects{0};
std::atomic<long> gLocks{0};

std::wstring modulePath() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    const DWORD n = GetModuleFileNameW(gModule, path.data(), static_cast<DWORD>(path.size()));
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring guidText(const GUID& guid) {
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

}  // namespace brosk::win

// The module state of each thread is freed here, by the DLL itself, and not by the C
// runtime's thread_local destructors (see platform/thread_state.h). Both run under the
// loader lock: a state that still holds other components' objects is left unreleased.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      brosk::win::gModule = instance;
      brosk::win::registerOwnFrames(instance);
      break;
    case DLL_THREAD_DETACH:
      brosk::releaseThreadStates(brosk::Release::UnderLoaderLock);
      break;
    case DLL_PROCESS_DETACH:
      // Unloaded while the process goes on (FreeLibrary, CoFreeUnusedLibraries): every
      // thread's state goes. At process exit the other threads are gone already,
      // perhaps halfway through anything: nothing is touched.
      if (reserved == nullptr) brosk::releaseAllThreadStates(brosk::Release::UnderLoaderLock);
      brosk::win::deregisterOwnFrames();
      break;
    default:
      break;
  }
  return TRUE;
}

extern "C" HRESULT __stdcall DllCanUnloadNow() {
  using namespace brosk::win;
  return resultFromException(L"brosk", IID_NULL, [] {
    // A loaded dialog holds the user's accepted entries: the library stays for the next
    // command.
    return gObjects == 0 && gLocks == 0 && !brosk::FrmDatos::anyLoaded() ? S_OK : S_FALSE;
  });
}
