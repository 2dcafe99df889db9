#include "platform/thread_state.h"

#include <array>
#include <mutex>
#include <new>
#include <vector>

namespace brosk {
namespace {

// One thread's states, linked into the list of every thread's blocks so that the
// library's end can free them all.
struct Block {
  std::array<std::unique_ptr<ThreadState>, kThreadStateKinds> states;
  Block* previous = nullptr;
  Block* next = nullptr;
};

struct Registry {
  std::mutex mutex;
  Block* first = nullptr;
  std::vector<std::unique_ptr<ThreadState>> abandoned;
};

// Never destroyed: at exit (or, on Windows, at the DLL's detach, under the loader lock)
// a destructor would release the states left unreleased on purpose.
Registry& registry() {
  static Registry* const r = new Registry;
  return *r;
}

Block* currentBlock() {
  return static_cast<Block*>(threadSlot());
}

// Unlinks and frees a block; the caller holds the registry's lock.
void freeBlock(Registry& r, Block* block, Release how) {
  if (block->previous) block->previous->next = block->next;
  if (block->next) block->next->previous = block->previous;
  if (r.first == block) r.first = block->next;
  for (auto& state : block->states) {
    if (state && how == Release::UnderLoaderLock && state->holdsObjects()) {
      r.abandoned.push_back(std::move(state));
    }
  }
  delete block;
}

}  // namespace

ThreadState* findThreadState(ThreadStateKind kind) {
  Block* block = currentBlock();
  return block ? block->states[static_cast<std::size_t>(kind)].get() : nullptr;
}

ThreadState& keepThreadState(ThreadStateKind kind, std::unique_ptr<ThreadState> state) {
  Block* block = currentBlock();
  if (block == nullptr) {
    // Everything that may fail comes before the slot refers to the block: a slot left
    // pointing at a block freed by a failure would hand out freed memory next time.
    Registry& r = registry();
    auto made = std::make_unique<Block>();
    const std::lock_guard<std::mutex> lock(r.mutex);
    setThreadSlot(made.get());
    if (currentBlock() != made.get()) throw std::bad_alloc();  // no slot to keep it in
    made->next = r.first;
    if (r.first) r.first->previous = made.get();
    r.first = made.get();
    block = made.release();
  }
  auto& slot = block->states[static_cast<std::size_t>(kind)];
  slot = std::move(state);
  return *slot;
}

void releaseThreadStates(Release how) {
  Block* block = currentBlock();
  if (block == nullptr) return;
  setThreadSlot(nullptr);
  Registry& r = registry();
  const std::lock_guard<std::mutex> lock(r.mutex);
  freeBlock(r, block, how);
}

void releaseAllThreadStates(Release how) {
  setThreadSlot(nullptr);
  Registry& r = registry();
  const std::lock_guard<std::mutex> lock(r.mutex);
  while (r.first) freeBlock(r, r.first, how);
}

std::size_t abandonedThreadStates() {
  Registry& r = registry();
  const std::lock_guard<std::mutex> lock(r.mutex);
  return r.abandoned.size();
}

}  // namespace brosk
