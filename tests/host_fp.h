// The floating-point states hosts keep on their threads, by name, for the tests and for
// brosk-drive: 24-bit x87 precision (what a Direct3D 9 device sets), the three other
// rounding modes, and the overflow, zero-divide and invalid exceptions unmasked (as
// Delphi programs run). Each is the platform's default state with those bits changed.
#pragma once

#include <optional>
#include <string_view>

#include "platform/fp_state.h"

namespace brosk::testing {

// The state a thread starts in: 53-bit precision on Windows, 64-bit on Linux; to nearest,
// every exception masked.
inline constexpr FpControlWords kWindowsNormal{0x027F, 0x1F80};
inline constexpr FpControlWords kLinuxNormal{0x037F, 0x1F80};

inline constexpr std::string_view kHostFpStates[] = {"p24", "down", "up", "zero", "unmasked"};

// The state of that name built on `normal` (0x027F on Windows, 0x037F on Linux; MXCSR
// 0x1F80 on both); "default" is `normal` itself; none for an unknown name.
inline std::optional<FpControlWords> hostFpState(std::string_view name, FpControlWords normal) {
  constexpr std::uint16_t kPrecision = 0x0300, kRounding = 0x0C00, kX87Masks = 0x000D;
  constexpr std::uint32_t kSseRounding = 0x6000, kSseMasks = 0x0680;
  auto rounding = [&](std::uint16_t x87, std::uint32_t sse) {
    return FpControlWords{static_cast<std::uint16_t>((normal.x87 & ~kRounding) | x87),
                          (normal.mxcsr & ~kSseRounding) | sse};
  };
  if (name == "default") return normal;
  if (name == "p24")
    return FpControlWords{static_cast<std::uint16_t>(normal.x87 & ~kPrecision), normal.mxcsr};
  if (name == "down") return rounding(0x0400, 0x2000);
  if (name == "up") return rounding(0x0800, 0x4000);
  if (name == "zero") return rounding(0x0C00, 0x6000);
  if (name == "unmasked") {
    return FpControlWords{static_cast<std::uint16_t>(normal.x87 & ~kX87Masks),
                          normal.mxcsr & ~kSseMasks};
  }
  return std::nullopt;
}

}  // namespace brosk::testing
