#include <gtest/gtest.h>

#include "catalog/scaled.h"
#include "qev/catalog.h"

namespace qev {
namespace {

// The figures are exact single-precision values, so they compare exactly.
TEST(DecimalYear, MonthsAreTwelfthsAndDaysAreQuarterDayYears) {
  EXPECT_EQ(DecimalYear(2000, 3, 1), 1999.16943359375f);
  EXPECT_EQ(DecimalYear(1900, 12, 31), 1900.0015869140625f);
  EXPECT_EQ(DecimalYear(1901, 1, 1), 1900.002685546875f);
}

TEST(DecimalYear, YearsBeforeTheCommonEraSkipYearZero) {
  EXPECT_EQ(DecimalYear(-500, 1, 1), -499.99725341796875f);
  EXPECT_EQ(DecimalYear(0, 1, 1), DecimalYear(-1, 1, 1));
  EXPECT_EQ(DecimalYear(-1, 1, 1), DecimalYear(1, 1, 1) - 1.0f);
}

TEST(ScaledTruncation, FormsTheProductInDoubleAndTruncates) {
  EXPECT_EQ(ScaledTruncation(4.1f, 100.0), 409);
  EXPECT_EQ(ScaledTruncation(4.3f, 100.0), 430);
  EXPECT_EQ(ScaledTruncation(0.35f, 100.0), 34);
  EXPECT_EQ(ScaledTruncation(0.01f, 100.0), 0);
  EXPECT_EQ(ScaledTruncation(-4.1f, 100.0), -409);
  EXPECT_TRUE(ScaledFits(1.0e7f, 100.0));
  EXPECT_FALSE(ScaledFits(1.0e8f, 100.0));
}

// The two largest values, the second equal to the first when it occurs twice;
// 0 where there is none, never a value the catalog does not hold otherwise.
TEST(ObservedMaxima, AreTheTwoLargestValuesEvenWhenAllAreNegative) {
  const struct {
    std::vector<float> magnitudes;
    float largest, second;
  } cases[] = {{{}, 0.0f, 0.0f},
               {{5.0f}, 5.0f, 0.0f},
               {{5.0f, 6.0f}, 6.0f, 5.0f},
               {{6.0f, 6.0f}, 6.0f, 6.0f},
               {{-1.5f, -0.5f, -2.0f}, -0.5f, -1.5f},
               {{-1.0f, 5.0f}, 5.0f, -1.0f}};
  for (const auto& c : cases) {
    Catalog catalog;
    catalog.complete.push_back({1900.0f, 2000.0f, -3.0f, 0.1f, {}});
    for (const float m : c.magnitudes) catalog.complete[0].rows.push_back({m, 0.1f, 1});
    const ObservedMaxima maxima = ObservedMaximaOf(catalog);
    EXPECT_EQ(maxima.largest, c.largest) << c.magnitudes.size();
    EXPECT_EQ(maxima.second, c.second) << c.magnitudes.size();
  }
}

}  // namespace
}  // namespace qev
