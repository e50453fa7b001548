// Pieces of the estimation engine that the public headers do not show: the
// terms of the objective, the plain row-by-row objective, the Bayes integrand
// and the score of Lambda. Used inside the engine, by its tests and by the
// benchmark.
#pragma once

#include <cstdint>

#include "estimation/likelihood.h"
#include "estimation/math_functions.h"

namespace qev {

// Factor by which normal magnitude errors of SD sigma raise the rate of
// apparent magnitudes near m: exp(a^2) (1 + erf(z)) / 2 with
// a = Beta sigma / 1.4142, z = (Mmax - m) / (sigma 1.4142) + a. For sigma = 0
// it is the limit sigma -> 0: 1 below Mmax, 0.5 at Mmax, 0 above.
float ApparentFactor(const LawState& law, float m, float sigma);

// Log of the magnitude density above the threshold mc, the magnitude moved
// just inside (mc, Mmax) by 0.01.
float TruncatedLogDensity(const LawState& law, float m, float mc);

// Log-density of an extreme event of apparent magnitude x and SD sigma as the
// largest magnitude of t years, for the lower bound m0; 0 when x lies more
// than 0.02 below m0.
float ExtremeLogDensity(const LawState& law, float x, float m0, float t, float sigma);

// The objective evaluated term by term, one call of each term per row. The
// production objective must give bit-identical values.
float NegLogLikelihoodPlain(const LikelihoodData& data, float beta, float lambda);

// F(m)^n of the Bayesian magnitude law (SD of Beta = 0.25 Beta), n = SpanT Lambda.
float BayesCdfPower(const LawState& law, float spanT, float m);

// Derivative of the log-likelihood with respect to Lambda in closed form
// (approximate), at (beta, lambda).
float LambdaScore(const LikelihoodData& data, float beta, float lambda);

// Five-point second difference of the objective along one parameter
// (0 Beta, 1 Lambda) with the step 1 % of its value.
float ObservedInformation(const LikelihoodData& data, float beta, float lambda, int parameter);

// E1 by the same approximations as ExpIntegralE1, carried in double precision
// (x already capped). For products with exp(x) whose single-precision factors
// overflow or underflow.
double ExpIntegralE1Wide(double x);

}  // namespace qev
