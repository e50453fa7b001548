// Completeness from the data: the magnitude of completeness Mc of a set of
// magnitudes (maximum curvature, goodness of fit, b-value stability, each
// with a bootstrap SD), and a completeness table estimated from an event
// table (Mc in successive time windows, or the Stepp 1971 analysis), merged
// into steps whose Mc only falls with time, as the split takes them.
//
// Double precision throughout: nothing here feeds the classic figures.
// Methods, parameters and their sources: docs/method.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "qev/catalog_split.h"
#include "qev/events.h"

namespace qev {

// Methods of Mc for one set of magnitudes.
enum class McMethod {
  MaxCurvature,     // maxc: the bin of the most events (Wiemer & Wyss 2000) + a correction
  GoodnessOfFit90,  // gft90: the first Mc whose Gutenberg-Richter fit explains 90 %
  GoodnessOfFit95,  // gft95: the same at 95 % (Wiemer & Wyss 2000)
  BValueStability,  // mbs: the first Mc from which b is stable (Cao & Gao 2002; Woessner &
                    // Wiemer 2005)
};

// Methods of the completeness table.
enum class CompletenessTableMethod {
  McWindows,  // windows: Mc in successive time windows
  Stepp,      // stepp: the span over which each magnitude class keeps its rate (Stepp 1971)
};

// The name tables: "maxc", "gft90", "gft95", "mbs"; "windows", "stepp".
// Parse... throw InvalidOptions naming `what`, the text and the names.
std::string_view McMethodName(McMethod method);
McMethod ParseMcMethod(std::string_view name, const std::string& what);
std::string_view CompletenessTableMethodName(CompletenessTableMethod method);
CompletenessTableMethod ParseCompletenessTableMethod(std::string_view name,
                                                     const std::string& what);

struct McOptions {
  McMethod method = McMethod::MaxCurvature;
  double bin = 0.1;              // magnitude bin width
  double maxc_correction = 0.2;  // added to the maximum-curvature Mc (Woessner & Wiemer 2005)
  // Least events at and above a trial Mc (goodness of fit, b-value stability;
  // for b-value stability each b of the average too).
  std::size_t min_events = 50;
  double mbs_span = 0.5;        // magnitude span of the b-value average (b-value stability)
  std::size_t bootstrap = 200;  // bootstrap samples of the SD of Mc (0: none)
  std::uint64_t seed = 1;       // of the bootstrap's generator
  // Throws InvalidOptions naming the option and its value.
  void Validate() const;
};

// Counts of magnitudes in bins of width `bin`: bin k holds the magnitudes m
// with round(m / bin) = first + k (halves rounded up); its centre is
// (first + k) * bin.
struct MagnitudeHistogram {
  double bin = 0.1;
  std::int64_t first = 0;
  std::vector<double> counts;
  double centre(std::size_t k) const {
    return static_cast<double>(first + static_cast<std::int64_t>(k)) * bin;
  }
  double total() const;
};
MagnitudeHistogram BinMagnitudes(std::span<const float> magnitudes, double bin);

// Maximum-likelihood b-value of the events in bins from `from` on (Aki 1965
// with Utsu's correction for binned magnitudes: b = log10(e) / (mean - (Mc -
// bin/2))) and its SD (Shi & Bolt 1982: 2.30 b^2 sqrt(sum (m - mean)^2 /
// (n (n - 1)))). NaN when fewer than two events.
struct BValue {
  double b = 0.0;
  double sd = 0.0;
  double events = 0.0;
};
BValue MaximumLikelihoodB(const MagnitudeHistogram& histogram, std::size_t from);

struct McEstimate {
  McMethod method = McMethod::MaxCurvature;
  double mc = 0.0;       // from the magnitudes given (NaN: no estimate)
  double mc_mean = 0.0;  // mean of the bootstrap samples' Mc
  double mc_sd = 0.0;    // their SD (0 without bootstrap)
  BValue b;              // at and above mc
  std::size_t events = 0;
  // Goodness of fit or b-value stability found no Mc: the maximum curvature
  // (with its correction) was taken instead.
  bool fallback = false;
};

// Mc of the histogram's magnitudes by options.method, without bootstrap; NaN
// for an empty histogram. `fallback` (when given) tells whether the maximum
// curvature stood in.
double McOfHistogram(const MagnitudeHistogram& histogram, const McOptions& options,
                     bool* fallback = nullptr);

// Mc with its bootstrap SD: each sample draws as many events as given from
// the histogram's bins (multinomially), so the magnitudes are binned once.
McEstimate EstimateMc(std::span<const float> magnitudes, const McOptions& options);
McEstimate EstimateMc(const MagnitudeHistogram& histogram, const McOptions& options);

struct CompletenessOptions {
  CompletenessTableMethod table = CompletenessTableMethod::McWindows;
  McOptions mc;
  double window_years = 5.0;  // successive windows from 1 January of the first event's year
  // Windows of fewer events are joined with the next (the last with the one
  // before).
  std::size_t window_min_events = 50;
  // Windows whose Mc stay within this of their mean are one step; adjacent
  // steps closer than this join (the higher Mc, the earlier year).
  double merge_tolerance = 0.25;
  double stepp_class_width = 0.5;     // magnitude classes from the youngest window's Mc up
  double stepp_interval_years = 5.0;  // spans grow by this much back from the end
  double stepp_significance = 0.01;   // Poisson lower tail of a departure
  std::size_t stepp_min_events = 10;  // least events of a class (the top class is open)
  void Validate() const;
};

// The options by name, one table for the job file ([completeness]), the
// command line (--completeness-set KEY=VALUE) and Python's keywords:
// table (windows|stepp), mc_method (maxc|gft90|gft95|mbs), bin,
// maxc_correction, min_events, mbs_span, bootstrap, seed, window_years,
// window_min_events, merge_tolerance, stepp_class_width,
// stepp_interval_years, stepp_significance, stepp_min_events. Throws
// InvalidOptions naming `what`, the key and the value (an unknown key lists
// the known ones). The range of each value is checked by Validate.
void SetCompletenessOption(CompletenessOptions& options, std::string_view key,
                           std::string_view value, const std::string& what);
std::vector<std::string> CompletenessOptionKeys();

// Mc of one time window [start, end) in decimal years.
struct McWindow {
  double start = 0.0;
  double end = 0.0;
  McEstimate estimate;
};

// One magnitude class of the Stepp analysis: [low, high) (high infinite for
// the top class). For spans T_k = k * interval back from the end: the events
// and the rate SD sqrt(lambda / T) with lambda = N / T. The class keeps its
// rate over `complete_span` years (from `complete_from`, a decimal year).
struct SteppClass {
  double low = 0.0;
  double high = 0.0;
  std::vector<double> spans;
  std::vector<double> events;
  std::vector<double> rate_sd;
  double complete_span = 0.0;
  double complete_from = 0.0;
  double rate = 0.0;  // events a year over the complete span
};

struct CompletenessEstimate {
  CompletenessOptions options;
  // Calendar decimal years (EventYears): 1 January of the first event's year,
  // and the end of the last day observed.
  double start = 0.0;
  double end = 0.0;
  std::vector<McWindow> windows;
  std::vector<SteppClass> stepp;
  std::vector<CompletenessStep> windows_table;
  std::vector<CompletenessStep> stepp_table;
  std::vector<CompletenessStep> table;  // the one options.table names
};

// The completeness table of the events observed to `end` (the last day
// observed; default the day of the last event). Both tables are estimated;
// `table` is the chosen one. Throws InvalidOptions for bad options and
// NoEstimate for a table without events.
CompletenessEstimate EstimateCompleteness(const EventTable& events,
                                          const CompletenessOptions& options,
                                          const std::optional<CivilDate>& end = std::nullopt);

// The events' times as calendar decimal years: the year plus the share of
// its days gone at the (completed) date and time of day.
std::vector<double> EventYears(const EventTable& events);

// Steps of Mc (one per time slice, in time order) merged into a table whose
// Mc only falls with time: each slice takes the largest Mc of itself and the
// slices after it, and adjacent steps closer than `tolerance` join.
std::vector<CompletenessStep> MergeSteps(const std::vector<CompletenessStep>& slices,
                                         double tolerance);

// The table as --completeness takes it: 1964:5.5,1990:4.5.
std::string FormatCompletenessOption(const std::vector<CompletenessStep>& table);
// As the prepare job's [split] table takes it: [[1964, 5.5], [1990, 4.5]].
std::string FormatCompletenessToml(const std::vector<CompletenessStep>& table);
// The printed account: the windows with Mc +- SD, the Stepp classes with their
// complete spans, the chosen table in both forms.
std::string FormatCompletenessReport(const CompletenessEstimate& estimate);

// The figures as SVG documents: the cumulative number against time per Stepp
// class (as a fraction of the class's events), Stepp's rate SD against the
// span, Mc against time with its SD and the table.
std::string CumulativeCountSvg(const EventTable& events, const CompletenessEstimate& estimate);
std::string SteppSvg(const CompletenessEstimate& estimate);
std::string McTimeSvg(const CompletenessEstimate& estimate);
// The three as completeness_cumulative.svg, completeness_stepp.svg and
// completeness_mc.svg in `directory` (each written beside, then renamed);
// returns the paths. Throws Error when one cannot be written.
std::vector<std::string> WriteCompletenessFigures(const EventTable& events,
                                                  const CompletenessEstimate& estimate,
                                                  const std::string& directory);

}  // namespace qev
