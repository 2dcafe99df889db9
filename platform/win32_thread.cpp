// The per-thread slot on Windows: a TLS index of the process, which stays readable in the
// DLL's thread detach (unlike C++ thread_local storage, which the runtime may have freed
// by then). The DLL frees the states itself: see DllMain.
#include <windows.h>

#include "platform/thread_state.h"

namespace brosk {
namespace {

class TlsIndex {
 public:
  TlsIndex() : index_(TlsAlloc()) {}
  ~TlsIndex() {
    if (index_ != TLS_OUT_OF_INDEXES) TlsFree(index_);
  }
  TlsIndex(const TlsIndex&) = delete;
  TlsIndex& operator=(const TlsIndex&) = delete;
  DWORD get() const { return index_; }

 private:
  DWORD index_;
};

// Made while the DLL loads, freed when it unloads.
const TlsIndex gSlot;

}  // namespace

void* threadSlot() {
  return gSlot.get() == TLS_OUT_OF_INDEXES ? nullptr : TlsGetValue(gSlot.get());
}

void setThreadSlot(void* value) {
  if (gSlot.get() != TLS_OUT_OF_INDEXES) TlsSetValue(gSlot.get(), value);
}

}  // namespace brosk
