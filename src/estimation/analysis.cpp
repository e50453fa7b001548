// The analysis steps of qev/analysis.h on the engine's decoded catalog.
#include "qev/analysis.h"

#include <cfloat>
#include <cmath>
#include <memory>
#include <string>

#include "estimation/decoded_catalog.h"
#include "estimation/likelihood.h"
#include "estimation/math_functions.h"
#include "estimation/mmax_estimators.h"
#include "estimation/uncertainty.h"
#include "qev/errors.h"
#include "qev/settings.h"
#include "textio/number_text.h"

namespace qev {

namespace {

// Factor from a decimal b-value to Beta (ln 10).
constexpr float kLn10 = 2.302585f;
// Smallest standard deviation of the prior Beta.
constexpr float kSmallestPriorBetaSd = 0.001f;
// The starting Mmax by program lies this far above Xmax, and at most at 12.
constexpr float kStartAboveXmax = 0.5f;
constexpr float kLargestStartMmax = 12.0f;
constexpr float kCappedStartMmax = 12.001f;
// Suggestions above these are not offered by the classic Mmax dialog.
constexpr float kPlausibleMagnitude = 10.0f;
constexpr float kPlausibleIntensity = 12.0f;
// Rows of the hazard table: steps of 0.1, Mmin itself taken this far above.
constexpr float kTableStep = 0.1f;
constexpr float kAboveMmin = 0.004f;
// A rate at or below this stands for a return period of 1e35 years.
constexpr float kSmallestRate = 1.0E-35f;
constexpr float kLongestReturnPeriod = 1.0E35f;

// The resolved settings and the catalog decoded once for every step.
struct Prepared {
  ResolvedSettings settings;
  DecodedCatalog catalog;
};

// The largest magnitudes of the parts in use.
ObservedMaxima MaximaInUse(const Catalog& catalog, DataKind kind) {
  if ((catalog.extreme && !UsesExtremes(kind)) || (!catalog.complete.empty() && !UsesParts(kind))) {
    Catalog used;
    if (UsesExtremes(kind)) used.extreme = catalog.extreme;
    if (UsesParts(kind)) used.complete = catalog.complete;
    return ObservedMaximaOf(used);
  }
  return ObservedMaximaOf(catalog);
}

// The span of the parts in use, evaluated left to right as the classic program
// does; a missing part counts as a period of zeros.
float FullSpan(const Catalog& catalog, DataKind kind) {
  const float extremeStart = catalog.extreme ? catalog.extreme->start : 0.0f;
  const float extremeEnd = catalog.extreme ? catalog.extreme->end : 0.0f;
  const float firstStart = catalog.complete.empty() ? 0.0f : catalog.complete.front().start;
  const float lastEnd = catalog.complete.empty() ? 0.0f : catalog.complete.back().end;
  switch (kind) {
    case DataKind::Extremes:
      return extremeEnd - extremeStart;
    case DataKind::Complete:
      return lastEnd - firstStart;
    case DataKind::ExtremesAndComplete: {
      float span = extremeEnd - extremeStart;
      span = span + lastEnd;
      return span - firstStart;
    }
  }
  return 0.0f;  // a kind outside the three reads no part
}

// A complete part says nothing of the events between its threshold and an
// Mmin above it: its rate would pass for the rate above Mmin.
void CheckMminBelowThresholds(const Catalog& catalog, float mmin) {
  const CompletePart* lowest = nullptr;
  std::size_t number = 0;
  for (std::size_t k = 0; k < catalog.complete.size(); ++k) {
    if (!lowest || catalog.complete[k].threshold < lowest->threshold) {
      lowest = &catalog.complete[k];
      number = k + 1;
    }
  }
  if (lowest && mmin > lowest->threshold) {
    throw InvalidOptions(
        "Mmin " + FixedText(mmin, 2) + " lies above the lowest completeness threshold " +
        FixedText(lowest->threshold, 2) + " (complete part " + std::to_string(number) +
        "): the rate above that threshold would pass for the rate above Mmin; "
        "give an Mmin at or below " +
        FixedText(lowest->threshold, 2));
  }
}

Prepared Prepare(const Catalog& catalog, const AnalysisOptions& options) {
  Prepared prepared;
  prepared.settings = Resolve(catalog, options);
  prepared.catalog = Decode(catalog, prepared.settings.kind);
  return prepared;
}

LikelihoodData DataOf(const Prepared& prepared, float mmax) {
  LikelihoodData data;
  data.catalog = &prepared.catalog;
  data.Mmin = prepared.settings.mmin;
  data.Mmax = mmax;
  data.PriorBeta = prepared.settings.prior_beta;
  data.PriorBetaSD = prepared.settings.prior_beta_sd;
  return data;
}

// Only extremes: Beta fixed by the units, Lambda from the mean interval and
// the mean of exp(-Beta m) weighted by the intervals.
void StartFromExtremes(const DecodedExtreme& extreme, Units units, float mmin,
                       StartingValues& start) {
  if (extreme.Events.empty()) throw NoEstimate("there are no EXTREME events");
  start.beta = units == Units::Intensity ? 1.0f : 1.9f;
  const float expMin = std::exp(-(start.beta * mmin));
  const float expMax = std::exp(-(start.mmax * start.beta));
  // The first event's SD stands for all.
  const float s = extreme.Events.front().Sd;
  const float c = start.beta * start.beta * s * s / 2.0f;
  float s1 = 0.0f;
  float s2 = 0.0f;
  for (const DecodedEvent& event : extreme.Events) {
    s1 = s1 + event.Interval;
    s2 = s2 + std::exp(-start.beta * event.Magnitude) * event.Interval;
  }
  s1 = s1 / extreme.EventCount;
  s2 = s2 / extreme.EventCount;
  const float denominator = (expMax * s1 - s2) * std::exp(c);
  if (denominator == 0.0f) throw NoEstimate("the EXTREME intervals give a zero denominator");
  start.lambda = (expMax - expMin) / denominator;
}

// Complete parts: Beta from the mean magnitude of the last part, Lambda from
// its rate carried down to Mmin and corrected for the magnitude errors.
void StartFromLastPart(const std::vector<DecodedPart>& parts, float mmin, StartingValues& start) {
  if (parts.empty()) throw NoEstimate("there is no COMPLETE part");
  const DecodedPart& part = parts.back();
  if (part.EventCount == 0.0f) throw NoEstimate("the last COMPLETE part has no events");
  const float span = part.End - part.Start;
  if (span == 0.0f) throw NoEstimate("the time span of the last COMPLETE part is zero");
  float mean = 0.0f;
  for (const DecodedRow& row : part.Rows) mean = mean + row.Frequency * row.Magnitude;
  mean = mean / part.EventCount;
  const float excess = mean - part.Threshold;
  const char* const atThreshold = "mean magnitude of the last COMPLETE part = its threshold";
  if (excess == 0.0f) throw NoEstimate(atThreshold);
  start.beta = 1.0f / excess;
  if (!std::isfinite(start.beta)) throw NoEstimate(atThreshold);
  const float c = start.beta * start.beta * part.Sd * part.Sd / 2.0f;
  start.lambda = part.EventCount / span;
  const LawState law = MakeLaw(start.beta, start.lambda, mmin, start.mmax);
  const float denominator = (1.0f - MagnitudeCdf(law, part.Threshold)) * std::exp(c);
  if (denominator == 0.0f) {
    throw NoEstimate("no events expected above the threshold of the last part");
  }
  start.lambda = start.lambda / denominator;
}

StartingValues StartOf(const Prepared& prepared, const AnalysisOptions& options) {
  const ResolvedSettings& settings = prepared.settings;
  StartingValues start;
  if (options.start == StartingPointKind::Given) {
    if (!std::isfinite(options.start_lambda)) {
      throw InvalidOptions("the starting Lambda " + std::to_string(options.start_lambda) +
                           " is not a finite number");
    }
    if (!(options.start_mmax > settings.mmin) || !std::isfinite(options.start_mmax)) {
      throw InvalidOptions("the starting Mmax " + std::to_string(options.start_mmax) +
                           " is not a finite number above Mmin " + std::to_string(settings.mmin));
    }
    start.beta = settings.prior_beta;
    start.lambda = options.start_lambda;
    start.mmax = options.start_mmax;
    return start;
  }
  start.mmax = settings.xmax + kStartAboveXmax;
  if (start.mmax > kLargestStartMmax) start.mmax = kCappedStartMmax;
  if (settings.kind == DataKind::Extremes) {
    StartFromExtremes(prepared.catalog.Extreme, options.units, settings.mmin, start);
  } else {
    StartFromLastPart(prepared.catalog.Parts, settings.mmin, start);
  }
  if (!std::isfinite(start.beta) || !std::isfinite(start.lambda)) {
    throw NoEstimate("the computed values are not finite numbers");
  }
  return start;
}

RunResult RunOf(const Prepared& prepared, const AnalysisOptions& options,
                const StartingValues& start, float mmax) {
  const ResolvedSettings& settings = prepared.settings;
  // The minimiser's evaluations share one table of apparent factors.
  const auto factors = FactorTable::Make();
  LikelihoodData data = DataOf(prepared, mmax);
  data.factors = factors.get();
  Simplex simplex = BuildStartingSimplex(data, start.beta, start.lambda);
  const SimplexOutcome outcome = SimplexMinimize(simplex, data, options.simplex_tolerance,
                                                 options.iteration_limit, options.cancel);
  RunResult run;
  run.mmax = mmax;
  run.beta = simplex.Vertex[0][0];
  run.lambda = simplex.Vertex[0][1];
  run.iterations = outcome.Iterations;
  run.converged = outcome.Converged;
  if (options.procedure == MmaxProcedure::Cramer || options.procedure == MmaxProcedure::Bayes) {
    const LawState law = MakeLaw(run.beta, run.lambda, settings.mmin, mmax);
    run.suggested_mmax = options.procedure == MmaxProcedure::Cramer
                             ? MmaxCramer(law, settings.xmax, settings.span_t)
                             : MmaxBayes(law, settings.xmax, settings.span_t);
  }
  return run;
}

Uncertainties UncertaintiesOf(Prepared& prepared, float beta, float lambda, float mmax) {
  const ResolvedSettings& settings = prepared.settings;
  UncertaintyPoint point;
  point.Beta = beta;
  point.Lambda = lambda;
  point.Mmax = mmax;
  point.Mmin = settings.mmin;
  point.Xmax = settings.xmax;
  point.SigXmax = settings.sig_xmax;
  point.SpanT = settings.span_t;
  point.PriorBeta = settings.prior_beta;
  point.PriorBetaSD = settings.prior_beta_sd;
  const UncertaintyResult result = ParameterUncertainty(prepared.catalog, point);
  Uncertainties u;
  u.sd_beta = result.SdBeta;
  u.sd_lambda = result.SdLambda;
  u.b = result.B;
  u.sd_b = result.SdB;
  u.sd_mmax = result.SdMmax;
  u.transmission_coefficient = result.TransmissionCoefficient;
  u.data_share_beta = result.DataShareBeta;
  // The last slot is the extreme part's; the complete-only kind does not list it.
  std::size_t listed = result.Shares.size();
  if (!UsesExtremes(settings.kind)) --listed;
  for (std::size_t s = 0; s < listed; ++s) {
    u.contributions.push_back({result.Shares[s].Beta, result.Shares[s].Lambda});
  }
  return u;
}

// The Mmax the classic dialog would offer after a run: the suggestion, Xmax
// when it lies below Xmax, none above the units' plausible limit.
std::optional<float> Offered(const RunResult& run, const AnalysisOptions& options, float xmax) {
  if (!run.suggested_mmax) return std::nullopt;
  const float limit = options.units == Units::Intensity ? kPlausibleIntensity : kPlausibleMagnitude;
  const float suggested = *run.suggested_mmax;
  if (suggested > limit) return std::nullopt;
  return suggested < xmax ? xmax : suggested;
}

float Inverse(float rate) { return rate > kSmallestRate ? 1.0f / rate : kLongestReturnPeriod; }

HazardPoint PointAt(const LawState& law, float sdLambda, float m, const std::vector<float>& spans) {
  HazardPoint point;
  point.magnitude = m;
  const float q = 1.0f - MagnitudeCdf(law, m);
  point.probability_one_year = 1.0f - MaxMagnitudeCdf(law, m, 1.0f);
  for (const float span : spans)
    point.probabilities.push_back(1.0f - MaxMagnitudeCdf(law, m, span));
  point.annual_rate = q * law.Lambda;
  point.return_period = Inverse(point.annual_rate);
  point.return_period_upper = Inverse(q * (law.Lambda - sdLambda));
  point.return_period_lower = Inverse(q * (law.Lambda + sdLambda));
  return point;
}

}  // namespace

ResolvedSettings Resolve(const Catalog& catalog, const AnalysisOptions& options) {
  ResolvedSettings settings;
  settings.kind = options.data_kind ? *options.data_kind : KindOf(catalog);
  const auto finite = [](float value, const char* name) {
    if (!std::isfinite(value)) {
      throw InvalidOptions(std::string(name) + " " + std::to_string(value) +
                           " is not a finite number");
    }
  };
  finite(options.mmin, "Mmin");
  if (options.xmax) finite(*options.xmax, "Xmax");
  finite(options.sig_xmax, "SIG(Xmax)");
  finite(options.prior_b, "the prior b-value");
  finite(options.prior_b_sd, "the SD of the prior b-value");
  if (UsesParts(settings.kind)) CheckMminBelowThresholds(catalog, options.mmin);
  settings.mmin = options.mmin;
  settings.xmax = options.xmax ? *options.xmax : MaximaInUse(catalog, settings.kind).largest;
  settings.sig_xmax = options.sig_xmax;
  settings.span_t = options.span_t ? *options.span_t : FullSpan(catalog, settings.kind);
  settings.prior_beta = options.prior_b * kLn10;
  settings.prior_beta_sd = options.prior_b_sd * kLn10;
  if (!(settings.prior_beta_sd >= kSmallestPriorBetaSd)) {
    settings.prior_beta_sd = kSmallestPriorBetaSd;
  }
  return settings;
}

StartingValues StartingPoint(const Catalog& catalog, const AnalysisOptions& options) {
  return StartOf(Prepare(catalog, options), options);
}

RunResult EstimateRun(const Catalog& catalog, const AnalysisOptions& options,
                      const StartingValues& start, float mmax) {
  return RunOf(Prepare(catalog, options), options, start, mmax);
}

Uncertainties EstimateUncertainties(const Catalog& catalog, const AnalysisOptions& options,
                                    float beta, float lambda, float mmax) {
  Prepared prepared = Prepare(catalog, options);
  return UncertaintiesOf(prepared, beta, lambda, mmax);
}

std::vector<HazardPoint> Hazard(const HazardModel& model, const std::vector<float>& magnitudes,
                                const std::vector<float>& spans) {
  const LawState law = MakeLaw(model.beta, model.lambda, model.mmin, model.mmax);
  std::vector<HazardPoint> points;
  points.reserve(magnitudes.size());
  for (const float m : magnitudes) points.push_back(PointAt(law, model.sd_lambda, m, spans));
  return points;
}

void VisitHazardTable(const HazardModel& model, const std::vector<float>& spans,
                      const std::function<void(const HazardPoint&)>& visit) {
  const LawState law = MakeLaw(model.beta, model.lambda, model.mmin, model.mmax);
  // The row magnitudes are a running single-precision sum of 0.1 steps; its
  // rounding decides the last row.
  float m = model.mmin - kTableStep;
  bool anyRow = false;
  for (;;) {
    const float previous = m;
    m = kTableStep + m;
    float x;
    if (m == model.mmin) {
      x = m + kAboveMmin;
    } else if (model.mmax > m) {
      x = m;
    } else {
      break;
    }
    // A magnitude so large that the step no longer moves it would repeat the
    // same row for ever: the table ends there.
    if (anyRow && !(m > previous)) break;
    anyRow = true;
    visit(PointAt(law, model.sd_lambda, x, spans));
  }
}

std::size_t HazardTableRows(const HazardModel& model) {
  if (!(model.mmax > model.mmin)) return 0;
  const double steps =
      (static_cast<double>(model.mmax) - static_cast<double>(model.mmin)) / kTableStep;
  // Beyond the cap the exact count does not matter.
  if (!(steps < 1e12)) return static_cast<std::size_t>(1e12);
  return static_cast<std::size_t>(std::ceil(steps)) + 1;
}

void CheckHazardModel(const HazardModel& model, const std::vector<float>& spans) {
  const auto normal = [](float value, const std::string& name) {
    if (!std::isfinite(value) || !(value >= FLT_MIN)) {
      throw InvalidOptions(name + " " + ShownValue(value) +
                           " is not a finite number at or above 1.18e-38 (the smallest normal "
                           "single-precision number)");
    }
  };
  normal(model.beta, "the hazard's Beta");
  normal(model.lambda, "the hazard's Lambda");
  for (std::size_t k = 0; k < spans.size(); ++k) {
    normal(spans[k], "the hazard span " + std::to_string(k + 1) + " (years)");
  }
  if (!std::isfinite(model.sd_lambda) || model.sd_lambda < 0.0f) {
    throw InvalidOptions("the hazard's SD of Lambda " + ShownValue(model.sd_lambda) +
                         " is not a finite number at or above 0");
  }
  if (!std::isfinite(model.mmin) || !std::isfinite(model.mmax)) {
    throw InvalidOptions("the hazard's Mmin " + ShownValue(model.mmin) + " and Mmax " +
                         ShownValue(model.mmax) + " must be finite numbers");
  }
  if (!(model.mmax > model.mmin)) {
    throw InvalidOptions("the hazard's Mmax " + ShownValue(model.mmax) + " is not above its Mmin " +
                         ShownValue(model.mmin));
  }
}

namespace {

void CheckRowCount(std::size_t rows, const std::string& what) {
  if (rows > kMostHazardRows) {
    throw InvalidOptions(what + " would have " + std::to_string(rows) + " rows, more than the " +
                         std::to_string(kMostHazardRows) + " a hazard table may have");
  }
}

void CheckRows(const HazardModel& model, const std::vector<HazardPoint>& rows) {
  for (const HazardPoint& row : rows) {
    bool finite = std::isfinite(row.annual_rate) && std::isfinite(row.return_period) &&
                  std::isfinite(row.return_period_lower) &&
                  std::isfinite(row.return_period_upper) && std::isfinite(row.probability_one_year);
    for (const float p : row.probabilities) finite = finite && std::isfinite(p);
    if (!finite) {
      throw InvalidOptions("the law Beta " + ShownValue(model.beta) + ", Lambda " +
                           ShownValue(model.lambda) + " between Mmin " + ShownValue(model.mmin) +
                           " and Mmax " + ShownValue(model.mmax) +
                           " gives no finite hazard at magnitude " + ShownValue(row.magnitude) +
                           " (exp(-Beta m) leaves single precision)");
    }
  }
}

}  // namespace

std::vector<HazardPoint> CheckedHazard(const HazardModel& model,
                                       const std::vector<float>& magnitudes,
                                       const std::vector<float>& spans) {
  CheckHazardModel(model, spans);
  CheckRowCount(magnitudes.size(), "the list of hazard magnitudes");
  for (const float m : magnitudes) {
    if (!std::isfinite(m)) {
      throw InvalidOptions("the hazard magnitude " + ShownValue(m) + " is not a finite number");
    }
  }
  std::vector<HazardPoint> rows = Hazard(model, magnitudes, spans);
  CheckRows(model, rows);
  return rows;
}

std::vector<HazardPoint> HazardTable(const HazardModel& model, const std::vector<float>& spans) {
  CheckHazardModel(model, spans);
  CheckRowCount(HazardTableRows(model), "the hazard table from Mmin " + ShownValue(model.mmin) +
                                            " to Mmax " + ShownValue(model.mmax) +
                                            " in steps of 0.1");
  std::vector<HazardPoint> rows;
  VisitHazardTable(model, spans, [&rows](const HazardPoint& row) { rows.push_back(row); });
  CheckRows(model, rows);
  return rows;
}

const char* MmaxStatusName(MmaxStatus status) {
  switch (status) {
    case MmaxStatus::Settled:
      return "settled";
    case MmaxStatus::Fixed:
      return "fixed";
    case MmaxStatus::Unsettled:
      break;
  }
  return "unsettled";
}

namespace {

void ThrowIfCancelled(const AnalysisOptions& options) {
  if (options.cancel != nullptr && options.cancel->load()) throw Cancelled();
}

// The Mmax values and the cap on Mmax, when given, lie above Mmin.
void CheckMmaxChoices(const AnalysisOptions& options, float mmin) {
  for (const float mmax : options.mmax_values) {
    if (!(mmax > mmin) || !std::isfinite(mmax)) {
      throw InvalidOptions("the Mmax value " + std::to_string(mmax) +
                           " is not a finite number above Mmin " + std::to_string(mmin));
    }
  }
  if (options.mmax_cap && (!(*options.mmax_cap > mmin) || !std::isfinite(*options.mmax_cap))) {
    throw InvalidOptions("the cap on Mmax " + std::to_string(*options.mmax_cap) +
                         " is not a finite number above Mmin " + std::to_string(mmin));
  }
}

// One run at each Mmax value given; without them, runs at the Mmax the
// procedure offers until it moves by less than the tolerance.
void AddRuns(const Prepared& prepared, const AnalysisOptions& options, AnalysisResult& result) {
  if (!options.mmax_values.empty()) {
    for (const float mmax : options.mmax_values) {
      result.runs.push_back(RunOf(prepared, options, result.start, mmax));
    }
    return;
  }
  float mmax = result.start.mmax;
  for (std::int32_t k = 0; k < options.max_runs; ++k) {
    ThrowIfCancelled(options);
    result.runs.push_back(RunOf(prepared, options, result.start, mmax));
    const std::optional<float> next = Offered(result.runs.back(), options, result.settings.xmax);
    if (!next || std::fabs(*next - mmax) < options.mmax_tolerance) break;
    mmax = *next;
  }
}

// The Mmax the last run offers lies within the tolerance of the one it used.
bool Settled(const AnalysisResult& result, const AnalysisOptions& options) {
  const RunResult& last = result.runs.back();
  const std::optional<float> offered = Offered(last, options, result.settings.xmax);
  return offered && std::fabs(*offered - last.mmax) < options.mmax_tolerance;
}

}  // namespace

AnalysisResult Analyze(const Catalog& catalog, const AnalysisOptions& options) {
  ThrowIfCancelled(options);
  Validate(options);
  Prepared prepared = Prepare(catalog, options);
  CheckMmaxChoices(options, prepared.settings.mmin);
  AnalysisResult result;
  result.settings = prepared.settings;
  result.start = StartOf(prepared, options);
  AddRuns(prepared, options, result);
  const bool given = !options.mmax_values.empty() || options.procedure == MmaxProcedure::None;
  result.mmax_converged = Settled(result, options);
  bool capped = false;
  if (options.mmax_cap && !given &&
      (!result.mmax_converged || result.runs.back().mmax > *options.mmax_cap)) {
    result.runs.push_back(RunOf(prepared, options, result.start, *options.mmax_cap));
    result.mmax_converged = Settled(result, options);
    capped = true;
  }
  result.mmax_status = given || capped         ? MmaxStatus::Fixed
                       : result.mmax_converged ? MmaxStatus::Settled
                                               : MmaxStatus::Unsettled;
  const RunResult& last = result.runs.back();
  result.beta = last.beta;
  result.lambda = last.lambda;
  result.mmax = last.mmax;
  result.uncertainties = UncertaintiesOf(prepared, result.beta, result.lambda, result.mmax);
  CheckEstimates(result);
  return result;
}

void CheckEstimates(const AnalysisResult& result) {
  const Uncertainties& u = result.uncertainties;
  const auto finite = [](float value, const std::string& figure) {
    if (!std::isfinite(value)) {
      throw UnusableEstimate(figure, figure + " is " + ShownValue(value) + ", not a finite number");
    }
  };
  const auto normal = [&finite](float value, const std::string& figure) {
    finite(value, figure);
    if (!(value >= FLT_MIN)) {
      throw UnusableEstimate(figure, figure + " is " + ShownValue(value) +
                                         ", below the smallest normal single-precision number");
    }
  };
  // An Mmax not above Mmin leaves the law no range: the other figures follow from that.
  finite(result.settings.mmin, "Mmin");
  finite(result.settings.xmax, "Xmax");
  finite(result.mmax, "Mmax");
  if (!(result.mmax > result.settings.mmin)) {
    throw UnusableEstimate("Mmax", "Mmax " + ShownValue(result.mmax) + " is not above Mmin " +
                                       ShownValue(result.settings.mmin));
  }
  normal(result.beta, "Beta");
  normal(result.lambda, "Lambda");
  const std::pair<float, const char*> figures[] = {
      {u.sd_beta, "SD(Beta)"},
      {u.sd_lambda, "SD(Lambda)"},
      {u.b, "b"},
      {u.sd_b, "SD(b)"},
      {u.sd_mmax, "SD(Mmax)"},
      {u.transmission_coefficient, "the transmission coefficient"},
      {u.data_share_beta, "the data share of Beta"}};
  for (const auto& [value, figure] : figures) finite(value, figure);
  for (std::size_t k = 0; k < u.contributions.size(); ++k) {
    const std::string part = "the contribution of part " + std::to_string(k + 1);
    finite(u.contributions[k].beta, part + " to Beta");
    finite(u.contributions[k].lambda, part + " to Lambda");
  }
}

}  // namespace qev
