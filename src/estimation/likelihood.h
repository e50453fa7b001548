// The negative log-likelihood of the whole catalog with the prior penalty on
// Beta, and the downhill-simplex minimiser over (Beta, Lambda).
#pragma once

#include <cstdint>

#include "catalog/catalog.h"
#include "model/records.h"

namespace qev {

// What the objective reads besides the trial point. The catalog is read only,
// except that the integer part of each EventCount switches a part in or out.
struct LikelihoodData {
  const Catalog* catalog = nullptr;
  std::int32_t DataKind = 0;
  float Mmin = 0.0f;
  float Mmax = 0.0f;
  float PriorBeta = 0.0f;
  float PriorBetaSD = 0.0f;
};

LikelihoodData MakeLikelihoodData(const Catalog& catalog, const SessionSettings& settings,
                                  const ModelParameters& model);

// The objective at the trial point (beta, lambda). A trial point with
// beta <= 0 or lambda <= 0 (or undefined) throws TrialPointNotPositive.
float NegLogLikelihood(const LikelihoodData& data, float beta, float lambda);

// Vertices (b0, l0), (1.05 b0, l0), (b0, 1.05 l0) and their objective values.
Simplex BuildStartingSimplex(const LikelihoodData& data, float beta0, float lambda0);

struct SimplexOutcome {
  std::int32_t Iterations = 0;
  bool Converged = false;  // false: the iteration limit ended the search
};

// Nelder-Mead search; finishes when max_i |Beta(1) - Beta(i)| < tolerance or
// after `limit` steps, and leaves the centroid of the last simplex in vertex 0.
SimplexOutcome SimplexMinimize(Simplex& simplex, const LikelihoodData& data, float tolerance,
                               std::int32_t limit);

}  // namespace qev
