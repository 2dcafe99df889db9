// Rounding of amounts for the workbooks.
#pragma once

#include <cmath>

namespace brosk {

// Rounds to 2 decimals, half to even: the value is scaled by 100, rounded to the nearest
// integer with an exact half going to the even one, and scaled back. A value too large
// to scale has no decimals left to round and is returned as it is.
inline double redondear2(double value) {
  const double scaled = value * 100;
  if (!std::isfinite(scaled)) return value;
  return std::nearbyint(scaled) / 100;  // the default rounding mode is half to even
}

}  // namespace brosk
