#include "estimation/uncertainty.h"

#include <gtest/gtest.h>

#include <cmath>

#include "estimation/engine_detail.h"
#include "worked_catalog.h"

namespace qev {
namespace {

using testing::WorkedExample;

// Printed percentages carry one decimal.
constexpr float kOneDecimal = 0.05f;

TEST(ParameterUncertainty, WorkedExample) {
  WorkedExample example(DataKind::ExtremesAndComplete);
  const UncertaintyResult r = ParameterUncertainty(example.decoded, example.point);
  struct Figure {
    const char* what;
    float value, expected, tolerance;
  };
  const Figure figures[] = {
      {"extreme share of Beta", r.Shares[0].Beta, 52.1f, kOneDecimal},
      {"complete share of Beta", r.Shares[1].Beta, 47.9f, kOneDecimal},
      {"extreme share of Lambda", r.Shares[0].Lambda, 86.7f, kOneDecimal},
      {"complete share of Lambda", r.Shares[1].Lambda, 13.3f, kOneDecimal},
      {"SD of Beta, quoted to three decimals", r.SdBeta, 0.154f, 5.0e-4f},
      // 0.0516 from the double-precision information; single precision moves the
      // Lambda information by about 1 and SdLambda to 0.0517 (printed .05 either way).
      {"SD of Lambda", r.SdLambda, 0.0516f, 2.0e-4f},
      {"SD of b, quoted to four decimals", r.SdB, 0.0669f, 5.0e-5f},
      {"transmission coefficient, quoted to two decimals", r.TransmissionCoefficient, 4.93f,
       5.0e-3f},
      {"SD of Mmax, quoted to four decimals", r.SdMmax, 1.0198f, 5.0e-5f},
  };
  for (const Figure& f : figures) EXPECT_NEAR(f.value, f.expected, f.tolerance) << f.what;
  // Every part is switched on again.
  EXPECT_TRUE(example.decoded.Parts[0].On);
  EXPECT_TRUE(example.decoded.Extreme.On);
}

TEST(ParameterUncertainty, SingularInformationGivesUndefinedDeviations) {
  // One slot without events: no information about Lambda and no cross term.
  WorkedExample example(DataKind::Extremes);
  example.decoded.Extreme.Events.clear();
  example.decoded.Extreme.EventCount = 0.0f;
  const UncertaintyResult r = ParameterUncertainty(example.decoded, example.point);
  EXPECT_TRUE(std::isnan(r.SdBeta));
  EXPECT_TRUE(std::isnan(r.SdLambda));
  EXPECT_TRUE(std::isnan(r.SdB));
  EXPECT_NEAR(r.SdMmax, 1.0198f, 5.0e-5f);
}

}  // namespace
}  // namespace qev
