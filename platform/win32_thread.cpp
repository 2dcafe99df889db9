// The per-thread slot on Windows: a TLS index of the process, which stays readable in the
// DLL's thread detach (unlike C++ thread_local storage, which the runtime may have freed
// by then). The DLL frees the states itself: see DllMain.
#include <windows.h>

#include "platform/thread_state.h"
#include "platform/unique_any.h"

namespace brosk {
namespace {

using unique_tls = unique_any<DWORD, &::TlsFree, -1>;  // TLS_OUT_OF_INDEXES

// Made while the DLL loads, freed when it unloads.
const unique_tls gSlot(TlsAlloc());

}  // namespace

void* threadSlot() {
  return gSlot ? TlsGetValue(gSlot.get()) : nullptr;
}

void setThreadSlot(void* value) {
  if (gSlot) TlsSetValue(gSlot.get(), value);
}

}  // namespace brosk
