// Scaled integers of single-precision values: magnitudes and standard
// deviations in hundredths, frequencies and dates as whole numbers.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace qev {

// Whether a value formed in double precision, truncated toward zero, is a
// finite number within the 32-bit integers.
inline bool WholeFits(double value) {
  const double whole = std::trunc(value);
  return std::isfinite(whole) &&
         whole >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
         whole <= static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

// value x factor formed in double precision and truncated toward zero
// (4.1 -> 409 hundredths, 0.35 -> 34). ScaledFits says whether it fits a
// 32-bit integer; ScaledTruncation needs it to.
inline bool ScaledFits(float value, double factor) {
  return WholeFits(static_cast<double>(value) * factor);
}
inline std::int32_t ScaledTruncation(float value, double factor) {
  return static_cast<std::int32_t>(std::trunc(static_cast<double>(value) * factor));
}

}  // namespace qev
