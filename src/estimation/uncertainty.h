// Standard deviations of Beta, Lambda and M_max, the transmission coefficient
// and the share of each data part in the information about Beta and Lambda.
#pragma once

#include <vector>

#include "estimation/decoded_catalog.h"
#include "estimation/likelihood.h"

namespace qev {

// Share of one data slot in the information about Beta and Lambda, in percent.
struct SlotShare {
  float Beta = 0.0f;
  float Lambda = 0.0f;
};

struct UncertaintyResult {
  float SdBeta = 0.0f;
  float SdLambda = 0.0f;
  float B = 0.0f;    // 0.43429 * Beta
  float SdB = 0.0f;  // 0.43429 * SdBeta
  float SdMmax = 0.0f;
  float TransmissionCoefficient = 0.0f;
  // The parts' information on Beta over theirs plus the prior's, in percent.
  float DataShareBeta = 0.0f;
  // One slot per complete part in use, then the slot of the extreme part
  // (present even when the catalog has none: its share is the prior's).
  std::vector<SlotShare> Shares;
};

// What the uncertainties are evaluated at.
struct UncertaintyPoint {
  float Beta = 0.0f;
  float Lambda = 0.0f;
  float Mmax = 0.0f;
  float Mmin = 0.0f;
  float Xmax = 0.0f;
  float SigXmax = 0.0f;
  float SpanT = 0.0f;
  float PriorBeta = 0.0f;
  float PriorBetaSD = 0.0f;
};

// The objective's data at the point: the catalog, Mmin, Mmax and the prior.
LikelihoodData LikelihoodDataAt(const DecodedCatalog& catalog, const UncertaintyPoint& point);

// Switches the slots of `catalog` off and on through their On flags (each is
// left on again); the information of a slot is the curvature of the
// objective with that slot alone switched on.
UncertaintyResult ParameterUncertainty(DecodedCatalog& catalog, const UncertaintyPoint& point);

}  // namespace qev
