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

WorkedExample UncertaintyExample(DataKind kind) {
  WorkedExample example(kind);
  example.point.SpanT = 200.0f;
  example.point.Xmax = 6.0f;
  example.point.SigXmax = 0.2f;
  example.point.Beta = 2.0f;
  example.point.Lambda = 0.2f;
  return example;
}

UncertaintyResult Uncertainty(WorkedExample& example) {
  return ParameterUncertainty(example.decoded, example.point);
}

TEST(ObservedInformation, WorkedExamplePerPart) {
  WorkedExample example = UncertaintyExample(DataKind::ExtremesAndComplete);
  // The second differences for Lambda carry single-precision noise of the
  // order of 1; those for Beta agree to three significant digits.
  example.decoded.Extreme.On = false;
  EXPECT_NEAR(ObservedInformation(example.Data(), 2.0f, 0.2f, 0), 21.95f, 0.1f);
  EXPECT_NEAR(ObservedInformation(example.Data(), 2.0f, 0.2f, 1), 325.0f, 2.0f);
  example.decoded.Extreme.On = true;
  example.decoded.Parts[0].On = false;
  EXPECT_NEAR(ObservedInformation(example.Data(), 2.0f, 0.2f, 0), 20.20f, 0.05f);
  EXPECT_NEAR(ObservedInformation(example.Data(), 2.0f, 0.2f, 1), 50.0f, 1.0f);
  // No data at all: the prior's curvature for Beta, nothing for Lambda.
  example.decoded.Extreme.On = false;
  EXPECT_NEAR(ObservedInformation(example.Data(), 2.0f, 0.2f, 0), 1.0f / (0.2302585f * 0.2302585f),
              0.05f);
  EXPECT_EQ(ObservedInformation(example.Data(), 2.0f, 0.2f, 1), 0.0f);
}

TEST(ParameterUncertainty, WorkedExample) {
  WorkedExample example = UncertaintyExample(DataKind::ExtremesAndComplete);
  const UncertaintyResult r = Uncertainty(example);
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
  EXPECT_EQ(r.B, 0.43429f * 2.0f);
  // Every part is switched on again.
  EXPECT_TRUE(example.decoded.Parts[0].On);
  EXPECT_TRUE(example.decoded.Extreme.On);

  const LikelihoodData data = example.Data();
  const float cross =
      (LambdaScore(data, 1.01f * 2.0f, 0.2f) - LambdaScore(data, 0.99f * 2.0f, 0.2f)) /
      (2.0f * 0.01f * 2.0f);
  EXPECT_NEAR(cross, -1.18f, 0.01f);
}

TEST(ParameterUncertainty, OnlyExtremesMakeOneSlotWithAllTheInformation) {
  WorkedExample example = UncertaintyExample(DataKind::Extremes);
  const UncertaintyResult r = Uncertainty(example);
  ASSERT_EQ(r.Shares.size(), 1u);
  EXPECT_EQ(r.Shares[0].Beta, 100.0f);
  EXPECT_EQ(r.Shares[0].Lambda, 100.0f);
  EXPECT_TRUE(std::isfinite(r.SdBeta));
  EXPECT_TRUE(std::isfinite(r.SdLambda));
}

TEST(ParameterUncertainty, OnlyCompletePartsStillCountTheEmptyExtremeSlot) {
  WorkedExample example = UncertaintyExample(DataKind::Complete);
  const UncertaintyResult r = Uncertainty(example);
  const float prior = 1.0f / (0.2302585f * 0.2302585f);
  EXPECT_NEAR(r.Shares[1].Beta, prior * 100.0f / (prior + 21.95f), 0.5f);
  EXPECT_EQ(r.Shares[1].Lambda, 0.0f);
  EXPECT_EQ(r.Shares[0].Lambda, 100.0f);
}

TEST(ParameterUncertainty, SingularInformationGivesUndefinedDeviations) {
  // One slot without events: no information about Lambda and no cross term.
  WorkedExample example = UncertaintyExample(DataKind::Extremes);
  example.decoded.Extreme.Events.clear();
  example.decoded.Extreme.EventCount = 0.0f;
  const UncertaintyResult r = Uncertainty(example);
  EXPECT_TRUE(std::isnan(r.SdBeta));
  EXPECT_TRUE(std::isnan(r.SdLambda));
  EXPECT_TRUE(std::isnan(r.SdB));
  EXPECT_NEAR(r.SdMmax, 1.0198f, 5.0e-5f);
}

TEST(ParameterUncertainty, MmaxDeviationAndTransmissionEdges) {
  WorkedExample example = UncertaintyExample(DataKind::ExtremesAndComplete);
  example.point.SigXmax = 0.0f;
  EXPECT_EQ(Uncertainty(example).SdMmax, 1.0f);

  // z far above 100 is computed as z = 100 throughout.
  example.point.SpanT = 1.0e6f;
  const float capped = Uncertainty(example).TransmissionCoefficient;
  example.point.SpanT = 1.0e7f;
  EXPECT_EQ(Uncertainty(example).TransmissionCoefficient, capped);
  EXPECT_TRUE(std::isfinite(capped));
  EXPECT_GT(capped, 0.0f);
}

}  // namespace
}  // namespace qev
