// End-to-end recovery check: the generator draws catalogs with known truth,
// the classic-file readers read the files it writes, Analyze follows the
// suggested Mmax until it settles, and the estimates must lie within three of
// their standard deviations of the truth.
//
// Rule: for each data kind (extremes, complete parts, both) and each of Beta,
// Lambda and Mmax, at least kRequired of kSeeds seeds must satisfy
// |estimate - truth| <= 3 SD. With a correct model and correct standard
// deviations nearly every seed would; the margin allows for the
// approximations of the method (the Mmax estimate feeds back into Beta, and
// the extreme-part likelihood is biased when a window holds few events above
// the threshold: with one-year windows Beta passed in only 7 of 10 seeds, with
// three-year windows in all of them).
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <sstream>
#include <string>

#include "companion/synth.h"
#include "companion/synth_command.h"
#include "qev/analysis.h"
#include "qev/classic_files.h"

namespace qev::companion {
namespace {

constexpr int kSeeds = 10;
constexpr int kRequired = 8;

// The truth of every catalog of this check.
constexpr float kBeta = 0.9f * 2.302585f;
constexpr float kLambda = 10.0f;  // per year at or above Mmin = 4
constexpr float kMmin = 4.0f;
constexpr float kMmax = 7.0f;

bool Within(float estimate, float sd, float truth) {
  return std::fabs(estimate - truth) <= 3.0f * sd;
}

Catalog Generate(int seed) {
  const SynthCommand command = ParseSynthCommand(
      {"--b", "0.9", "--lambda", "10", "--mmin", "4", "--mmax", "7", "--seed", std::to_string(seed),
       "--extreme", "1600:1899,window=3,threshold=4.6,sd=0.3,layout=1", "--complete",
       "1900:1959,threshold=5,sd=0.2", "--complete", "1960:1999,threshold=4.5,sd=0.1"});
  const GeneratedCatalog generated = GenerateCatalog(command.Plan);
  Catalog catalog;
  std::istringstream extreme(generated.Extreme->Text);
  catalog.extreme = ReadExtremeFile(extreme, "extreme.dat", ExtremeLayout::PerEventSd).part;
  for (const GeneratedPart& part : generated.Complete) {
    std::istringstream text(part.Text);
    catalog.complete.push_back(
        ReadCompleteFile(text, part.FileName, CompleteLayout::CommonSd).part);
  }
  return catalog;
}

class Recovery : public ::testing::TestWithParam<DataKind> {};

TEST_P(Recovery, EstimatesLieWithinThreeStandardDeviationsOfTheTruth) {
  AnalysisOptions options;
  options.data_kind = GetParam();
  options.mmin = kMmin;  // below every level of the catalogs (4.5 and up)
  options.sig_xmax = GetParam() == DataKind::Complete ? 0.2f : 0.3f;
  options.prior_b_sd = 0.25f;  // weak prior: the data decide
  int beta = 0;
  int lambda = 0;
  int mmax = 0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    const AnalysisResult r = Analyze(Generate(seed), options);
    const Uncertainties& u = r.uncertainties;
    beta += Within(r.beta, u.sd_beta, kBeta);
    lambda += Within(r.lambda, u.sd_lambda, kLambda);
    mmax += Within(r.mmax, u.sd_mmax, kMmax);
    std::cout << "seed " << seed << ": Beta " << r.beta << " +- " << u.sd_beta << ", Lambda "
              << r.lambda << " +- " << u.sd_lambda << ", Mmax " << r.mmax << " +- " << u.sd_mmax
              << " after " << r.runs.size() << " runs\n";
  }
  std::cout << "within 3 SD of the truth in " << beta << ", " << lambda << ", " << mmax << " of "
            << kSeeds << " seeds (Beta, Lambda, Mmax)\n";
  EXPECT_GE(beta, kRequired);
  EXPECT_GE(lambda, kRequired);
  EXPECT_GE(mmax, kRequired);
}

INSTANTIATE_TEST_SUITE_P(DataKinds, Recovery,
                         ::testing::Values(DataKind::Extremes, DataKind::Complete,
                                           DataKind::ExtremesAndComplete),
                         [](const ::testing::TestParamInfo<DataKind>& info) {
                           return "DataKind" + std::to_string(static_cast<int>(info.param));
                         });

}  // namespace
}  // namespace qev::companion
