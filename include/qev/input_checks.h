// Checks of the inputs a modeller decides (the completeness table, the
// magnitude scale, the SDs, the prior) against the catalog and the analysis:
// each finding is a typed warning with its text. The front ends show them
// (summary lines, a list on the Python result, a column of the batch rows);
// in strict mode they refuse to go on (InputWarningsError).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qev/analysis.h"
#include "qev/catalog.h"
#include "qev/errors.h"
#include "qev/weichert.h"

namespace qev {

enum class InputWarningKind {
  CompletenessBelowData,  // Mc well below the smallest magnitude of its period
  CompletenessRising,     // a later step of the completeness table has a higher Mc
  FewEvents,              // a complete part with fewer than kFewEvents events
  EmptyPeriod,            // a complete part without events
  MixedMagnitudeTypes,    // more than one magnitude type and no conversion
  ZeroSd,                 // magnitude SDs of 0 (the likelihood's limit form)
  PriorDominates,         // the data's share of the information on Beta below 50 %
  EmptyExtremeWindows,    // windows of the extreme part without an event
  WeichertDiffers,        // the engine's b and Weichert's differ by more than 2 SD
};

// The warning's name in the batch rows: "completeness-below-data", ...
const char* InputWarningName(InputWarningKind kind);

struct InputWarning {
  InputWarningKind kind = InputWarningKind::FewEvents;
  std::string text;  // one line, naming the part and the figures
};

inline constexpr std::size_t kFewEvents = 10;
inline constexpr float kDataShareNeeded = 50.0f;  // percent

// What there is to check; every item but the catalog may be left out.
struct InputCheckData {
  const Catalog* catalog = nullptr;
  // The completeness table as given (Mc rising with time is checked on it);
  // without it, on the complete parts' thresholds in order.
  std::optional<std::vector<std::pair<std::int32_t, float>>> completeness;
  // Events per magnitude type of the events the parts were made from, and
  // whether a conversion to one scale was applied.
  std::vector<std::pair<std::string, std::size_t>> magnitude_types;
  bool magnitudes_converted = false;
  // Windows of the extreme part and those without an event.
  std::size_t extreme_windows = 0;
  std::size_t empty_extreme_windows = 0;
  const AnalysisResult* analysis = nullptr;
  const WeichertResult* weichert = nullptr;
};

// The warnings, in the order of the kinds above (parts in catalog order).
// Mc counts as below the data when the smallest magnitude of a part lies more
// than half a bin and half a hundredth (0.055) above its threshold and a Gutenberg-Richter law with
// b = 1 would leave that gap below all of its n events with a chance under
// 1 % (10^(-n gap) < 0.01).
std::vector<InputWarning> CheckInputs(const InputCheckData& data);

// Strict mode: the warnings as an error (the message lists their texts).
class InputWarningsError : public Error {
 public:
  explicit InputWarningsError(std::vector<InputWarning> warnings);
  const std::vector<InputWarning>& warnings() const { return warnings_; }

 private:
  std::vector<InputWarning> warnings_;
};

// Throws InputWarningsError when there are warnings.
void RefuseWarnings(const std::vector<InputWarning>& warnings);

// The engine's b and Weichert's differ by more than twice their combined SD.
bool WeichertDiffers(const AnalysisResult& analysis, const WeichertResult& weichert);

}  // namespace qev
