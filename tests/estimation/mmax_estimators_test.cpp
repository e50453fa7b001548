#include "estimation/mmax_estimators.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "estimation/engine_detail.h"
#include "estimation/math_functions.h"

namespace qev {
namespace {

// The worked estimates are quoted to three decimals.
constexpr float kThreeDecimals = 1.0e-3f;

TEST(MmaxCramer, WorkedExampleAndNoEstimateWithoutAPositiveTimeSpan) {
  const LawState law = MakeLaw(2.0f, 1.0f, 4.0f, 7.0f);
  const auto estimate = MmaxCramer(law, 6.5f, 100.0f);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_NEAR(*estimate, 7.172f, kThreeDecimals);
  // No estimate without a positive time span.
  EXPECT_FALSE(MmaxCramer(law, 6.5f, 0.0f).has_value());
  EXPECT_FALSE(MmaxCramer(law, 6.5f, -10.0f).has_value());
  // Mmax below Mmin makes the arguments of E1 negative: undefined, no estimate.
  EXPECT_FALSE(MmaxCramer(MakeLaw(2.0f, 1.0f, 4.0f, 3.5f), 6.5f, 100.0f).has_value());
}

TEST(MmaxCramer, LargeButUncappedArgumentStaysFinite) {
  // n = 38000: z2 about 94, where exp(z2) overflows single precision; the
  // shortfall is then about 1 / (Beta z2).
  const LawState law = MakeLaw(2.0f, 380.0f, 4.0f, 7.0f);
  const float z2 = 38000.0f * law.ExpMax / (law.ExpMin - law.ExpMax);
  ASSERT_GT(z2, 89.0f);
  ASSERT_LT(z2, 100.0f);
  const auto estimate = MmaxCramer(law, 6.5f, 100.0f);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_NEAR(*estimate - 6.5f, 1.0f / (2.0f * z2), 0.05f / (2.0f * z2));
}

TEST(MmaxBayes, WorkedExampleConvergesAtLevelSixAndBetaZeroGivesNoEstimate) {
  const LawState law = MakeLaw(2.0f, 1.0f, 4.0f, 7.0f);
  const auto estimate = MmaxBayes(law, 6.5f, 100.0f);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_NEAR(*estimate, 7.038f, kThreeDecimals);

  std::int32_t calls = 0;
  const float integral = RombergIntegrate(
      [&](float m) {
        ++calls;
        return BayesCdfPower(law, 100.0f, m);
      },
      4.0f, 7.0f);
  EXPECT_NEAR(integral, 0.538f, kThreeDecimals);
  EXPECT_EQ(calls, 2 + 1 + 2 + 4 + 8 + 16);
  EXPECT_EQ(*estimate, 6.5f + integral);  // the hoisted integrand changes no bit
  // SD of Beta 0: the gamma law is undefined, and so is the estimate.
  EXPECT_FALSE(MmaxBayes(MakeLaw(0.0f, 1.0f, 4.0f, 7.0f), 6.5f, 100.0f).has_value());
}

}  // namespace
}  // namespace qev
