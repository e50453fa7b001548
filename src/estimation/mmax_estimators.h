// Estimators of the regional maximum magnitude: Xmax plus the expected
// shortfall of the largest magnitude of SpanT years below Mmax.
#pragma once

#include <optional>

#include "estimation/math_functions.h"

namespace qev {

// Cramer's approximation through E1. No estimate (nullopt) when SpanT <= 0 or
// the result is not finite.
std::optional<float> MmaxCramer(const LawState& law, float xmax, float spanT);

// Bayesian form with SD(Beta) = 0.25 Beta, integrated by Romberg's method.
// No estimate (nullopt) when the result is not finite.
std::optional<float> MmaxBayes(const LawState& law, float xmax, float spanT);

}  // namespace qev
