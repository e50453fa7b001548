// A calibration study: many catalogs drawn by the generator from one design
// with known truth, each analysed as a user would, and the bias, RMSE and
// coverage of the reported intervals of b, Lambda and Mmax per Mmax
// procedure (and, when asked, of the parametric-bootstrap intervals).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "companion/synth.h"
#include "qev/analysis.h"

namespace qev::companion {

struct StudyOptions {
  SynthPlan Design;  // the truth and the parts; its seed is the first catalog's
  std::int32_t Catalogs = 1000;
  std::int32_t Threads = 1;
  // The analysis of each catalog (Mmin, SIG(Xmax), prior...); its procedure
  // is replaced by each of Procedures in turn. Fixed: Mmax held at the truth.
  AnalysisOptions Analysis;
  std::vector<std::string> Procedures = {"cramer", "bayes"};
  std::int32_t BootstrapReplicates = 0;  // 0: no bootstrap intervals
  // How the bootstrap intervals are built (BootstrapMethodName), each from
  // the same replicates; the first gives the corrected estimates' figure.
  std::vector<std::string> BootstrapMethods = {"inverted"};
};

// The bootstrap intervals of one catalog by one method.
struct StudyBootstrap {
  double Bc[5] = {}, Lc[5] = {}, Mc[5] = {};  // corrected, lower68, upper68, lower95, upper95
  double BootSd[3] = {};                      // SD of the re-estimates of b, Lambda, Mmax
  bool Calibrated = true;                     // what the result said of itself
};

// One analysis of one catalog under one procedure.
struct StudyEstimate {
  std::uint64_t Seed = 0;
  std::string Procedure;
  bool Ok = false;
  double B = 0.0, SdB = 0.0;
  double Lambda = 0.0, SdLambda = 0.0;
  double Mmax = 0.0, SdMmax = 0.0;
  bool Bootstrapped = false;  // Boot is filled, one per method
  std::vector<StudyBootstrap> Boot;
};

// The summary of one quantity under one procedure and one kind of interval.
struct StudyRow {
  std::string Procedure;
  std::string Intervals;  // "reported", or the bootstrap method's name
  std::string Quantity;   // b, lambda, mmax
  double Truth = 0.0;
  std::int32_t Analysed = 0;
  std::int32_t Failed = 0;
  double Mean = 0.0;
  double Bias = 0.0;
  double BiasInSd = 0.0;  // mean of (estimate - truth) / SD
  double Rmse = 0.0;
  double Cover68 = 0.0;  // share of the catalogs whose interval holds the truth
  double Cover95 = 0.0;
  double Flagged = 0.0;  // share of the catalogs whose bootstrap result said calibrated = false
};

struct StudyResult {
  std::vector<StudyEstimate> Estimates;  // catalog by catalog, procedures in order
  std::vector<StudyRow> Rows;
  std::vector<std::string> Warnings;  // of the generator, once each
  double Seconds = 0.0;
};

// Runs the study. Throws SynthError for a design the generator refuses and
// InvalidOptions for a procedure name it does not know or fewer than one
// catalog or thread.
StudyResult RunStudy(const StudyOptions& options);

// The summary table (one line per row, a header first).
std::string StudyCsv(const StudyResult& result);
// Every estimate (one line per catalog and procedure).
std::string EstimatesCsv(const StudyResult& result);
// The figure: the estimates of each quantity against its truth, and the
// coverage of the intervals against their nominal 68 % and 95 %.
std::string StudySvg(const StudyResult& result, const std::string& title);

}  // namespace qev::companion
