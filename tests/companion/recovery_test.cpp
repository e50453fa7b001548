// Recovery proof: catalogs drawn by the generator with known truth, each
// analysed as a user would, must give estimates whose mean lies near the
// truth in units of their SD and intervals that hold the truth about as
// often as they claim.
//
// Each design is measured over 200 catalogs (the calibration study of
// qev-calibrate; scripts/calibration-study.sh runs the full version). A
// calibrated interval holds the truth 68 % and 95 % of the time; the target
// is 60-76 % and 90-98 %, and the corrected estimates within 0.3 of their SD
// of the truth on average. Over 200 catalogs the share within an interval
// has a sampling error of 3.3 points at 68 % and 1.5 points at 95 %, so the
// limits below widen the target by about one and a half of those: the 68 %
// interval holding the truth in 55-80 % of the catalogs, the 95 % interval in
// 88-99 %, the mean of (estimate - truth) / SD within 0.3 (the inverted
// intervals of the manual's example measured 66-68 % and 92-95 %, within 0.22
// SD; docs/method.md, section 12). The classic intervals of that design (b
// +1.3 SD, Mmax +1.4 SD, Lambda +0.85 SD on average) cannot pass them; the
// last case checks that they do not.
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <string>

#include "companion/calibration_study.h"
#include "companion/synth_command.h"

namespace qev::companion {
namespace {

constexpr int kCatalogs = 200;
constexpr double kMostBias = 0.3;
constexpr double kLeastCover68 = 0.55;
constexpr double kMostCover68 = 0.80;
constexpr double kLeastCover95 = 0.88;
constexpr double kMostCover95 = 0.99;  // intervals that hold the truth always are too wide

bool WithinLimits(const StudyRow& row) {
  return std::fabs(row.BiasInSd) <= kMostBias && row.Cover68 >= kLeastCover68 &&
         row.Cover95 >= kLeastCover95 && row.Cover68 <= kMostCover68 && row.Cover95 <= kMostCover95;
}

// The manual's example with its SDs, with or without its extreme part.
std::vector<std::string> Design(bool extreme) {
  std::vector<std::string> args = {"--b",        "0.9",
                                   "--lambda",   "10",
                                   "--mmin",     "4",
                                   "--mmax",     "7",
                                   "--complete", "1900:1959,threshold=5,sd=0.2",
                                   "--complete", "1960:1999,threshold=4.5,sd=0.1"};
  if (extreme) {
    args.insert(args.end(), {"--extreme", "1600:1899,window=3,threshold=4.6,sd=0.3"});
  }
  return args;
}

struct Case {
  const char* name;
  bool extreme;
  const char* procedure;
  std::int32_t bootstrap;  // replicates; 0: the intervals the analysis reports
  bool calibrated;         // whether the rows must pass the limits (else fail them)
};

class Recovery : public ::testing::TestWithParam<Case> {};

TEST_P(Recovery, EstimatesAndIntervalsMeetTheLimitsOnlyWhereCalibrated) {
  const Case& c = GetParam();
  StudyOptions study;
  study.Design = ParseSynthCommand(Design(c.extreme)).Plan;
  study.Catalogs = kCatalogs;
  study.Threads = 2;
  study.Analysis.mmin = 4.0f;
  study.Procedures = {c.procedure};
  study.BootstrapReplicates = c.bootstrap;
  const StudyResult result = RunStudy(study);
  const std::string intervals = c.bootstrap > 0 ? "inverted" : "reported";
  int rows = 0;
  for (const StudyRow& row : result.Rows) {
    if (row.Intervals != intervals) continue;
    ++rows;
    SCOPED_TRACE(row.Quantity);
    std::cout << row.Quantity << ": bias " << row.BiasInSd << " SD, within 68 % " << row.Cover68
              << ", 95 % " << row.Cover95 << " (" << row.Analysed << " catalogs)\n";
    EXPECT_EQ(row.Failed, 0);
    if (c.calibrated) {
      EXPECT_LE(std::fabs(row.BiasInSd), kMostBias);
      EXPECT_GE(row.Cover68, kLeastCover68);
      EXPECT_LE(row.Cover68, kMostCover68);
      EXPECT_GE(row.Cover95, kLeastCover95);
      EXPECT_LE(row.Cover95, kMostCover95);
    } else {
      EXPECT_FALSE(WithinLimits(row));
    }
  }
  EXPECT_EQ(rows, 3);
}

// The manual's example with the inverted bootstrap intervals (60 replicates a
// catalog: the study runs 100), and with the classic intervals, which the
// limits must reject for b, Lambda and Mmax.
INSTANTIATE_TEST_SUITE_P(
    Designs, Recovery,
    ::testing::Values(Case{"ExampleBootstrap", true, "cramer", 60, true},
                      Case{"ExampleClassicIntervalsAreRejected", true, "cramer", 0, false}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qev::companion
