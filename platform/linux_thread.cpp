// The per-thread slot on Linux: a pthread key. Its destructor frees a thread's states
// when the thread ends.
#include <pthread.h>

#include "platform/thread_state.h"

namespace brosk {
namespace {

pthread_key_t slotKey();

void endOfThread(void* block) {
  // The C library has emptied the slot before calling this; the block goes back in so
  // that the release, on the ending thread itself, finds it.
  pthread_setspecific(slotKey(), block);
  releaseThreadStates(Release::Normally);
}

pthread_key_t slotKey() {
  static const pthread_key_t key = [] {
    pthread_key_t k;
    pthread_key_create(&k, endOfThread);
    return k;
  }();
  return key;
}

}  // namespace

void* threadSlot() {
  return pthread_getspecific(slotKey());
}

void setThreadSlot(void* value) {
  pthread_setspecific(slotKey(), value);
}

}  // namespace brosk
