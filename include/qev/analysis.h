// The estimation: Beta, Lambda and Mmax of the doubly truncated
// Gutenberg-Richter law from a catalog with normal magnitude errors, their
// uncertainties, and the seismic hazard they imply.
//
// Precision: every quantity is single precision and computed in the order the
// classic program computes it, so that the same catalog and settings give the
// same floats as the classic report prints from. Beta is per unit magnitude on
// the natural-log scale (b = 0.43429 Beta); Lambda is the annual rate of
// events at or above Mmin; times are in years.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "qev/catalog.h"

namespace qev {

// How the regional maximum magnitude is estimated after each run.
enum class MmaxProcedure {
  None = 0,    // no estimate: the runs use the Mmax values given
  Cramer = 1,  // Cramer's approximation through E1
  Bayes = 2,   // Bayesian form, SD(Beta) = 0.25 Beta, Romberg integration
};

// Where the minimisation starts.
enum class StartingPointKind {
  ByProgram = 1,  // from the catalog (the extreme part alone, else the last complete part)
  Given = 2,      // the Lambda and Mmax of AnalysisOptions (Beta from the prior)
};

struct AnalysisOptions {
  Units units = Units::Magnitude;
  float mmin = 0.0f;  // threshold magnitude of the whole catalog (required)
  // Maximum observed magnitude; default the largest of the catalog.
  std::optional<float> xmax;
  float sig_xmax = 0.2f;  // SIG(Xmax): the error of Xmax
  // Span of years to which Xmax belongs; default the span of the whole
  // catalog (extreme period plus complete periods).
  std::optional<float> span_t;
  MmaxProcedure procedure = MmaxProcedure::Cramer;
  float prior_b = 1.0f;     // prior decimal b-value
  float prior_b_sd = 0.1f;  // its standard deviation (raised to 0.001 / ln 10 at least)
  StartingPointKind start = StartingPointKind::ByProgram;
  float start_lambda = 0.0f;  // Given start: Lambda for Mmin
  float start_mmax = 0.0f;    // Given start: Mmax of the first run (above Mmin)
  // Mmax of each run. Empty: the first run uses the starting Mmax and each
  // later run the previous suggestion, until the suggestion moves less than
  // mmax_tolerance or max_runs runs were made.
  std::vector<float> mmax_values;
  float mmax_tolerance = 0.005f;
  std::int32_t max_runs = 20;
  // The simplex: max over vertices |Beta(1) - Beta(i)| < simplex_tolerance,
  // or iteration_limit steps.
  float simplex_tolerance = 0.002f;
  std::int32_t iteration_limit = 99;
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
  bool converged = false;               // false: the iteration limit ended the search
  std::optional<float> suggested_mmax;  // none with MmaxProcedure::None or no estimate
};

// Share of one part in the information about Beta and Lambda, in percent.
struct DataContribution {
  float beta = 0.0f;
  float lambda = 0.0f;
};

struct Uncertainties {
  float sd_beta = 0.0f;
  float sd_lambda = 0.0f;
  float b = 0.0f;     // 0.43429 Beta
  float sd_b = 0.0f;  // 0.43429 SD(Beta)
  float sd_mmax = 0.0f;
  float transmission_coefficient = 0.0f;
  // The complete parts in catalog order, then the extreme part (when the
  // catalog has one).
  std::vector<DataContribution> contributions;
};

// The settings the steps below share, resolved once from the catalog and the
// options (Xmax and SpanT filled in, the prior converted to Beta).
struct ResolvedSettings {
  DataKind kind = DataKind::Complete;
  float mmin = 0.0f;
  float xmax = 0.0f;
  float sig_xmax = 0.0f;
  float span_t = 0.0f;
  float prior_beta = 0.0f;
  float prior_beta_sd = 0.0f;
};
ResolvedSettings Resolve(const Catalog& catalog, const AnalysisOptions& options);

// The starting point chosen by the options. Throws NoEstimate when the
// catalog cannot give one (no events, a zero span, a mean magnitude at the
// threshold).
StartingValues StartingPoint(const Catalog& catalog, const AnalysisOptions& options);

// One run: the simplex from `start` at the given Mmax, then the suggested
// Mmax by the options' procedure. Throws TrialPointNotPositive.
RunResult EstimateRun(const Catalog& catalog, const AnalysisOptions& options,
                      const StartingValues& start, float mmax);

// Standard deviations, transmission coefficient and data contributions at
// (beta, lambda, mmax). The catalog is not modified.
Uncertainties EstimateUncertainties(const Catalog& catalog, const AnalysisOptions& options,
                                    float beta, float lambda, float mmax);

// The hazard of the law (beta, lambda, mmin, mmax) at one magnitude.
struct HazardPoint {
  float magnitude = 0.0f;
  float annual_rate = 0.0f;    // events per year above the magnitude
  float return_period = 0.0f;  // years; 1e35 for a rate at or below 1e-35
  // Return periods of (Lambda + SD) and (Lambda - SD): the band of Lambda only.
  float return_period_lower = 0.0f;
  float return_period_upper = 0.0f;
  float probability_one_year = 0.0f;
  std::vector<float> probabilities;  // of exceedance within each span
};

struct HazardModel {
  float beta = 0.0f;
  float lambda = 0.0f;
  float sd_lambda = 0.0f;
  float mmin = 0.0f;
  float mmax = 0.0f;
};

// The hazard at given magnitudes (each between Mmin and Mmax) and spans.
std::vector<HazardPoint> Hazard(const HazardModel& model, const std::vector<float>& magnitudes,
                                const std::vector<float>& spans);

// The classic table: from Mmin in steps of 0.1 (a running single-precision
// sum) to below Mmax, Mmin itself taken as Mmin + 0.004.
std::vector<HazardPoint> HazardTable(const HazardModel& model, const std::vector<float>& spans);

struct AnalysisResult {
  ResolvedSettings settings;
  StartingValues start;
  std::vector<RunResult> runs;  // in order; the last gives the estimates
  // With iteration to the suggestion: whether it settled within
  // mmax_tolerance before max_runs.
  bool mmax_converged = false;
  float beta = 0.0f;
  float lambda = 0.0f;
  float mmax = 0.0f;
  Uncertainties uncertainties;
  HazardModel hazard_model() const {
    return {beta, lambda, uncertainties.sd_lambda, settings.mmin, mmax};
  }
};

// The whole analysis: the starting point, run after run, then the
// uncertainties at the last run's estimates.
AnalysisResult Analyze(const Catalog& catalog, const AnalysisOptions& options);

}  // namespace qev
