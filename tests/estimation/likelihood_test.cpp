#include "estimation/likelihood.h"

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "estimation/engine_detail.h"
#include "estimation/uncertainty.h"
#include "qev/errors.h"
#include "worked_catalog.h"

namespace qev {
namespace {

using testing::Draws;
using testing::WorkedExample;

// The worked values agree with a single-precision evaluation to about four
// significant digits.
constexpr float kFourDigits = 2.0e-3f;

TEST(NegLogLikelihood, WorkedExampleForEachDataKind) {
  for (const auto& [kind, value] :
       {std::pair{DataKind::Complete, -10.873f}, std::pair{DataKind::ExtremesAndComplete, -9.043f},
        std::pair{DataKind::Extremes, 2.693f}}) {
    EXPECT_NEAR(NegLogLikelihood(WorkedExample(kind).Data(), 2.0f, 0.2f), value, kFourDigits);
  }
}

TEST(LikelihoodTerms, ZeroSdTakesTheLimitOfVanishingErrorsAndEventsAtMminAreMovedInside) {
  const LawState law = MakeLaw(2.0f, 0.2f, 4.0f, 7.0f);
  EXPECT_EQ(ApparentFactor(law, 5.0f, 0.0f), 1.0f);
  EXPECT_EQ(ApparentFactor(law, 7.0f, 0.0f), 0.5f);
  EXPECT_EQ(ApparentFactor(law, 7.2f, 0.0f), 0.0f);
  // exp(Beta^2 sigma^2 / 2) far below Mmax.
  EXPECT_NEAR(ApparentFactor(law, 5.0f, 0.2f), std::exp(0.08f), 5.0e-6f);

  // Extreme events at or just below Mmin are moved inside, farther ones left out.
  const float inside = ExtremeLogDensity(law, 4.0f + 0.01f, 4.0f, 30.0f, 0.2f);
  EXPECT_EQ(ExtremeLogDensity(law, 4.0f, 4.0f, 30.0f, 0.2f), inside);
  EXPECT_EQ(ExtremeLogDensity(law, 3.99f, 4.0f, 30.0f, 0.2f), inside);
  EXPECT_EQ(ExtremeLogDensity(law, 3.97f, 4.0f, 30.0f, 0.2f), 0.0f);
}

TEST(SimplexMinimize, IterationLimitEndsWithTheCentroidWithoutConvergence) {
  const WorkedExample example(DataKind::ExtremesAndComplete);
  // Limit 0: the centroid of the starting simplex, whatever the spread.
  Simplex start = BuildStartingSimplex(example.Data(), 2.0f, 0.2f);
  Simplex simplex = start;
  SimplexOutcome outcome = SimplexMinimize(simplex, example.Data(), 0.002f, 0);
  EXPECT_EQ(outcome.Iterations, 0);
  EXPECT_FALSE(outcome.Converged);
  EXPECT_EQ(simplex.Vertex[0][0],
            (start.Vertex[0][0] + start.Vertex[1][0] + start.Vertex[2][0]) / 3.0f);
  EXPECT_EQ(simplex.Value, start.Value);

  // A tolerance that no spread can pass runs to the limit of 99 steps.
  simplex = start;
  outcome = SimplexMinimize(simplex, example.Data(), 0.0f, 99);
  EXPECT_EQ(outcome.Iterations, 99);
  EXPECT_FALSE(outcome.Converged);
  EXPECT_TRUE(std::isfinite(simplex.Vertex[0][0]));

  // A tolerance that is not a number passes no comparison: the limit ends
  // the search (the same steps as a tolerance of 0), and with a limit of
  // 2^31 - 1 the search ends where 1000 steps no longer lower the best value.
  Simplex nan = start;
  outcome = SimplexMinimize(nan, example.Data(), std::nanf(""), 99);
  EXPECT_EQ(outcome.Iterations, 99);
  EXPECT_EQ(nan.Vertex, simplex.Vertex);
  nan = start;
  outcome = SimplexMinimize(nan, example.Data(), std::nanf(""), 2147483647);
  EXPECT_FALSE(outcome.Converged);
  EXPECT_LT(outcome.Iterations, 100000);
  EXPECT_GT(outcome.Iterations, 1000);
  // It ends at the minimum the converged search finds.
  Simplex converged = start;
  SimplexMinimize(converged, example.Data(), 0.002f, 99);
  EXPECT_NEAR(nan.Vertex[0][0], converged.Vertex[0][0], 0.002f);
  EXPECT_NEAR(nan.Vertex[0][1], converged.Vertex[0][1], 0.01f * converged.Vertex[0][1]);

  // A raised cancellation flag ends the search before its next step.
  std::atomic<bool> cancel{true};
  simplex = start;
  EXPECT_THROW(SimplexMinimize(simplex, example.Data(), 0.002f, 99, &cancel), Cancelled);
}

// Random catalogs, with magnitudes on a coarse grid and on any hundredth, SDs
// including 0, rows below the thresholds and parts switched off.
DecodedCatalog RandomCatalog(Draws& draws, bool coarse) {
  DecodedCatalog catalog;
  catalog.Kind = static_cast<DataKind>(1 + draws.Below(3));
  const std::uint32_t parts = 1 + draws.Below(5);
  for (std::uint32_t p = 0; p < parts; ++p) {
    DecodedPart part;
    part.Start = 1800.0f + static_cast<float>(draws.Below(150));
    part.End = part.Start + 1.0f + static_cast<float>(draws.Below(100));
    part.Threshold = 4.0f + 0.1f * static_cast<float>(draws.Below(15));
    part.On = draws.Below(6) != 0;
    const std::uint32_t rows = draws.Below(1500) + 1;
    for (std::uint32_t j = 0; j < rows; ++j) {
      const std::int32_t magnitude = coarse ? 380 + 10 * static_cast<std::int32_t>(draws.Below(35))
                                            : 380 + static_cast<std::int32_t>(draws.Below(350));
      const std::int32_t sd = coarse ? 5 * static_cast<std::int32_t>(draws.Below(7))
                                     : static_cast<std::int32_t>(draws.Below(50));
      const float frequency = static_cast<float>(1 + draws.Below(5));
      part.Rows.push_back({FromHundredths(magnitude), FromHundredths(sd), frequency});
      part.EventCount = part.EventCount + frequency;
    }
    catalog.Parts.push_back(part);
  }
  const std::uint32_t events = draws.Below(501);
  catalog.Extreme.EventCount = static_cast<float>(events);
  catalog.Extreme.Smallest = 4.0f;
  for (std::uint32_t k = 0; k < events; ++k) {
    catalog.Extreme.Events.push_back(
        {FromHundredths(390 + static_cast<std::int32_t>(draws.Below(320))),
         FromHundredths(static_cast<std::int32_t>(draws.Below(40))),
         FromThousandths(1000 + static_cast<std::int32_t>(draws.Below(80000)))});
  }
  return catalog;
}

// With a table of its own and with one table shared by all 200 evaluations
// (other catalogs, other laws: a slot of an earlier evaluation must not
// serve), its stamps running over their end on the way. A new table's keys
// and values are whatever its memory held: poisoned here, they must never
// be read.
TEST(NegLogLikelihood, CachedEvaluationIsBitIdenticalToThePlainLoop) {
  Draws draws(20240607u);
  const auto shared = FactorTable::Make();
  for (std::uint32_t slot = 0; slot < FactorTable::kSize; ++slot) {
    const auto magnitude = static_cast<std::int32_t>(400 + slot % 300);
    shared->keys[slot] = (std::uint64_t{std::bit_cast<std::uint32_t>(FromHundredths(10))} << 32) |
                         std::bit_cast<std::uint32_t>(FromHundredths(magnitude));
    shared->values[slot] = {std::nanf(""), std::nanf("")};
  }
  shared->stamp = std::numeric_limits<std::uint32_t>::max() - 100;
  for (int trial = 0; trial < 40; ++trial) {
    const DecodedCatalog catalog = RandomCatalog(draws, trial % 2 == 0);
    LikelihoodData data;
    data.catalog = &catalog;
    data.Mmin = 4.0f;
    data.Mmax = 7.0f + 0.1f * static_cast<float>(draws.Below(10));
    data.PriorBeta = 2.302585f;
    data.PriorBetaSD = 0.5f;
    for (int point = 0; point < 5; ++point) {
      const float beta = 0.5f + 3.0f * static_cast<float>(draws.Uniform());
      const float lambda = 0.01f + 20.0f * static_cast<float>(draws.Uniform());
      const float plain = NegLogLikelihoodPlain(data, beta, lambda);
      for (FactorTable* factors : {static_cast<FactorTable*>(nullptr), shared.get()}) {
        data.factors = factors;
        const float cached = NegLogLikelihood(data, beta, lambda);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(plain), std::bit_cast<std::uint32_t>(cached))
            << "trial " << trial << " beta " << beta << " lambda " << lambda << ": " << plain
            << " vs " << cached << (factors != nullptr ? " (shared table)" : "");
      }
    }
  }
}

}  // namespace
}  // namespace qev
