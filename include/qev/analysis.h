// The estimation: Beta, Lambda and Mmax of the doubly truncated
// Gutenberg-Richter law from a catalog with normal magnitude errors, their
// uncertainties, and the seismic hazard they imply.
//
// Precision: every quantity is single precision and computed in the order the
// classic program computes it, so that the same catalog and settings give the
// same floats as the classic report prints from (the engine target carries
// -ffp-contract=off and -fno-fast-math to every user, because the printed
// digits depend on them). Beta is per unit magnitude on the natural-log scale
// (b = 0.43429 Beta); Lambda is the annual rate of events at or above Mmin;
// times are in years. Magnitudes and SDs enter in hundredths and extreme
// intervals in thousandths of a year (see qev/catalog.h).
//
// Errors: CatalogError for a catalog the engine cannot hold (see
// qev/catalog.h), InvalidOptions, NoEstimate for a starting point the
// catalog cannot give, TrialPointNotPositive when the minimiser leaves the
// positive quadrant. Nothing here reads or writes files or the console, and
// nothing keeps state between calls.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "qev/catalog.h"

namespace qev {

// How the regional maximum magnitude is estimated after each run.
enum class MmaxProcedure {
  None = 0,    // no estimate: the runs use the Mmax values given
  Cramer = 1,  // Cramer's approximation of the expected shortfall through E1
  Bayes = 2,   // Bayesian form, SD(Beta) = 0.25 Beta, Romberg integration
};

// Where the minimisation starts.
enum class StartingPointKind {
  ByProgram = 1,  // from the catalog (the extreme part alone, else the last complete part)
  Given = 2,      // the Lambda and Mmax of AnalysisOptions (Beta from the prior)
};

struct AnalysisOptions {
  Units units = Units::Magnitude;
  // The parts the analysis uses; default every part the catalog has (KindOf).
  // Extremes leaves the complete parts out, Complete the extreme part.
  std::optional<DataKind> data_kind;
  float mmin = 0.0f;  // threshold magnitude of the whole catalog (required)
  // Maximum observed magnitude; default the largest of the parts in use.
  std::optional<float> xmax;
  float sig_xmax = 0.2f;  // SIG(Xmax): the error of Xmax
  // Span of years to which Xmax belongs; default the span of the parts in
  // use: the extreme period, the first complete part's start to the last
  // one's end, or the sum of the two.
  std::optional<float> span_t;
  MmaxProcedure procedure = MmaxProcedure::Cramer;
  float prior_b = 1.0f;     // prior decimal b-value
  float prior_b_sd = 0.1f;  // its standard deviation (raised to 0.001 / ln 10 at least)
  StartingPointKind start = StartingPointKind::ByProgram;
  float start_lambda = 0.0f;  // Given start: Lambda for Mmin
  float start_mmax = 0.0f;    // Given start: Mmax of the first run (above Mmin)
  // Analyze: the Mmax of each run. Empty: the first run uses the starting
  // Mmax and each later run the previous suggestion, until the suggestion
  // moves less than mmax_tolerance or max_runs runs were made.
  std::vector<float> mmax_values;
  float mmax_tolerance = 0.005f;
  std::int32_t max_runs = 20;
  // A cap on Mmax (following the suggestions only): when the runs do not
  // settle, or settle above the cap, one more run at the cap ends the
  // analysis and Mmax counts as fixed there.
  std::optional<float> mmax_cap;
  // The simplex: it stops when max over vertices i |Beta(0) - Beta(i)| <
  // simplex_tolerance, or after iteration_limit steps.
  float simplex_tolerance = 0.002f;
  std::int32_t iteration_limit = 99;
  // Raised by another thread, it ends the analysis with Cancelled before the
  // next step of the simplex (or the next run); none: it runs to its end.
  const std::atomic<bool>* cancel = nullptr;
};

// The starting point of every run.
struct StartingValues {
  float beta = 0.0f;
  float lambda = 0.0f;
  float mmax = 0.0f;  // Mmax of the first run
};

// One estimation run at a fixed Mmax.
struct RunResult {
  float mmax = 0.0f;  // the Mmax the run used
  float beta = 0.0f;
  float lambda = 0.0f;
  std::int32_t iterations = 0;
  bool converged = false;  // false: the iteration limit ended the search
  // The estimate of the procedure, as computed (not bounded by Xmax or the
  // units); none with MmaxProcedure::None or when the procedure gives no
  // finite estimate (for example a span of zero years).
  std::optional<float> suggested_mmax;
};

// Share of one part in the information about Beta and Lambda, in percent.
struct DataContribution {
  float beta = 0.0f;
  float lambda = 0.0f;
};

struct Uncertainties {
  // From the observed information: five-point second differences of the
  // objective with steps of 1 % of Beta and of Lambda and a cross term from
  // the closed-form score of Lambda. NaN when the information is singular.
  float sd_beta = 0.0f;
  float sd_lambda = 0.0f;
  float b = 0.0f;        // 0.43429 Beta
  float sd_b = 0.0f;     // 0.43429 SD(Beta)
  float sd_mmax = 0.0f;  // sqrt((Mmax - Xmax)^2 + SIG(Xmax)^2)
  float transmission_coefficient = 0.0f;
  // The complete parts in use, in catalog order, then the extreme part
  // unless the data kind is Complete. Each share is the information of the
  // part taken alone (the prior's curvature included) over the sum of all;
  // the complete-only kind still counts an extreme slot (the prior alone) in
  // that sum without listing it, as the classic table does.
  std::vector<DataContribution> contributions;
  // The data's share of the information on Beta, in percent: the parts'
  // information (each slot's less the prior's curvature, summed) over that
  // sum plus the prior's curvature. NaN when the information is not positive.
  float data_share_beta = 0.0f;
};

// The settings the steps below share, resolved once from the catalog and the
// options (the data kind, Xmax and SpanT filled in, the prior converted to
// Beta: prior_beta = 2.302585 b, prior_beta_sd = max(2.302585 SD(b), 0.001)).
struct ResolvedSettings {
  DataKind kind = DataKind::Complete;
  float mmin = 0.0f;
  float xmax = 0.0f;
  float sig_xmax = 0.0f;
  float span_t = 0.0f;
  float prior_beta = 0.0f;
  float prior_beta_sd = 0.0f;
};
// Throws CatalogError for a catalog with no part at all (without data_kind)
// and InvalidOptions for an Mmin, Xmax, SIG(Xmax) or prior that is not a
// finite number, and for an Mmin above the threshold of a complete part in
// use (that part says nothing of the events between its threshold and Mmin:
// its rate would pass for the rate above Mmin).
ResolvedSettings Resolve(const Catalog& catalog, const AnalysisOptions& options);

// The starting point chosen by the options. By program: Mmax = Xmax + 0.5
// (12.001 above 12); with the extremes alone Beta = 1.9 (1.0 for intensity)
// and Lambda from the intervals, else Beta from the mean magnitude of the
// last complete part and Lambda from its rate carried down to Mmin. Throws
// NoEstimate when the catalog cannot give one (no events, a zero span, a
// mean magnitude at the threshold, values that are not finite), and
// InvalidOptions for a given start whose Lambda is not finite or whose Mmax
// is not a finite number above Mmin.
StartingValues StartingPoint(const Catalog& catalog, const AnalysisOptions& options);

// One run: the downhill simplex (Nelder-Mead) over (Beta, Lambda) from the
// vertices (b, l), (1.05 b, l), (b, 1.05 l) of `start` at the given Mmax,
// stopped by the options' simplex tolerance or iteration limit and ended at
// the centroid of the last simplex; then the suggested Mmax by the options'
// procedure (Bayes: Romberg integration of up to 20 levels, tolerance 1e-6
// relative, extrapolation over 5 levels). Throws TrialPointNotPositive.
RunResult EstimateRun(const Catalog& catalog, const AnalysisOptions& options,
                      const StartingValues& start, float mmax);

// Standard deviations, transmission coefficient and data contributions at
// (beta, lambda, mmax): each part's information is taken with that part alone
// switched on, on the engine's own copy; the catalog is not modified.
Uncertainties EstimateUncertainties(const Catalog& catalog, const AnalysisOptions& options,
                                    float beta, float lambda, float mmax);

// The hazard of the law (beta, lambda, mmin, mmax) at one magnitude.
struct HazardPoint {
  float magnitude = 0.0f;
  float annual_rate = 0.0f;    // Lambda (1 - F(m)): events per year above the magnitude
  float return_period = 0.0f;  // 1 / annual_rate; 1e35 for a rate at or below 1e-35
  // Return periods of the rates with (Lambda + SD) and (Lambda - SD): the band
  // of Lambda only (Beta and Mmax held fixed).
  float return_period_lower = 0.0f;
  float return_period_upper = 0.0f;
  float probability_one_year = 0.0f;  // of exceeding the magnitude within 1 year
  std::vector<float> probabilities;   // of exceedance within each span
};

struct HazardModel {
  float beta = 0.0f;
  float lambda = 0.0f;
  float sd_lambda = 0.0f;
  float mmin = 0.0f;
  float mmax = 0.0f;
};

// The hazard at given magnitudes and spans. A magnitude at or below Mmin
// gives the whole rate Lambda and probabilities 0; one at or above Mmax a
// rate of 0. The probability of exceedance within t years is 1 - G(m, t),
// G the distribution of the largest magnitude of a Poisson number of events
// given at least one (its mean capped at 50 in the no-event term).
std::vector<HazardPoint> Hazard(const HazardModel& model, const std::vector<float>& magnitudes,
                                const std::vector<float>& spans);

// The classic table: from Mmin in steps of 0.1 (a running single-precision
// sum) to below Mmax, Mmin itself taken as Mmin + 0.004; it ends early where
// the step no longer moves the sum. VisitHazardTable hands the rows over one
// by one without keeping them. Hazard and VisitHazardTable compute what they
// are given, as the classic program prints it; HazardTable and CheckedHazard
// below check first.
void VisitHazardTable(const HazardModel& model, const std::vector<float>& spans,
                      const std::function<void(const HazardPoint&)>& visit);

// The most rows a hazard table or a list of hazard magnitudes may have: the
// classic table over 1000 magnitude units (a table over the whole scale has
// about 100).
inline constexpr std::size_t kMostHazardRows = 10000;
// Rows of the classic table of the model (Mmin to Mmax in steps of 0.1),
// counted without building it; 0 for an Mmax not above Mmin.
std::size_t HazardTableRows(const HazardModel& model);
// Throws InvalidOptions, naming the value and the bound, for a model and
// spans that can give no hazard: a Beta, Lambda or span that is not a finite
// number at or above the smallest normal single-precision number (1.18e-38),
// an SD of Lambda that is negative or not finite, an Mmin or Mmax that is not
// finite, an Mmax not above Mmin.
void CheckHazardModel(const HazardModel& model, const std::vector<float>& spans);
// The hazard for the tools and Python: the model checked, the magnitudes
// finite and at most kMostHazardRows of them (HazardTable: its rows counted
// before it is built), and every figure of every row a finite number
// (InvalidOptions naming the magnitude and the model otherwise: a Beta so
// large that exp(-Beta m) leaves single precision).
std::vector<HazardPoint> CheckedHazard(const HazardModel& model,
                                       const std::vector<float>& magnitudes,
                                       const std::vector<float>& spans);
std::vector<HazardPoint> HazardTable(const HazardModel& model, const std::vector<float>& spans);

// How the Mmax of the estimates came about: the suggestions settled on it,
// they did not settle (the last run's Mmax is no estimate), or it was given
// (a list of Mmax values, no procedure, or a cap that was reached).
enum class MmaxStatus { Settled, Unsettled, Fixed };
// "settled", "unsettled", "fixed".
const char* MmaxStatusName(MmaxStatus status);

struct AnalysisResult {
  ResolvedSettings settings;
  StartingValues start;
  std::vector<RunResult> runs;  // in order; the last gives the estimates
  // Whether the last run's suggestion lies within mmax_tolerance of the Mmax
  // that run used (always false with MmaxProcedure::None).
  bool mmax_converged = false;
  MmaxStatus mmax_status = MmaxStatus::Unsettled;
  float beta = 0.0f;
  float lambda = 0.0f;
  float mmax = 0.0f;  // the Mmax of the last run
  Uncertainties uncertainties;
  HazardModel hazard_model() const {
    return {beta, lambda, uncertainties.sd_lambda, settings.mmin, mmax};
  }
};

// The whole analysis: the starting point, run after run, then the
// uncertainties at the last run's estimates. Without mmax_values and with a
// procedure, the first run uses the starting Mmax and each later run takes
// the previous run's suggestion, raised to Xmax when below it, exactly what a
// careful user does by hand in the classic Mmax dialog (there the suggestion
// is shown to two decimals; here it is taken as computed). The runs stop when
// a suggestion lies within mmax_tolerance of the Mmax its run used, when a
// run gives no suggestion or one above the units' plausible limit (10 for
// magnitude, 12 for intensity: the classic dialog offers none then), or after
// max_runs runs. With mmax_values the runs use exactly those values; with
// MmaxProcedure::None and no list there is one run at the starting Mmax.
// With mmax_cap (and no list) see AnalysisOptions::mmax_cap.
// The catalog is decoded once for all the runs. A result whose figures are
// no estimate (CheckEstimates) is not returned: UnusableEstimate is thrown.
// Cancelled when options.cancel is raised.
AnalysisResult Analyze(const Catalog& catalog, const AnalysisOptions& options);

// Throws UnusableEstimate when a figure of the result is no estimate: Mmin,
// Xmax, Beta, Lambda, Mmax, b, an SD, the transmission coefficient, a contribution or
// the data share that is not a finite number; a Beta or Lambda below the
// smallest normal single-precision number; an Mmax not above Mmin.
void CheckEstimates(const AnalysisResult& result);

}  // namespace qev
