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

TEST(MmaxCramer, WorkedExample) {
  const LawState law = MakeLaw(2.0f, 1.0f, 4.0f, 7.0f);
  const auto estimate = MmaxCramer(law, 6.5f, 100.0f);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_NEAR(*estimate, 7.172f, kThreeDecimals);
}

TEST(MmaxCramer, BothArgumentsCappedGiveNoShortfall) {
  // n = 50000 makes z2 about 124: D = 0, the estimate is Xmax + Mmin exp(-30).
  const LawState law = MakeLaw(2.0f, 500.0f, 4.0f, 7.0f);
  const auto estimate = MmaxCramer(law, 6.5f, 100.0f);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(*estimate, 6.5f + 4.0f * std::exp(-30.0f));
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

TEST(MmaxCramer, NoEstimateWithoutAPositiveTimeSpan) {
  const LawState law = MakeLaw(2.0f, 1.0f, 4.0f, 7.0f);
  EXPECT_FALSE(MmaxCramer(law, 6.5f, 0.0f).has_value());
  EXPECT_FALSE(MmaxCramer(law, 6.5f, -10.0f).has_value());
  // Mmax below Mmin makes the arguments of E1 negative: undefined, no estimate.
  EXPECT_FALSE(MmaxCramer(MakeLaw(2.0f, 1.0f, 4.0f, 3.5f), 6.5f, 100.0f).has_value());
}

TEST(MmaxBayes, WorkedExampleConvergesAtLevelSix) {
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
}

TEST(MmaxBayes, IntegrandIsClampedAwayFromZeroAndOne) {
  const LawState law = MakeLaw(2.0f, 0.02f, 4.0f, 7.0f);  // n = 2
  EXPECT_EQ(BayesCdfPower(law, 100.0f, 4.0f), std::pow(1.0e-6f, 2.0f));
  EXPECT_EQ(BayesCdfPower(law, 100.0f, 7.0f), std::pow(0.999999f, 2.0f));
  EXPECT_GT(BayesCdfPower(law, 100.0f, 4.0f), 0.0f);
  EXPECT_LT(BayesCdfPower(law, 100.0f, 7.0f), 1.0f);
}

TEST(MmaxBayes, NoEventsExpectedGivesTheWholeRange) {
  const LawState law = MakeLaw(2.0f, 1.0f, 4.0f, 7.0f);
  const auto estimate = MmaxBayes(law, 6.5f, 0.0f);
  ASSERT_TRUE(estimate.has_value());
  EXPECT_EQ(*estimate, 6.5f + 3.0f);
}

TEST(MmaxBayes, UndefinedIntegralGivesNoEstimate) {
  const LawState law = MakeLaw(0.0f, 1.0f, 4.0f, 7.0f);  // SD of Beta 0: the gamma law is undefined
  EXPECT_FALSE(MmaxBayes(law, 6.5f, 100.0f).has_value());
}

}  // namespace
}  // namespace qev
