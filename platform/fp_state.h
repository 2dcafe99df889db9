// The floating-point state of the thread: the x87 control word and exception flags, and
// MXCSR. It belongs to whoever owns the thread. A host may keep the x87 at 24-bit
// precision (a Direct3D 9 device does), another rounding mode, or exceptions unmasked (a
// Delphi program does); the plug-in's arithmetic needs 53-bit precision, rounding to
// nearest and every exception masked.
//
// Every entry from outside runs inside an FpEntry: it saves the caller's state, sets the
// plug-in's own and gives the caller's back, exactly, when it ends, on failure too (an
// entry reached from the plug-in's own code does nothing: the outer one is the boundary,
// while the code inside an FpCallout is outside again). Code
// of others that the plug-in calls meanwhile (host objects, the message loop of a modal
// window, which runs the host's timers and window procedures) runs inside an FpCallout,
// in the caller's state again; whatever state that code leaves becomes the caller's, and
// the plug-in's own is set once more.
#pragma once

#include <cstdint>

namespace brosk {

// The control words alone: the x87 control word (precision, rounding, exception masks) and
// MXCSR (rounding and masks of the SSE unit). Written once here for the plug-in, its test
// hosts and its tests alike.
struct FpControlWords {
  std::uint16_t x87;
  std::uint32_t mxcsr;
};

inline FpControlWords readFpControl() noexcept {
  FpControlWords words{};
  asm volatile("fnstcw %0" : "=m"(words.x87));
  asm volatile("stmxcsr %0" : "=m"(words.mxcsr));
  return words;
}

// Sets both control words. The x87 exception flags are cleared first: a flag left raised
// under an exception that the new word unmasks would fault at the next x87 instruction.
inline void setFpControl(FpControlWords words) noexcept {
  asm volatile("fnclex");
  asm volatile("fldcw %0" : : "m"(words.x87));
  asm volatile("ldmxcsr %0" : : "m"(words.mxcsr));
}

class FpState {
 public:
  // The calling thread's state now.
  static FpState current() noexcept;
  // The plug-in's own: 53-bit precision, round to nearest, all exceptions masked, no
  // exception flag raised (x87 control word 0x027F, MXCSR 0x1F80).
  static void setOwn() noexcept;
  // Puts this state back: control words and exception flags as they were.
  void restore() const noexcept;

  std::uint16_t x87ControlWord() const noexcept { return env_.controlWord; }
  std::uint16_t x87StatusWord() const noexcept { return env_.statusWord; }
  std::uint32_t mxcsr() const noexcept { return mxcsr_; }

 private:
  // The 28-byte x87 environment of FNSTENV/FLDENV.
  struct X87Environment {
    std::uint16_t controlWord, unused1, statusWord, unused2, tagWord, unused3;
    std::uint32_t instructionPointer, instructionSelector, operandPointer, operandSelector;
  };
  X87Environment env_{};
  std::uint32_t mxcsr_ = 0;
};

class FpEntry {
 public:
  FpEntry() noexcept;
  ~FpEntry();
  FpEntry(const FpEntry&) = delete;
  FpEntry& operator=(const FpEntry&) = delete;

 private:
  friend class FpCallout;
  bool active_;
  FpState caller_;
};

class FpCallout {
 public:
  FpCallout() noexcept;
  ~FpCallout();
  FpCallout(const FpCallout&) = delete;
  FpCallout& operator=(const FpCallout&) = delete;

 private:
  FpEntry* entry_;
};

// Calls `body` (the host's code, or the system's that runs it) in the caller's
// floating-point state, and returns what it returns.
template <class Body>
decltype(auto) callOut(Body&& body) {
  const FpCallout callout;
  return body();
}

}  // namespace brosk
