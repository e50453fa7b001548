// Standard deviations of Beta, Lambda and M_max, the transmission coefficient
// and the share of each data part in the information about Beta and Lambda.
#pragma once

#include <array>

#include "catalog/catalog.h"
#include "model/records.h"

namespace qev {

struct UncertaintyResult {
  float SdBeta = 0.0f;
  float SdLambda = 0.0f;
  float B = 0.0f;    // 0.43429 * Beta
  float SdB = 0.0f;  // 0.43429 * SdBeta
  float SdMmax = 0.0f;
  float TransmissionCoefficient = 0.0f;
  // Slots 0..P-1 are the complete parts, slot P the extreme part.
  std::array<DataContributionRow, ncpx + 1> DataContribution{};
};

// Evaluated at the model's Beta, Lambda and Mmax. Switches the parts off and
// on through their EventCount and leaves each as the integer part of its
// former value; with DataKind 1 PartCount becomes 0.
UncertaintyResult ParameterUncertainty(Catalog& catalog, const SessionSettings& settings,
                                       const ModelParameters& model);

}  // namespace qev
