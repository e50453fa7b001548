#include "estimation/mmax_estimators.h"

#include <cfloat>
#include <cmath>

#include "estimation/engine_detail.h"
#include "estimation/romberg.h"

namespace qev {

namespace {

std::optional<float> Defined(float value) {
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

}  // namespace

// Cramer's approximation of the integral of F(m)^n from Mmin to Mmax through
// E1; n = Lambda SpanT (capped at 30 only in the last term).
std::optional<float> MmaxCramer(const LawState& law, float xmax, float spanT) {
  if (!(spanT > 0.0f)) return std::nullopt;  // E1 would be asked for a non-positive argument
  const float e1s = std::exp(-(law.Beta * law.Mmin));
  const float e2s = std::exp(-(law.Mmax * law.Beta));
  float n = law.Lambda * spanT;
  const float r = n / (e1s - e2s);
  float z1 = r * e1s;
  float z2 = r * e2s;
  const float e1z2 = ExpIntegralE1(z2);  // caps z2 at 100; the capped value is used below
  const float e1z1 = ExpIntegralE1(z1);
  float d = 0.0f;
  const float grow = std::exp(z2);
  if (std::isfinite(grow) && e1z2 >= FLT_MIN) {
    d = (e1z2 - e1z1) * grow / law.Beta;
  } else {
    // exp(z2) overflows single precision and E1(z2) underflows it: the
    // product is formed in double (D = 0 when both arguments are capped).
    d = static_cast<float>((ExpIntegralE1Wide(z2) - ExpIntegralE1Wide(z1)) *
                           std::exp(static_cast<double>(z2)) / static_cast<double>(law.Beta));
  }
  if (n > 30.0f) n = 30.0f;
  return Defined(xmax + d + law.Mmin * std::exp(-n));
}

float BayesCdfPower(const LawState& law, float spanT, float m) {
  const float n = spanT * law.Lambda;
  const float s = 0.25f * law.Beta;
  const float p = law.Beta / (s * s);
  const float q = Square(law.Beta / s);
  const float fm = 1.0f - std::pow(p / (p + m - law.Mmin), q);
  const float fmax = 1.0f - std::pow(p / (p + law.Mmax - law.Mmin), q);
  float f = fm / fmax;
  if (f < 1.0e-6f) f = 1.0e-6f;
  if (f > 0.999999f) f = 0.999999f;
  return std::pow(f, n);
}

std::optional<float> MmaxBayes(const LawState& law, float xmax, float spanT) {
  // BayesCdfPower with what does not depend on m worked out once; the same
  // operations in the same order, so every value is the same.
  const float n = spanT * law.Lambda;
  const float s = 0.25f * law.Beta;
  const float p = law.Beta / (s * s);
  const float q = Square(law.Beta / s);
  const float fmax = 1.0f - std::pow(p / (p + law.Mmax - law.Mmin), q);
  const float mmin = law.Mmin;
  auto integrand = [=](float m) {
    const float fm = 1.0f - std::pow(p / (p + m - mmin), q);
    float f = fm / fmax;
    if (f < 1.0e-6f) f = 1.0e-6f;
    if (f > 0.999999f) f = 0.999999f;
    return std::pow(f, n);
  };
  const float integral = RombergIntegrateWith(integrand, law.Mmin, law.Mmax);
  return Defined(xmax + integral);
}

}  // namespace qev
