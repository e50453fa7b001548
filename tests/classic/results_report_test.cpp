#include "classic/results_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::Joined;
using testing::ProcedureRun;

// The small catalog of the likelihood's worked example: one complete part
// from 1900 to 2000 above 4.0 and two extreme events, evaluated at Beta 2.0,
// Lambda 0.2, Mmax 7.0 with Xmax 6.0 +- 0.2 over 200 years.
void SetUpWorkedExample(Session& s, std::int32_t dataKind, int completeParts) {
  Catalog& c = s.catalog;
  c.extreme = ExtremePart{1900.0f, 1975.5f, {{1930.0f, 5.5f, 0.2f}, {1975.5f, 6.0f, 0.3f}}};
  for (int p = 0; p < completeParts; ++p) {
    c.complete.push_back({1900.0f, 2000.0f, 4.0f, 0.15f, {{4.5f, 0.1f, 10}, {5.0f, 0.2f, 3}}});
  }

  SessionSettings& settings = s.settings;
  settings.DataKind = dataKind;
  settings.Mmin = 4.0f;
  settings.Xmax = 6.0f;
  settings.SigXmax = 0.2f;
  settings.SpanT = 200.0f;
  settings.Procedure = 1;
  settings.PriorB = 1.0f;
  settings.PriorBSd = 0.1f;

  ModelParameters& m = s.model;
  m.Beta = 2.0f;
  m.Lambda = 0.2f;
  m.Mmax = 7.0f;
}

// The figures of the worked example, rounded to the printed digits:
// SD(Beta) 0.154, SD(Lambda) 0.0516, b 0.86858 +- 0.0669, SD(M_max)
// sqrt(1 + 0.04) = 1.0198, transmission coefficient 4.93; the complete part
// holds 52.1 % of the Beta and 86.7 % of the Lambda information.
const std::string kBeta = "  Beta   =  2.00 +-   .15  (b =   .87 +-   .07)";
const std::string kLambda = "  Lambda =     .20 +-     .05  (for Mmin =  4.00)";
const std::string kMmax = "  M_max  =  7.00 +-  1.02  (for SIG(Xmax) =   .20)";
const std::string kTransmission = "  Transmission coefficient =  4.93";
const std::string kTableTitle = "              DATA contribution to the parameters :";
const std::string kTableHeader = "                     Beta (%)     Lambda (%)";

TEST(ResultsReport, WorkedExampleGivesTheBlockAndTheTable) {
  ProcedureRun h("");
  SetUpWorkedExample(h.session, 3, 1);
  ASSERT_FALSE(h.Run(ReportResults));

  const std::vector<std::string> file{
      "",
      "                      RESULTS",
      "                     =========",
      kBeta,
      kLambda,
      kMmax,
      "",
      kTransmission,
      "",
      kTableTitle,
      "             =======================================",
      kTableHeader,
      " EXTREMES    :         47.9         13.3",
      " COMPLETE #1 :         52.1         86.7",
  };
  EXPECT_EQ(h.File(), Joined(file));

  // The SD of Lambda is kept for the hazard table.
  EXPECT_NEAR(h.session.model.Deviations.sd_lambda, 0.0516f, 0.0005f);
}

// Without extremes there is no EXTREMES row; two equal complete parts share
// the Lambda information equally (the empty extreme slot still takes a share
// of the Beta information: the prior's curvature).
TEST(ResultsReport, TwoEqualCompletePartsShareTheLambdaInformationEqually) {
  ProcedureRun h("");
  SetUpWorkedExample(h.session, 2, 2);
  ASSERT_FALSE(h.Run(ReportResults));
  const std::vector<std::string> file = h.FileLines();
  ASSERT_EQ(file.size(), 14u);
  EXPECT_EQ(file[12].substr(0, 23), " COMPLETE #1 :         ");
  EXPECT_EQ(file[12].substr(23), file[13].substr(23));
  EXPECT_EQ(file[12].substr(36), "50.0");
}

}  // namespace
}  // namespace qev
