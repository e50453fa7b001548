#include "estimation/uncertainty.h"

#include <cfloat>
#include <cmath>
#include <limits>

#include "estimation/engine_detail.h"
#include "estimation/likelihood.h"
#include "estimation/math_functions.h"

namespace qev {

namespace {

constexpr float kRelativeStep = 0.01f;
constexpr float kLog10E = 0.43429f;

std::int32_t LoopCount(float value, std::int32_t capacity) {
  if (!(value >= 1.0f)) return 0;
  if (value >= static_cast<float>(capacity)) return capacity;
  return static_cast<std::int32_t>(value);
}

// The EventCount of slot s: complete parts first, the extreme part last.
float& SlotCount(Catalog& catalog, std::int32_t slot) {
  if (slot < catalog.PartCount) return catalog.Parts[slot].EventCount;
  return catalog.Extreme.EventCount;
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
  const Catalog& catalog = *data.catalog;
  float score = 0.0f;
  if (data.DataKind != 1) {
    const std::int32_t parts =
        catalog.PartCount < 0 ? 0 : (catalog.PartCount > ncpx ? ncpx : catalog.PartCount);
    for (std::int32_t p = 0; p < parts; ++p) {
      const CompletePart& part = catalog.Parts[p];
      const float k = std::trunc(part.EventCount);
      score = score + (k / lambda - (1.0f - MagnitudeCdf(law, part.Threshold)) *
                                        std::exp(beta * beta * (part.Sd * part.Sd) / 2.0f) *
                                        (part.End - part.Start));
    }
  }
  if (data.DataKind != 2) {
    const ExtremeCatalog& extreme = catalog.Extreme;
    const float ms = extreme.SmallestMagnitude;
    const float s0 = 1.0f - MagnitudeCdf(law, ms);
    const float e0 = std::exp(-(beta * ms));
    const std::int32_t events = LoopCount(extreme.EventCount, nex);
    for (std::int32_t k = 0; k < events; ++k) {
      const Event& event = extreme.Events[k];
      const float x = static_cast<float>(event.MagHundredths) * 0.01f;
      const float sigma = static_cast<float>(event.SdHundredths) * 0.01f;
      const float t = static_cast<float>(event.IntervalThousandths) * 0.001f;
      score = score + -std::exp(beta * beta * (sigma * sigma) / 2.0f) *
                          (law.ExpMax - std::exp(-(beta * x))) / (law.ExpMax - e0) * t * s0;
    }
    score = score + extreme.EventCount / lambda;
  }
  return score;
}

UncertaintyResult ParameterUncertainty(Catalog& catalog, const SessionSettings& settings,
                                       const ModelParameters& model) {
  if (settings.DataKind == 1) catalog.PartCount = 0;
  if (catalog.PartCount < 0) catalog.PartCount = 0;
  if (catalog.PartCount > ncpx) catalog.PartCount = ncpx;
  const std::int32_t slots = catalog.PartCount + 1;
  const LikelihoodData data = MakeLikelihoodData(catalog, settings, model);
  const float beta = model.Beta;
  const float lambda = model.Lambda;
  const float h = kRelativeStep;

  // Every slot switched off, then each switched on alone for its share.
  std::array<float, ncpx + 1> kept{};
  for (std::int32_t s = 0; s < slots; ++s) {
    kept[s] = std::trunc(SlotCount(catalog, s));
    SlotCount(catalog, s) = 0.0f;
  }
  std::array<std::array<float, 2>, ncpx + 1> info{};
  float totalBeta = 0.0f;
  float totalLambda = 0.0f;
  for (std::int32_t s = 0; s < slots; ++s) {
    SlotCount(catalog, s) = kept[s];
    info[s][0] = ObservedInformation(data, beta, lambda, 0);
    totalBeta = totalBeta + info[s][0];
    info[s][1] = ObservedInformation(data, beta, lambda, 1);
    totalLambda = totalLambda + info[s][1];
    SlotCount(catalog, s) = 0.0f;
  }
  UncertaintyResult result;
  for (std::int32_t s = 0; s < slots; ++s) {
    SlotCount(catalog, s) = kept[s];
    result.DataContribution[s].Beta = info[s][0] * 100.0f / totalBeta;
    result.DataContribution[s].Lambda = info[s][1] * 100.0f / totalLambda;
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

  const LawState law = MakeLaw(beta, lambda, settings.Mmin, model.Mmax);
  float z = lambda * law.ExpMax / (law.ExpMin - law.ExpMax) * settings.SpanT;
  const float scaled = ScaledExpIntegral(z);
  result.TransmissionCoefficient =
      std::fabs(1.0f / (1.0f + (scaled - 1.0f) * (law.ExpMin - 2.0f * law.ExpMax) /
                                   (law.ExpMin - law.ExpMax)));
  result.SdMmax =
      std::sqrt(std::pow(model.Mmax - settings.Xmax, 2.0f) + std::pow(settings.SigXmax, 2.0f));
  return result;
}

}  // namespace qev
