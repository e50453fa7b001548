// Special functions of the magnitude model: the doubly truncated
// Gutenberg-Richter distribution, the distribution of the largest magnitude in
// a time span, the exponential integral E1, the error function and Romberg
// integration. All single precision.
#pragma once

#include <functional>

namespace qev {

// The law's parameters for one evaluation. ExpMin and ExpMax always belong to
// Beta, Mmin and Mmax: build it with MakeLaw, never by hand.
struct LawState {
  float Beta = 0.0f;
  float Lambda = 0.0f;
  float Mmin = 0.0f;
  float Mmax = 0.0f;
  float ExpMin = 0.0f;  // exp(-(Beta * Mmin))
  float ExpMax = 0.0f;  // exp(-(Mmax * Beta))
};

LawState MakeLaw(float beta, float lambda, float mmin, float mmax);

// F(m): distribution of magnitudes between Mmin and Mmax (0 at or below Mmin,
// 1 above Mmax).
float MagnitudeCdf(const LawState& law, float m);

// G(m, t): probability that the largest magnitude within t years does not
// exceed m, given at least one event.
float MaxMagnitudeCdf(const LawState& law, float m, float t);

// E1(x); an argument above 100 is capped and the cap written back to x.
float ExpIntegralE1(float& x);

// x squared as one rounded product. An optimised build turns pow(x, 2) into
// this product while an unoptimised one calls the library's pow, which is
// not always correctly rounded; squaring by hand gives the same bits in both.
inline float Square(float x) { return x * x; }

// erf(x), exactly +-1 beyond |x| = 5.
float ErrorFunction(float x);

// Integral of f from a to b by Romberg's method (tolerance 1e-6, at most 20
// levels, extrapolation over 5 levels).
float RombergIntegrate(const std::function<float(float)>& f, float a, float b);

}  // namespace qev
