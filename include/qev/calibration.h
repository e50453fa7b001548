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

#include <cstdint>
#include <string>
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
// merged into the next, as the data's own empty windows were. Throws
// InvalidOptions for a law that is not finite and positive with mmax > mmin.
Catalog SimulateCatalog(const Catalog& design, const SimulationLaw& law, std::uint64_t seed);

struct BootstrapOptions {
  std::int32_t replicates = 200;  // simulated catalogs of stage 2 (at least 20)
  std::uint64_t seed = 1;
  std::int32_t threads = 1;              // threads of this call
  std::vector<float> hazard_magnitudes;  // magnitudes of the hazard band
};

// One quantity. Stage 1 simulates replicates/2 catalogs from the fitted law;
// the estimate less their mean bias gives a corrected law, from which stage 2
// simulates `replicates` catalogs. The bias is stage 2's mean re-estimate
// less the corrected law's value (the bias at the corrected point), the
// corrected estimate the estimate less that bias, sd the SD of stage 2's
// re-estimates, and the basic intervals the corrected estimate less the
// 84.13th/15.87th (97.5th/2.5th) percentiles of stage 2's deviations from
// their mean. docs/method.md, section 12.
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
  CalibratedValue b;  // decimal b-value
  CalibratedValue lambda;
  CalibratedValue mmax;
  std::vector<CalibratedRate> hazard;
  std::int32_t replicates = 0;  // of stage 2, analysed
  std::int32_t failed = 0;      // of stage 2, catalogs the analysis could not estimate
  // Share of the analysed replicates whose Mmax procedure did not settle.
  double unsettled_share = 0.0;
  // False when the intervals cannot be trusted to cover the truth as stated:
  // Mmax far above the largest observed event (the likelihood hardly bounds
  // it); a bias that changes fast with the law (the mean re-estimate moving
  // by less than 0.7 of a measurable step between the stages' laws: the
  // corrected estimate then scatters more than the intervals show); many
  // unsettled or failed replicates. `warning` says which.
  bool calibrated = true;
  std::string warning;
};

// The estimate lies this far (in magnitude units) above the largest observed
// magnitude before the Mmax intervals are flagged as not calibrated.
inline constexpr double kMmaxFarAboveLargest = 1.0;

// Parametric-bootstrap intervals for `fit`, the analysis of `catalog` with
// `options`. Throws InvalidOptions for fewer than 20 replicates or less than
// one thread, and the errors of SimulateCatalog.
CalibratedIntervals BootstrapIntervals(const Catalog& catalog, const AnalysisOptions& options,
                                       const AnalysisResult& fit,
                                       const BootstrapOptions& bootstrap);

}  // namespace qev
