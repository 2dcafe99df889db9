#include "platform/fp_state.h"

#if !defined(__i386__) && !defined(__x86_64__)
#error "the floating-point state is kept for x86 and x86-64 only"
#endif

namespace brosk {
namespace {

constexpr std::uint16_t kOwnControlWord = 0x027F;  // 53-bit, to nearest, all masked
constexpr std::uint32_t kOwnMxcsr = 0x1F80;        // to nearest, all masked, no flush to zero
// The status word's exception flags, stack fault, error summary and busy bit: what the
// caller's code had raised. The rest (the stack top, the condition codes) is left as it is.
constexpr std::uint16_t kRaisedBits = 0x80FF;

// The entry the calling thread is in, if any (a plain pointer: nothing to destroy).
thread_local FpEntry* tEntry = nullptr;

}  // namespace

FpState FpState::current() noexcept {
  FpState s;
  // FNSTENV masks every x87 exception after storing: load the environment straight back.
  asm volatile("fnstenv %0" : "=m"(s.env_));
  asm volatile("fldenv %0" : : "m"(s.env_));
  asm volatile("stmxcsr %0" : "=m"(s.mxcsr_));
  return s;
}

void FpState::setOwn() noexcept {
  setFpControl({kOwnControlWord, kOwnMxcsr});
}

void FpState::restore() const noexcept {
  X87Environment now;
  asm volatile("fnstenv %0" : "=m"(now));
  now.controlWord = env_.controlWord;
  now.statusWord =
      static_cast<std::uint16_t>((now.statusWord & ~kRaisedBits) | (env_.statusWord & kRaisedBits));
  asm volatile("fldenv %0" : : "m"(now));
  asm volatile("ldmxcsr %0" : : "m"(mxcsr_));
}

FpEntry::FpEntry() noexcept : active_(tEntry == nullptr) {
  // Inside an entry already (the plug-in's own code calling an entry point of its own,
  // as DispInvoke calls the interface's methods): the outer entry keeps the caller's state.
  if (!active_) return;
  caller_ = FpState::current();
  FpState::setOwn();
  tEntry = this;
}

FpEntry::~FpEntry() {
  if (!active_) return;
  tEntry = nullptr;
  caller_.restore();
}

FpCallout::FpCallout() noexcept : entry_(tEntry) {
  if (entry_ == nullptr) return;  // not inside an entry, or inside a callout already
  tEntry = nullptr;
  entry_->caller_.restore();
}

FpCallout::~FpCallout() {
  if (entry_ == nullptr) return;
  entry_->caller_ = FpState::current();
  FpState::setOwn();
  tEntry = entry_;
}

}  // namespace brosk
