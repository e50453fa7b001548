#include "estimation/uncertainty.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "estimation/engine_detail.h"
#include "estimation/likelihood.h"
#include "estimation/math_functions.h"

namespace qev {

namespace {

constexpr float kRelativeStep = 0.01f;
constexpr float kLog10E = 0.43429f;

// The On flag of slot s: complete parts first, the extreme part last.
bool& SlotOn(DecodedCatalog& catalog, std::size_t slot) {
  if (slot < catalog.Parts.size()) return catalog.Parts[slot].On;
  return catalog.Extreme.On;
}

// z e^z E1(z) for the transmission coefficient. Past z of about 88 the
// single-precision e^z overflows while E1(z) underflows; the product is then
// formed in double from the same approximation.
float ScaledExpIntegral(float& z) {
  const float e = ExpIntegralE1(z);  // caps z at 100
  const float grow = std::exp(z);
  if (std::isfinite(grow) && e >= FLT_MIN) return z * grow * e;
  const double wide = static_cast<double>(z);
  return static_cast<float>(wide * std::exp(wide) * ExpIntegralE1Wide(wide));
}

}  // namespace

float ObservedInformation(const LikelihoodData& data, float beta, float lambda, int parameter) {
  const float value = parameter == 0 ? beta : lambda;
  const float d = kRelativeStep * value;
  const float x0 = value - 2.0f * d;
  float v[5];
  for (int i = 0; i < 5; ++i) {
    const float x = x0 + static_cast<float>(i) * d;
    v[i] = parameter == 0 ? NegLogLikelihood(data, x, lambda) : NegLogLikelihood(data, beta, x);
  }
  return (16.0f * (v[1] + v[3]) - v[0] - v[4] - 30.0f * v[2]) / (12.0f * (d * d));
}

float LambdaScore(const LikelihoodData& data, float beta, float lambda) {
  const LawState law = MakeLaw(beta, lambda, data.Mmin, data.Mmax);
  const DecodedCatalog& catalog = *data.catalog;
  float score = 0.0f;
  if (UsesParts(catalog.Kind)) {
    for (const DecodedPart& part : catalog.Parts) {
      const float k = std::trunc(part.EventCount);
      score = score + (k / lambda - (1.0f - MagnitudeCdf(law, part.Threshold)) *
                                        std::exp(beta * beta * (part.Sd * part.Sd) / 2.0f) *
                                        (part.End - part.Start));
    }
  }
  if (UsesExtremes(catalog.Kind)) {
    const DecodedExtreme& extreme = catalog.Extreme;
    const float ms = extreme.Smallest;
    const float s0 = 1.0f - MagnitudeCdf(law, ms);
    const float e0 = std::exp(-(beta * ms));
    for (const DecodedEvent& event : extreme.Events) {
      const float x = event.Magnitude;
      const float sigma = event.Sd;
      const float t = event.Interval;
      score = score + -std::exp(beta * beta * (sigma * sigma) / 2.0f) *
                          (law.ExpMax - std::exp(-(beta * x))) / (law.ExpMax - e0) * t * s0;
    }
    score = score + extreme.EventCount / lambda;
  }
  return score;
}

LikelihoodData LikelihoodDataAt(const DecodedCatalog& catalog, const UncertaintyPoint& point) {
  LikelihoodData data;
  data.catalog = &catalog;
  data.Mmin = point.Mmin;
  data.Mmax = point.Mmax;
  data.PriorBeta = point.PriorBeta;
  data.PriorBetaSD = point.PriorBetaSD;
  return data;
}

UncertaintyResult ParameterUncertainty(DecodedCatalog& catalog, const UncertaintyPoint& point) {
  const std::size_t slots = catalog.Parts.size() + 1;
  const auto factors = FactorTable::Make();
  LikelihoodData data = LikelihoodDataAt(catalog, point);
  data.factors = factors.get();
  const float beta = point.Beta;
  const float lambda = point.Lambda;
  const float h = kRelativeStep;

  // Every slot switched off, then each switched on alone for its share.
  for (std::size_t s = 0; s < slots; ++s) SlotOn(catalog, s) = false;
  // The prior alone: its curvature is in every slot's information.
  const float prior = ObservedInformation(data, beta, lambda, 0);
  std::vector<std::array<float, 2>> info(slots);
  float totalBeta = 0.0f;
  float totalLambda = 0.0f;
  for (std::size_t s = 0; s < slots; ++s) {
    SlotOn(catalog, s) = true;
    info[s][0] = ObservedInformation(data, beta, lambda, 0);
    totalBeta = totalBeta + info[s][0];
    info[s][1] = ObservedInformation(data, beta, lambda, 1);
    totalLambda = totalLambda + info[s][1];
    SlotOn(catalog, s) = false;
  }
  UncertaintyResult result;
  const double parts = static_cast<double>(totalBeta) - static_cast<double>(slots) * prior;
  result.DataShareBeta = parts > 0.0 && prior >= 0.0
                             ? static_cast<float>(100.0 * parts / (parts + prior))
                             : std::numeric_limits<float>::quiet_NaN();
  result.Shares.resize(slots);
  for (std::size_t s = 0; s < slots; ++s) {
    SlotOn(catalog, s) = true;
    result.Shares[s].Beta = info[s][0] * 100.0f / totalBeta;
    result.Shares[s].Lambda = info[s][1] * 100.0f / totalLambda;
  }

  // Cross term from the score of Lambda, all parts included again.
  const float g1 = LambdaScore(data, (1.0f - h) * beta, lambda);
  const float g2 = LambdaScore(data, (1.0f + h) * beta, lambda);
  const float cross = (g2 - g1) / (2.0f * h * beta);
  const float det = totalBeta * totalLambda - cross * cross;
  if (det == 0.0f) {
    // The information matrix is singular: the deviations are undefined.
    result.SdBeta = std::numeric_limits<float>::quiet_NaN();
    result.SdLambda = std::numeric_limits<float>::quiet_NaN();
  } else {
    result.SdBeta = std::sqrt(std::fabs(totalLambda / det));
    result.SdLambda = std::sqrt(std::fabs(totalBeta / det));
  }
  result.B = kLog10E * beta;
  result.SdB = kLog10E * result.SdBeta;

  const LawState law = MakeLaw(beta, lambda, point.Mmin, point.Mmax);
  float z = lambda * law.ExpMax / (law.ExpMin - law.ExpMax) * point.SpanT;
  const float scaled = ScaledExpIntegral(z);
  result.TransmissionCoefficient =
      std::fabs(1.0f / (1.0f + (scaled - 1.0f) * (law.ExpMin - 2.0f * law.ExpMax) /
                                   (law.ExpMin - law.ExpMax)));
  result.SdMmax = std::sqrt(Square(point.Mmax - point.Xmax) + Square(point.SigXmax));
  return result;
}

}  // namespace qev
