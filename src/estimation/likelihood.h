// The negative log-likelihood of the whole catalog with the prior penalty on
// Beta, and the downhill-simplex minimiser over (Beta, Lambda).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

#include "estimation/decoded_catalog.h"

namespace qev {

// The apparent factors of the distinct (magnitude, SD) pairs of one
// evaluation of the objective, in slots kept from one evaluation to the next
// (a slot belongs to the evaluation whose stamp it bears). A run owns one and
// hands it to its evaluations through LikelihoodData; one evaluation at a
// time uses it. Only the stamps start cleared: a slot's key and values are
// read only once this evaluation has written them, so a new table (Make)
// clears 8 of its 40 KB.
struct FactorTable {
  static constexpr int kBits = 11;
  static constexpr std::uint32_t kSize = 1u << kBits;
  struct Entry {
    float Factor;
    float Expo;  // exp(-(Beta m))
  };
  std::array<std::uint64_t, kSize> keys;
  std::array<Entry, kSize> values;
  std::array<std::uint32_t, kSize> stamps{};  // the evaluation each slot belongs to
  std::uint32_t stamp = 0;                    // the evaluation under way

  static std::unique_ptr<FactorTable> Make() {
    return std::make_unique_for_overwrite<FactorTable>();
  }
};

// What the objective reads besides the trial point: the decoded catalog (its
// parts switched in or out by their On flags), Mmin, Mmax and the prior on
// Beta. The data kind of the catalog chooses the terms: the complete parts
// unless it is Extremes, the extreme part unless it is Complete.
struct LikelihoodData {
  const DecodedCatalog* catalog = nullptr;
  float Mmin = 0.0f;
  float Mmax = 0.0f;
  float PriorBeta = 0.0f;
  float PriorBetaSD = 0.0f;
  // The run's table of apparent factors; none: each evaluation fills a table
  // of its own (the same values, more time on a small catalog).
  FactorTable* factors = nullptr;
};

// The objective at the trial point (beta, lambda). A trial point with
// beta <= 0 or lambda <= 0 (or undefined) throws TrialPointNotPositive.
float NegLogLikelihood(const LikelihoodData& data, float beta, float lambda);

// Three vertices (Beta, Lambda) with their objective values; vertex 0 holds
// the estimate after a minimisation.
struct Simplex {
  std::array<std::array<float, 2>, 3> Vertex{};
  std::array<float, 3> Value{};
};

// Vertices (b0, l0), (1.05 b0, l0), (b0, 1.05 l0) and their objective values.
Simplex BuildStartingSimplex(const LikelihoodData& data, float beta0, float lambda0);

struct SimplexOutcome {
  std::int32_t Iterations = 0;
  bool Converged = false;  // false: the iteration limit ended the search
};

// Nelder-Mead search; finishes when max_i |Beta(1) - Beta(i)| < tolerance,
// when the three vertices are one point (no step can move them again), after
// 1000 steps in a row that did not lower the best value (the simplex circles
// at the resolution of single precision: a tolerance of 0 or NaN is never
// met), or after `limit` steps, and leaves the centroid of the last simplex in
// vertex 0. Converged is set by the first two. Throws Cancelled when `cancel`
// is raised (polled before every step).
SimplexOutcome SimplexMinimize(Simplex& simplex, const LikelihoodData& data, float tolerance,
                               std::int32_t limit, const std::atomic<bool>* cancel = nullptr);

}  // namespace qev
