// The shared records of a session: the answers and derived settings of the
// dialogs, and the state of the current run.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "qev/analysis.h"
#include "qev/classic_bounds.h"

namespace qev {

// The largest earthquake size the program takes, the upper limit of its Mmax
// dialog: 10.0 for magnitudes, 12.0 for intensities (any units answer but 1).
// Catalog values, an own Xmax, a starting Mmax and SIG(Xmax) stay within it.
inline float UpperLimitOf(std::int32_t units) { return classic::UpperLimitOfUnits(units); }

struct SessionSettings {
  std::string OutputFileName;  // 15 characters, blank-padded
  std::string DateText;        // 24 characters: "dd-Mon-yy" and 15 blanks
  std::int32_t Units = 0;      // 1 magnitude, 2 intensity (not validated)
  std::int32_t DataKind = 0;   // 1 only extremes, 2 only complete, 3 both (asked until one)
  std::array<float, 3> HazardSpans{};
  std::int32_t RunNumber = 0;
  std::int32_t IterationLimit = 99;
  // The lowest level of the catalog as read, then the threshold of the
  // whole catalog chosen in the threshold dialog.
  float Mmin = 0.0f;
  float Xmax = 0.0f;
  float Xmax2 = 0.0f;
  float SigXmax = 0.0f;
  // From the date of an Xmax before the catalog; none: the span of the whole
  // catalog for the data kind.
  std::optional<float> SpanT;
  std::int32_t Procedure = 0;  // 1 Cramer approximation, 2 Bayes, other: none
  float PriorB = 0.0f;         // as typed
  float PriorBSd = 0.0f;
  bool StartFromKeyboard = false;
  float KeyboardLambda = 0.0f;
  float KeyboardMmax = 0.0f;
};

struct ModelParameters {
  StartingValues Start;  // the starting point of every run
  float Mmax = 0.0f;     // the Mmax of the current run
  float Beta = 0.0f;
  float Lambda = 0.0f;
  std::int32_t Iterations = 0;
  float SuggestedMmax = 0.0f;
  // Set when the chosen estimator could give no estimate (for example a time
  // span of zero); the Mmax dialog then offers no suggestion.
  bool SuggestionUndefined = false;
  Uncertainties Deviations;  // at the last run, for the report and the hazard
};

}  // namespace qev
