// The checks of the modeller's inputs.
#include "qev/input_checks.h"

#include <algorithm>
#include <cmath>

#include "textio/number_text.h"

namespace qev {

namespace {

// Half a bin of 0.1 (magnitudes given to a tenth may lie this far above an
// Mc on the lower edge of their class), and half a hundredth for the
// single-precision values.
constexpr double kGapTolerance = 0.055;
// The chance under b = 1 of a gap at least this unlikely.
constexpr double kGapChance = 0.01;

std::string Part(std::size_t k) { return "complete part " + std::to_string(k + 1); }

void CheckParts(const Catalog& catalog, std::vector<InputWarning>& out) {
  for (std::size_t k = 0; k < catalog.complete.size(); ++k) {
    const CompletePart& part = catalog.complete[k];
    std::size_t n = 0;
    float smallest = 0.0f;
    for (const MagnitudeRow& row : part.rows) {
      if (row.frequency <= 0) continue;
      smallest = n == 0 ? row.magnitude : std::min(smallest, row.magnitude);
      n += static_cast<std::size_t>(row.frequency);
    }
    const double gap = static_cast<double>(smallest) - static_cast<double>(part.threshold);
    if (n > 0 && gap > kGapTolerance &&
        std::pow(10.0, -static_cast<double>(n) * gap) < kGapChance) {
      out.push_back({InputWarningKind::CompletenessBelowData,
                     Part(k) + ": Mc " + FixedText(part.threshold, 2) +
                         " lies below its smallest magnitude " + FixedText(smallest, 2) + " (" +
                         std::to_string(n) +
                         " events): is the part complete down to Mc, or is Mc too low?"});
    }
  }
}

void CheckRising(const InputCheckData& data, std::vector<InputWarning>& out) {
  std::vector<std::pair<std::int32_t, float>> steps;
  if (data.completeness) {
    steps = *data.completeness;
  } else {
    for (const CompletePart& part : data.catalog->complete) {
      steps.emplace_back(static_cast<std::int32_t>(std::floor(part.start)), part.threshold);
    }
  }
  for (std::size_t k = 1; k < steps.size(); ++k) {
    if (steps[k].second > steps[k - 1].second) {
      out.push_back(
          {InputWarningKind::CompletenessRising,
           "the completeness magnitude rises with time: Mc " + FixedText(steps[k - 1].second, 2) +
               " from " + std::to_string(steps[k - 1].first) + ", then Mc " +
               FixedText(steps[k].second, 2) + " from " + std::to_string(steps[k].first)});
    }
  }
}

void CheckCounts(const Catalog& catalog, std::vector<InputWarning>& out) {
  for (std::size_t k = 0; k < catalog.complete.size(); ++k) {
    std::size_t n = 0;
    for (const MagnitudeRow& row : catalog.complete[k].rows) {
      n += static_cast<std::size_t>(std::max(row.frequency, 0));
    }
    if (n == 0) {
      out.push_back({InputWarningKind::EmptyPeriod,
                     Part(k) + " holds no events: its period counts as observed without one"});
    } else if (n < kFewEvents) {
      out.push_back({InputWarningKind::FewEvents, Part(k) + " holds " + std::to_string(n) +
                                                      " events (fewer than " +
                                                      std::to_string(kFewEvents) + ")"});
    }
  }
}

void CheckTypes(const InputCheckData& data, std::vector<InputWarning>& out) {
  std::size_t types = 0;
  std::string counts;
  for (const auto& [name, count] : data.magnitude_types) {
    if (count == 0) continue;
    ++types;
    counts += (counts.empty() ? "" : ", ") + (name.empty() ? std::string("(none)") : name) + " " +
              std::to_string(count);
  }
  if (types > 1 && !data.magnitudes_converted) {
    out.push_back(
        {InputWarningKind::MixedMagnitudeTypes,
         std::to_string(types) + " magnitude types without a conversion to one scale: " + counts});
  }
}

void CheckZeroSd(const Catalog& catalog, std::vector<InputWarning>& out) {
  std::size_t zero = 0;
  for (const CompletePart& part : catalog.complete) {
    for (const MagnitudeRow& row : part.rows) {
      if (row.sd == 0.0f) zero += static_cast<std::size_t>(std::max(row.frequency, 0));
    }
  }
  if (catalog.extreme) {
    for (const ExtremeEvent& e : catalog.extreme->events) zero += e.sd == 0.0f;
  }
  if (zero > 0) {
    out.push_back({InputWarningKind::ZeroSd,
                   std::to_string(zero) +
                       " events with a magnitude SD of 0 (the likelihood takes its limit form "
                       "for them: exact magnitudes)"});
  }
}

void CheckAnalysis(const InputCheckData& data, std::vector<InputWarning>& out) {
  const AnalysisResult* a = data.analysis;
  if (a && std::isfinite(a->uncertainties.data_share_beta) &&
      a->uncertainties.data_share_beta < kDataShareNeeded) {
    out.push_back(
        {InputWarningKind::PriorDominates, "the prior dominates Beta: the data give " +
                                               FixedText(a->uncertainties.data_share_beta, 1) +
                                               " % of the information on it (below " +
                                               FixedText(kDataShareNeeded, 0) + " %)"});
  }
  if (data.extreme_windows > 0 && data.empty_extreme_windows > 0) {
    out.push_back({InputWarningKind::EmptyExtremeWindows,
                   std::to_string(data.empty_extreme_windows) + " of the " +
                       std::to_string(data.extreme_windows) +
                       " windows of the extreme part hold no event"});
  }
  if (a && data.weichert && WeichertDiffers(*a, *data.weichert)) {
    out.push_back({InputWarningKind::WeichertDiffers,
                   "the engine's b " + FixedText(a->uncertainties.b, 3) + " +- " +
                       FixedText(a->uncertainties.sd_b, 3) + " differs from Weichert's " +
                       FixedText(data.weichert->b, 3) + " +- " + FixedText(data.weichert->sd_b, 3) +
                       " by more than twice their combined SD"});
  }
}

std::string Listed(const std::vector<InputWarning>& warnings) {
  std::string text = "the inputs do not pass their checks (strict):";
  for (const InputWarning& w : warnings) text += " " + w.text + ";";
  text.pop_back();
  return text;
}

}  // namespace

const char* InputWarningName(InputWarningKind kind) {
  switch (kind) {
    case InputWarningKind::CompletenessBelowData:
      return "completeness-below-data";
    case InputWarningKind::CompletenessRising:
      return "completeness-rising";
    case InputWarningKind::FewEvents:
      return "few-events";
    case InputWarningKind::EmptyPeriod:
      return "empty-period";
    case InputWarningKind::MixedMagnitudeTypes:
      return "mixed-magnitude-types";
    case InputWarningKind::ZeroSd:
      return "zero-sd";
    case InputWarningKind::PriorDominates:
      return "prior-dominates";
    case InputWarningKind::EmptyExtremeWindows:
      return "empty-extreme-windows";
    case InputWarningKind::WeichertDiffers:
      break;
  }
  return "weichert-differs";
}

std::vector<InputWarning> CheckInputs(const InputCheckData& data) {
  std::vector<InputWarning> out;
  if (data.catalog == nullptr) return out;
  CheckParts(*data.catalog, out);
  CheckRising(data, out);
  CheckCounts(*data.catalog, out);
  CheckTypes(data, out);
  CheckZeroSd(*data.catalog, out);
  CheckAnalysis(data, out);
  return out;
}

InputWarningsError::InputWarningsError(std::vector<InputWarning> warnings)
    : Error(Listed(warnings)), warnings_(std::move(warnings)) {}

void RefuseWarnings(const std::vector<InputWarning>& warnings) {
  if (!warnings.empty()) throw InputWarningsError(warnings);
}

bool WeichertDiffers(const AnalysisResult& analysis, const WeichertResult& weichert) {
  const double sd_engine = analysis.uncertainties.sd_b;
  const double combined = std::sqrt(sd_engine * sd_engine + weichert.sd_b * weichert.sd_b);
  const double difference = std::fabs(static_cast<double>(analysis.uncertainties.b) - weichert.b);
  return std::isfinite(combined) && difference > 2.0 * combined;
}

}  // namespace qev
