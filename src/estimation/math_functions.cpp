#include "estimation/math_functions.h"

#include <cmath>

#include "estimation/engine_detail.h"
#include "estimation/romberg.h"

namespace qev {

LawState MakeLaw(float beta, float lambda, float mmin, float mmax) {
  LawState law;
  law.Beta = beta;
  law.Lambda = lambda;
  law.Mmin = mmin;
  law.Mmax = mmax;
  law.ExpMin = std::exp(-(beta * mmin));
  law.ExpMax = std::exp(-(mmax * beta));
  return law;
}

// Doubly truncated exponential law; the test m <= Mmin comes last and wins.
float MagnitudeCdf(const LawState& law, float m) {
  float f = (law.ExpMin - std::exp(-(law.Beta * m))) / (law.ExpMin - law.ExpMax);
  if (f > 1.0f) f = 1.0f;
  if (m <= law.Mmin) f = 0.0f;
  return f;
}

// Largest magnitude of a Poisson number of events with mean Lambda t, given
// at least one event. The cap of the mean at 50 applies to the probability
// of no event only.
float MaxMagnitudeCdf(const LawState& law, float m, float t) {
  const float s = (law.ExpMax - std::exp(-(law.Beta * m))) / (law.ExpMax - law.ExpMin);
  float n = law.Lambda * t;
  const float p = std::exp(-(n * s));
  if (n > 50.0f) n = 50.0f;
  const float e = std::exp(-n);
  float g = (p - e) / (1.0f - e);
  if (g > 1.0f) g = 1.0f;
  if (m <= law.Mmin) g = 0.0f;
  return g;
}

// Abramowitz & Stegun 5.1.56 (rational form) for x > 1 and 5.1.53
// (polynomial) for 0 < x <= 1; the argument is capped at 100.
float ExpIntegralE1(float& x) {
  if (x > 100.0f) x = 100.0f;
  if (x > 1.0f) {
    return ((x + 2.334733f) * x + 0.250621f) / ((x + 3.330657f) * x + 1.681534f) * std::exp(-x) / x;
  }
  return ((((0.00107857f * x - 0.00976004f) * x + 0.05519968f) * x - 0.24991055f) * x +
          0.99999193f) *
             x -
         std::log(x) - 0.57721566f;
}

double ExpIntegralE1Wide(double x) {
  if (x > 1.0) {
    return ((x + 2.334733f) * x + 0.250621f) / ((x + 3.330657f) * x + 1.681534f) * std::exp(-x) / x;
  }
  return ((((0.00107857f * x - 0.00976004f) * x + 0.05519968f) * x - 0.24991055f) * x +
          0.99999193f) *
             x -
         std::log(x) - 0.57721566f;
}

// Abramowitz & Stegun 7.1.25, odd extension to negative arguments; exactly
// +-1 beyond |x| = 5.
float ErrorFunction(float x) {
  const float sign = x < 0.0f ? -1.0f : 1.0f;
  const float u = std::fabs(x);
  if (u > 5.0f) return sign;
  const float t = 1.0f / (1.0f + 0.47047f * u);
  const float erf =
      1.0f - t * (0.3480242f + t * (-0.0958798f + t * 0.7478556f)) * std::exp(-(u * u));
  return sign * erf;
}

NevilleResult NevilleExtrapolate(const float* xa, const float* ya, std::int32_t n, float x) {
  // Indices from 1 as in the algorithm's usual statement; n is at most 10.
  float c[11];
  float d[11];
  std::int32_t ns = 1;
  float dif = std::fabs(x - xa[0]);
  for (std::int32_t i = 1; i <= n; ++i) {
    const float dift = std::fabs(x - xa[i - 1]);
    if (dift < dif) {
      ns = i;
      dif = dift;
    }
    c[i] = ya[i - 1];
    d[i] = ya[i - 1];
  }
  NevilleResult r;
  r.Y = ya[ns - 1];
  ns = ns - 1;
  for (std::int32_t m = 1; m <= n - 1; ++m) {
    for (std::int32_t i = 1; i <= n - m; ++i) {
      const float ho = xa[i - 1] - x;
      const float hp = xa[i + m - 1] - x;
      const float w = c[i + 1] - d[i];
      float den = ho - hp;
      if (den == 0.0f) return r;
      den = w / den;
      d[i] = hp * den;
      c[i] = ho * den;
    }
    if (2 * ns < n - m) {
      r.Dy = c[ns + 1];
    } else {
      r.Dy = d[ns];
      ns = ns - 1;
    }
    r.Y = r.Y + r.Dy;
  }
  return r;
}

float RombergIntegrate(const std::function<float(float)>& f, float a, float b) {
  return RombergIntegrateWith(f, a, b);
}

}  // namespace qev
