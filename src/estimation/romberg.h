// Romberg integration: the extended trapezoid rule refined level by level and
// Neville's polynomial extrapolation of the level sums to step size zero.
// The template serves the hot integrand of the Bayes estimator without the
// cost of a std::function call; RombergIntegrate wraps it.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>

namespace qev {

// Value of the interpolating polynomial at x and its last correction.
struct NevilleResult {
  float Y = 0.0f;
  float Dy = 0.0f;
};

// Neville's algorithm over the n (at most 10) pairs (xa[0..n-1], ya[0..n-1]).
NevilleResult NevilleExtrapolate(const float* xa, const float* ya, std::int32_t n, float x);

// One level n >= 1 of the extended trapezoid rule on [a, b]. `points` is the
// number of new abscissae of the next level, set by level 1 and doubled by
// every later level (the caller keeps it between calls).
template <typename Integrand>
float TrapezoidRefine(const Integrand& f, float a, float b, float s, std::int32_t n,
                      std::int32_t& points) {
  if (n == 1) {
    const float fb = f(b);  // f(b) first
    const float fa = f(a);
    points = 1;
    return 0.5f * (b - a) * (fb + fa);
  }
  const float count = static_cast<float>(points);
  const float del = (b - a) / count;
  float x = a + 0.5f * del;
  float sum = 0.0f;
  for (std::int32_t j = 0; j < points; ++j) {
    sum = sum + f(x);
    x = x + del;
  }
  points = 2 * points;
  return 0.5f * (s + (b - a) * sum / count);
}

inline constexpr float kRombergTolerance = 1.0e-6f;
inline constexpr std::int32_t kRombergLevels = 20;
inline constexpr std::int32_t kRombergOrder = 5;

// Integral of f from a to b: from level 5 on, the last five trapezoid sums
// are extrapolated to step zero; the result is returned once the last
// correction |dy| < 1e-6 |y|, else the extrapolation of level 20.
template <typename Integrand>
float RombergIntegrateWith(const Integrand& f, float a, float b) {
  std::array<float, kRombergLevels + 2> s{};
  std::array<float, kRombergLevels + 2> h{};
  std::int32_t points = 0;
  h[1] = 1.0f;
  float result = 0.0f;
  for (std::int32_t j = 1; j <= kRombergLevels; ++j) {
    s[j] = TrapezoidRefine(f, a, b, s[j], j, points);
    if (j >= kRombergOrder) {
      const std::int32_t first = j - kRombergOrder + 1;
      const NevilleResult r = NevilleExtrapolate(&h[first], &s[first], kRombergOrder, 0.0f);
      result = r.Y;
      if (std::fabs(r.Dy) < kRombergTolerance * std::fabs(r.Y)) return r.Y;
    }
    s[j + 1] = s[j];
    h[j + 1] = 0.25f * h[j];
  }
  return result;
}

}  // namespace qev
