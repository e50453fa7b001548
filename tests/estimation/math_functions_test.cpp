#include "estimation/math_functions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <initializer_list>

#include "estimation/romberg.h"

namespace qev {
namespace {

// The worked figures are quoted to five decimals.
constexpr float kFiveDecimals = 1.0e-5f;

LawState WorkedLaw() { return MakeLaw(2.0f, 0.2f, 4.0f, 7.0f); }

// A computed value, the value it must have, and the tolerance with its reason
// (0: exactly).
struct Figure {
  const char* what;
  float value;
  float expected;
  float tolerance;
};

void ExpectFigures(std::initializer_list<Figure> figures) {
  for (const Figure& f : figures) EXPECT_NEAR(f.value, f.expected, f.tolerance) << f.what;
}

// The worked figures, and the laws at and beyond the ends of their range:
// zero at or below Mmin, one above Mmax.
TEST(MagnitudeLaws, WorkedExampleValuesAndTheEndsOfTheRange) {
  const LawState law = WorkedLaw();
  ExpectFigures({
      {"F(5)", MagnitudeCdf(law, 5.0f), 0.86681f, kFiveDecimals},
      {"G(5, 50)", MaxMagnitudeCdf(law, 5.0f, 50.0f), 0.26395f, kFiveDecimals},
      {"G(6, 50)", MaxMagnitudeCdf(law, 6.0f, 50.0f), 0.85319f, kFiveDecimals},
      {"G(6, 1)", MaxMagnitudeCdf(law, 6.0f, 1.0f), 0.98251f, kFiveDecimals},
      {"F(Mmin)", MagnitudeCdf(law, 4.0f), 0.0f, 0.0f},
      {"F below Mmin", MagnitudeCdf(law, 3.0f), 0.0f, 0.0f},
      {"F(Mmax), a rounding from one", MagnitudeCdf(law, 7.0f), 1.0f, 1.0e-6f},
      {"F just above Mmax", MagnitudeCdf(law, 7.01f), 1.0f, 0.0f},
      {"F above Mmax", MagnitudeCdf(law, 9.0f), 1.0f, 0.0f},
      {"G(Mmin)", MaxMagnitudeCdf(law, 4.0f, 50.0f), 0.0f, 0.0f},
      {"G below Mmin", MaxMagnitudeCdf(law, 3.5f, 50.0f), 0.0f, 0.0f},
      {"G(Mmax)", MaxMagnitudeCdf(law, 7.0f, 50.0f), 1.0f, 0.0f},
      {"G above Mmax", MaxMagnitudeCdf(law, 8.0f, 50.0f), 1.0f, 0.0f},
  });
}

TEST(ErrorFunction, CutOffAtFiveAndOddExtension) {
  ExpectFigures({
      {"erf just above 5", ErrorFunction(5.0001f), 1.0f, 0.0f},
      {"erf just below -5", ErrorFunction(-5.0001f), -1.0f, 0.0f},
      {"erf(5), within a rounding of one", ErrorFunction(5.0f), 1.0f, 1.0e-6f},
      {"erf(0), within a rounding of zero", ErrorFunction(0.0f), 0.0f, 1.0e-6f},
      {"erf(0.5): Abramowitz & Stegun 7.1.25 is good to 2.5e-5", ErrorFunction(0.5f), 0.5204999f,
       2.5e-5f},
      {"odd", ErrorFunction(-0.5f), -ErrorFunction(0.5f), 0.0f},
  });
  EXPECT_LE(ErrorFunction(5.0f), 1.0f);
}

TEST(ExpIntegralE1, PolynomialUpToOneRationalAboveAndCapAtHundred) {
  const auto e1 = [](float x) { return ExpIntegralE1(x); };  // the argument is capped in place
  ExpectFigures({
      {"E1(1): 5.1.53 is good to 2e-7 absolute", e1(1.0f), 0.2193839f, 2.0e-6f},
      {"E1(1.0001): 5.1.56 is good to 5e-5 relative", e1(1.0001f), 0.2193443f, 1.0e-5f},
      {"E1(0.1)", e1(0.1f), 1.8229240f, 2.0e-6f},
      {"E1(150) is E1(100)", e1(150.0f), e1(100.0f), 0.0f},
  });
  float big = 150.0f;
  float unchanged = 50.0f;
  ExpIntegralE1(big);
  ExpIntegralE1(unchanged);
  EXPECT_EQ(big, 100.0f);
  EXPECT_EQ(unchanged, 50.0f);
}

// A constant is exact at level five (the first level allowed to stop); a zero
// integrand never passes the relative test and runs all twenty levels.
TEST(Romberg, ConstantIntegrandStopsAtLevelFiveAndZeroRunsAllTwentyLevels) {
  struct Case {
    float constant, from, to, integral;
    std::int32_t calls;
  };
  for (const Case& c :
       {Case{2.5f, 1.0f, 3.0f, 5.0f, 2 + 1 + 2 + 4 + 8}, Case{0.0f, 0.0f, 1.0f, 0.0f, 524289}}) {
    std::int32_t calls = 0;
    EXPECT_EQ(RombergIntegrate([&](float) { return ++calls, c.constant; }, c.from, c.to),
              c.integral);
    EXPECT_EQ(calls, c.calls);  // 524289 = 2^19 + 1
  }
}

TEST(Romberg, SmoothIntegrandsConvergeToTheirIntegral) {
  EXPECT_NEAR(RombergIntegrate([](float x) { return std::exp(x); }, 0.0f, 1.0f), 1.7182818f,
              1.0e-5f);
  EXPECT_NEAR(RombergIntegrate([](float x) { return x * x * x; }, -1.0f, 2.0f), 3.75f, 1.0e-5f);
}

}  // namespace
}  // namespace qev
