// The shared records of a session: the answers and derived settings of the
// dialogs, the model state of the estimation, and the simplex.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "catalog/catalog.h"

namespace qev {

struct SessionSettings {
  std::string OutputFileName;  // 15 characters, blank-padded
  std::string DateText;        // 24 characters: "dd-Mon-yy" and 15 blanks
  std::int32_t Units = 0;      // 1 magnitude, 2 intensity (not validated)
  std::int32_t DataKind = 0;   // 1 only extremes, 2 only complete, 3 both
  std::array<float, 3> HazardSpans{};
  std::int32_t RunNumber = 0;
  std::int32_t IterationLimit = 99;
  float Mmin = 0.0f;
  float Xmax = 0.0f;
  float Xmax2 = 0.0f;
  float SigXmax = 0.0f;
  float SpanT = 0.0f;
  std::int32_t Procedure = 0;  // 1 Cramer approximation, 2 Bayes, other: none
  float PriorBeta = 0.0f;
  float PriorBetaSD = 0.0f;
  float StartBeta = 0.0f;
  float StartLambda = 0.0f;
};

// Share of one data slot in the information about Beta and Lambda, in percent.
struct DataContributionRow {
  float Beta = 0.0f;
  float Lambda = 0.0f;
};

struct ModelParameters {
  float Beta = 0.0f;
  float Lambda = 0.0f;
  float Mmax = 0.0f;
  float ExpMin = 0.0f;  // exp(-Beta * Mmin)
  float ExpMax = 0.0f;  // exp(-Beta * Mmax)
  std::int32_t Iterations = 0;
  float SuggestedMmax = 0.0f;
  // Set when the chosen estimator could give no estimate (for example a time
  // span of zero); the Mmax dialog then offers no suggestion.
  bool SuggestionUndefined = false;
  float SdBeta = 0.0f;
  float SdLambda = 0.0f;
  float SdMmax = 0.0f;
  float TransmissionCoefficient = 0.0f;
  // Slots 0..PartCount-1 are the complete parts, slot PartCount the extreme part.
  std::array<DataContributionRow, ncpx + 1> DataContribution{};
};

// Three vertices (Beta, Lambda) with their objective values; vertex 0 holds
// the estimate after a minimisation.
struct Simplex {
  std::array<std::array<float, 2>, 3> Vertex{};
  std::array<float, 3> Value{};
};

}  // namespace qev
