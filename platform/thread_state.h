// State each thread keeps for itself: the module state of an apartment (the order state,
// the order data dialog). It is made on first use and freed by the module itself when the
// thread ends or the library unloads, never by the C runtime's thread_local destructors:
// with MinGW those pin the DLL once for every thread that touched them and release it at
// that thread's exit, which can run the DLL's unloading nested under the loader lock and
// hang the thread or the whole process.
#pragma once

#include <cstddef>
#include <memory>

namespace brosk {

class ThreadState {
 public:
  virtual ~ThreadState() = default;
  // Whether the state holds references to other components' objects. Releasing those
  // where the components may be gone already (under the loader lock at a thread's or the
  // library's end) is unsafe, so such a state is then left unreleased on purpose.
  virtual bool holdsObjects() const { return false; }
};

// The kinds of state a thread keeps, one of each at most.
enum class ThreadStateKind { Order, Dialog };
inline constexpr int kThreadStateKinds = 2;

// This thread's state of `kind`, or null when it has none yet.
ThreadState* findThreadState(ThreadStateKind kind);
// Gives this thread a state of `kind` (it must have none yet) and returns it.
ThreadState& keepThreadState(ThreadStateKind kind, std::unique_ptr<ThreadState> state);

// This thread's state of type T, made on first use.
template <class T>
T& threadState(ThreadStateKind kind) {
  if (ThreadState* found = findThreadState(kind)) return static_cast<T&>(*found);
  return static_cast<T&>(keepThreadState(kind, std::make_unique<T>()));
}

enum class Release {
  Normally,        // on the thread's own stack: everything is freed
  UnderLoaderLock  // at a DLL's thread or process detach: states holding objects stay
};
// Frees the calling thread's states (its end, or the module's).
void releaseThreadStates(Release how);
// Frees every thread's states: the library is unloading and none of its objects is alive.
void releaseAllThreadStates(Release how);
// How many states were left unreleased on purpose so far. They stay reachable, so a leak
// checker does not count them.
std::size_t abandonedThreadStates();

// The platform's per-thread slot that holds a thread's block of states (a Win32 TLS
// index; a pthread key, whose destructor frees the states when a Linux thread ends).
void* threadSlot();
void setThreadSlot(void* value);

}  // namespace brosk
