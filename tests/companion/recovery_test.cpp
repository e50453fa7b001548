// End-to-end recovery check: qev-synth writes catalogs with known truth, an
// answer script drives qev on them, and the estimates qev reports must lie
// within three of their reported standard deviations of the truth.
//
// Rule: for each data kind (1 extremes, 2 complete parts, 3 both) and each of
// Beta, Lambda and Mmax, at least kRequired of kSeeds seeds must satisfy
// |estimate - truth| <= 3 SD. With a correct model and correct standard
// deviations nearly every seed would; the margin allows for the
// approximations of the method (the Mmax estimate feeds back into Beta, and
// the extreme-part likelihood is biased when a window holds few events above
// the threshold: with one-year windows Beta passed in only 7 of 10 seeds, with
// three-year windows in all of them).
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "companion/report_file.h"
#include "companion/session_script.h"
#include "harness/harness.h"

namespace qev::companion {
namespace {

using qev::testing::ShellQuote;
using qev::testing::Workspace;

constexpr int kSeeds = 10;
constexpr int kRequired = 8;
// Runs of the Mmax loop: each answers the previous run's suggestion.
constexpr int kMaxRuns = 4;
// Two suggestions this close (printed with two decimals) end the loop.
constexpr float kMmaxSettled = 0.015f;

// The truth of every catalog of this check.
constexpr float kB = 0.9f;
constexpr float kBeta = kB * 2.302585f;
constexpr float kLambda = 10.0f;  // per year at or above Mmin = 4
constexpr float kMmin = 4.0f;
constexpr float kMmax = 7.0f;

struct Estimate {
  double Beta, SdBeta, Lambda, SdLambda, Mmax, SdMmax;
};

bool Within(double estimate, double sd, double truth) {
  return std::fabs(estimate - truth) <= 3.0 * sd;
}

// One session of qev with the given Mmax answers; returns the console text.
qev::testing::SessionOutcome Session(const Workspace& folder, SessionAnswers answers,
                                     const std::vector<float>& mmax) {
  answers.MmaxAnswers = mmax;
  return folder.RunBinary(BuildAnswerScript(answers));
}

std::optional<Estimate> Recover(int dataKind, int seed, std::string& trouble) {
  Workspace folder;
  const std::string synth =
      ShellQuote(QEV_SYNTH_BINARY) + " --b 0.9 --lambda 10 --mmin 4 --mmax 7 --seed " +
      std::to_string(seed) +
      " --extreme 1600:1899,window=3,threshold=4.6,sd=0.3,layout=1"
      " --complete 1900:1959,threshold=5,sd=0.2 --complete 1960:1999,threshold=4.5,sd=0.1";
  const auto written = folder.RunCommand(synth);
  if (written.ExitStatus != 0) {
    trouble = "qev-synth failed: " + written.ErrorStream;
    return std::nullopt;
  }
  SessionAnswers answers;
  answers.OutputFile = "recovery.out";
  answers.DataKind = dataKind;
  answers.ExtremeLayout = 1;
  answers.ExtremeFile = "extreme.dat";
  answers.CompleteLayout = 2;
  answers.CompleteFiles = {"complete1.dat", "complete2.dat"};
  answers.Mmin = kMmin;  // below every level of the catalogs (4.5 and up)
  answers.SigXmax = dataKind == 2 ? 0.2f : 0.3f;
  answers.Procedure = 1;

  std::vector<float> mmax;
  for (int run = 1; run <= kMaxRuns; ++run) {
    const auto session = Session(folder, answers, mmax);
    if (session.ExitStatus != 0) {
      trouble =
          "qev ended with status " + std::to_string(session.ExitStatus) + "; console tail: " +
          session.Console.substr(session.Console.size() > 600 ? session.Console.size() - 600 : 0);
      return std::nullopt;
    }
    const auto suggestions = SuggestedMmaxValues(session.Console);
    if (suggestions.size() != mmax.size() + 1 || !suggestions.back()) break;
    const float next = *suggestions.back();
    if (!mmax.empty() && std::fabs(next - mmax.back()) < kMmaxSettled) break;
    if (run == kMaxRuns) break;
    mmax.push_back(next);
  }
  const ReportFile report = ParseReport(folder.ReadFile("recovery.out"));
  if (!report.Results || !report.Results->SdMmax) {
    trouble = "no RESULTS in the output file";
    return std::nullopt;
  }
  const ResultsBlock& r = *report.Results;
  return Estimate{r.Beta.Value,     r.SdBeta.Value, r.Lambda.Value,
                  r.SdLambda.Value, r.Mmax.Value,   r.SdMmax->Value};
}

class Recovery : public ::testing::TestWithParam<int> {};

TEST_P(Recovery, EstimatesLieWithinThreeStandardDeviationsOfTheTruth) {
  const int dataKind = GetParam();
  int beta = 0;
  int lambda = 0;
  int mmax = 0;
  for (int seed = 1; seed <= kSeeds; ++seed) {
    std::string trouble;
    const auto e = Recover(dataKind, seed, trouble);
    ASSERT_TRUE(e.has_value()) << "data kind " << dataKind << ", seed " << seed << ": " << trouble;
    beta += Within(e->Beta, e->SdBeta, kBeta);
    lambda += Within(e->Lambda, e->SdLambda, kLambda);
    mmax += Within(e->Mmax, e->SdMmax, kMmax);
    std::cout << "data kind " << dataKind << " seed " << seed << ": Beta " << e->Beta << " +- "
              << e->SdBeta << ", Lambda " << e->Lambda << " +- " << e->SdLambda << ", Mmax "
              << e->Mmax << " +- " << e->SdMmax << "\n";
  }
  std::cout << "data kind " << dataKind << ": within 3 SD of the truth in " << beta << ", "
            << lambda << ", " << mmax << " of " << kSeeds << " seeds (Beta, Lambda, Mmax)\n";
  EXPECT_GE(beta, kRequired);
  EXPECT_GE(lambda, kRequired);
  EXPECT_GE(mmax, kRequired);
}

INSTANTIATE_TEST_SUITE_P(DataKinds, Recovery, ::testing::Values(1, 2, 3),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "DataKind" + std::to_string(info.param);
                         });

}  // namespace
}  // namespace qev::companion
