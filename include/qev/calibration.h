// Calibrated intervals by the parametric bootstrap: catalogs are simulated
// from the fitted law with the data's own design (the periods, thresholds and
// per-event standard deviations of the complete parts, the intervals of the
// extreme part), each is analysed with the same settings, and the spread of
// the re-estimates around the fitted values gives a bias-corrected estimate
// and intervals of b, Lambda and Mmax (and a band of the hazard).
//
// The simulations and the statistics are in double precision; the analyses
// of the simulated catalogs are the engine's own (qev/analysis.h). Nothing
// here reads or writes files or keeps state between calls; the replicates are
// drawn from the seed alone, so that the result does not depend on the
// number of threads.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qev/analysis.h"
#include "qev/catalog.h"

namespace qev {

// The law a catalog is simulated from.
struct SimulationLaw {
  double beta = 0.0;
  double lambda = 0.0;  // annual rate at or above mmin
  double mmin = 0.0;
  double mmax = 0.0;
};

// A catalog with the design of `design` drawn from `law`. One history of
// events serves every part. A complete part lists each event of its period
// whose apparent magnitude (the true one plus a normal error, rounded to
// hundredths) reaches its threshold, the error's SD drawn from the SDs of the
// part's rows (weighted by frequency; the part's SD when it has no rows). The
// extreme part has one window per observed event, from the event before it
// (or the start) to it, the last window reaching the end of the period; the
// largest apparent magnitude of a window, with the SD of that window's
// observed event, is listed at the observed date when it reaches the part's
// level (its smallest observed magnitude), and a window that does not is
// merged into the next, as the data's own empty windows were. The history is
// drawn as candidate events at the rate `envelope` (the law's Lambda when
// smaller, as by default), each kept with probability Lambda / envelope and
// taking the same draws kept or not: two laws drawn with one seed and one
// envelope give catalogs that differ only where the laws do (common random
// numbers). Throws InvalidOptions for a law that is not finite and positive
// with mmax > mmin.
Catalog SimulateCatalog(const Catalog& design, const SimulationLaw& law, std::uint64_t seed,
                        double envelope = 0.0);

// How the intervals are built from the replicates (docs/method.md, section 12).
enum class BootstrapMethod {
  // Test inversion: the laws under which the estimate lies at the percentiles
  // of the re-estimates, the mean re-estimates moving with the law by the
  // slopes measured with common random numbers (the default).
  Inverted,
  // Bootstrap-t: the errors of the re-estimates in units of each replicate's
  // own reported SD, scaled by the data's reported SD.
  Studentized,
  // The corrected estimate less the percentiles of stage 2's deviations from
  // their mean (the construction of the first version).
  Basic,
};
// "inverted", "studentized", "basic".
const char* BootstrapMethodName(BootstrapMethod method);
// The method of a name, or none for a name that is not one.
std::optional<BootstrapMethod> BootstrapMethodFromName(std::string_view name);

struct BootstrapOptions {
  std::int32_t replicates = 200;  // simulated catalogs of stage 2 (at least 20)
  std::uint64_t seed = 1;
  std::int32_t threads = 1;              // threads of this call
  std::vector<float> hazard_magnitudes;  // magnitudes of the hazard band
  BootstrapMethod method = BootstrapMethod::Inverted;
};

// One quantity. Stage 1 simulates replicates/2 catalogs from the fitted law;
// the estimate less their mean bias gives a corrected law, from which stage 2
// simulates `replicates` catalogs. The bias is stage 2's mean re-estimate
// less the corrected law's value (the bias at the corrected point), the
// corrected estimate the estimate less that bias, sd the SD of stage 2's
// re-estimates (inverted: carried back to the law's scale). The intervals:
//   Inverted (Carpenter 1999): stage 3 gives the slopes S of the mean
//     re-estimates of (b, Lambda, Mmax) against the law's, and how the
//     spread of each grows with its law; each stage 2 re-estimate's
//     deviation from their mean is carried back as S^-1 times it, and the
//     bounds are the corrected law plus S^-1 (estimate - mean) less the
//     84.13th/15.87th (97.5th/2.5th) percentiles of those, scaled by the
//     spread at the bound's law. With Mmax given, b and Lambda only. The
//     hazard band: the percentiles of the rate over the laws of the
//     inversion (the others: the basic construction on the log rate).
//   Studentized: t = (re-estimate - the value of the law it was drawn from) /
//     (its own reported SD) over the replicates of both stages; the bounds
//     the estimate less the 84.13th/15.87th (97.5th/2.5th) percentiles of t
//     times the data's reported SD (Efron and Tibshirani 1993, ch. 12).
//   Basic: the corrected estimate less the 84.13th/15.87th (97.5th/2.5th)
//     percentiles of stage 2's deviations from their mean.
// docs/method.md, section 12.
struct CalibratedValue {
  double estimate = 0.0;
  double bias = 0.0;
  double corrected = 0.0;
  double sd = 0.0;
  double lower68 = 0.0;
  double upper68 = 0.0;
  double lower95 = 0.0;
  double upper95 = 0.0;
};

// The annual rate above a magnitude, with the same construction on the
// logarithm of the rate.
struct CalibratedRate {
  double magnitude = 0.0;
  double annual_rate = 0.0;
  double corrected = 0.0;
  double lower68 = 0.0;
  double upper68 = 0.0;
  double lower95 = 0.0;
  double upper95 = 0.0;
};

struct CalibratedIntervals {
  BootstrapMethod method = BootstrapMethod::Inverted;  // how b, Lambda and Mmax were built
  CalibratedValue b;                                   // decimal b-value
  CalibratedValue lambda;
  CalibratedValue mmax;
  std::vector<CalibratedRate> hazard;
  std::int32_t replicates = 0;  // of stage 2, analysed
  std::int32_t failed = 0;      // of stage 2, catalogs the analysis could not estimate
  // Share of the analysed replicates whose Mmax procedure did not settle.
  double unsettled_share = 0.0;
  // False when the intervals cannot be trusted to cover the truth as stated:
  // Mmax far above the largest observed event (the likelihood hardly bounds
  // it); many unsettled or failed replicates; for the inverted intervals a
  // slope outside 0.5-2, slopes that cannot be inverted, or stage 1's mean
  // re-estimate more than three standard errors from where the slopes put it
  // (the re-estimates do not move linearly with the law); for the others a
  // bias that changes fast with the law (the mean re-estimate moving by less
  // than 0.7 of a measurable step between the stages' laws: the corrected
  // estimate then scatters more than the intervals show), and for the
  // studentized ones a missing reported SD; and data that are an extreme
  // part alone. `warning` says which.
  bool calibrated = true;
  std::string warning;
};

// The estimate lies this far (in magnitude units) above the largest observed
// magnitude before the Mmax intervals are flagged as not calibrated.
inline constexpr double kMmaxFarAboveLargest = 1.0;

// What one simulated catalog gave: its estimates and their reported SDs
// (decimal b), and the logarithm of the annual rate at each hazard magnitude.
struct BootstrapReplicate {
  bool ok = false;
  bool settled = true;  // the Mmax procedure settled (or there was none)
  double b = 0.0, sd_b = 0.0;
  double lambda = 0.0, sd_lambda = 0.0;
  double mmax = 0.0, sd_mmax = 0.0;
  std::vector<double> log_rates;
};

// The stages' replicates and the laws they were drawn from.
struct BootstrapSample {
  SimulationLaw fitted;     // stage 1's
  SimulationLaw corrected;  // stage 2's
  double envelope = 0.0;    // rate of the candidate events of stages 2 and 3
  std::vector<BootstrapReplicate> stage1;
  std::vector<BootstrapReplicate> stage2;
  // Stage 3, drawn for the inverted intervals only: for b, Lambda and Mmax in
  // turn, the first replicates/4 (at least 20) of stage 2 drawn again from
  // the same seeds with that quantity of the corrected law moved up by
  // shifts[q] (its SD in stage 1; decimal b), the others kept.
  std::array<std::vector<BootstrapReplicate>, 3> shifted;
  std::array<double, 3> shifts = {0.0, 0.0, 0.0};
  // The data are an extreme part without a complete part: a design on which
  // the intervals of b and Lambda hold the truth less often than they claim
  // (docs/method.md, section 12), so that the result is flagged.
  bool extreme_alone = false;
};

// Draws both stages for `fit`, the analysis of `catalog` with `options`.
// Throws InvalidOptions for fewer than 20 replicates or less than one thread,
// and the errors of SimulateCatalog.
BootstrapSample DrawBootstrapSample(const Catalog& catalog, const AnalysisOptions& options,
                                    const AnalysisResult& fit, const BootstrapOptions& bootstrap);

// The intervals of a sample by `bootstrap.method` (its hazard magnitudes
// those the sample was drawn with). Throws NoEstimate when fewer than 20
// replicates of stage 2 gave an estimate.
CalibratedIntervals IntervalsFromSample(const BootstrapSample& sample,
                                        const AnalysisOptions& options, const AnalysisResult& fit,
                                        const BootstrapOptions& bootstrap);

// Parametric-bootstrap intervals: DrawBootstrapSample, then
// IntervalsFromSample.
CalibratedIntervals BootstrapIntervals(const Catalog& catalog, const AnalysisOptions& options,
                                       const AnalysisResult& fit,
                                       const BootstrapOptions& bootstrap);

}  // namespace qev
