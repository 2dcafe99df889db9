// Rounding of amounts for the workbooks.
#pragma once

#include <cmath>

#include "automation/convert.h"

namespace brosk {

// Rounds to 2 decimals, half to even: the value is scaled by 100, rounded to the nearest
// integer with an exact half going to the even one (computed step by step, whatever the
// thread's rounding mode), and scaled back. From 2^53 on a Double has no decimals left to
// round and is returned as it is, before the scaling could overflow.
inline double redondear2(double value) {
  if (!(std::fabs(value) < 9007199254740992.0)) return value;
  return roundHalfEven(value * 100) / 100;
}

}  // namespace brosk
