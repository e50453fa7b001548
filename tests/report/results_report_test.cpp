#include "report/results_report.h"

#include <gtest/gtest.h>

#include <cmath>
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
void AddCompletePart(Catalog& c, float sd) {
  CompletePart& part = c.Parts[c.PartCount++];
  part.Start = 1900.0f;
  part.End = 2000.0f;
  part.Threshold = 4.0f;
  part.RowCount = 2.0f;
  part.EventCount = 13.0f;
  part.Sd = sd;
  part.Rows[0] = {450, 10, 10};
  part.Rows[1] = {500, 20, 3};
}

void SetUpWorkedExample(Session& s, std::int32_t dataKind, int completeParts) {
  Catalog& c = s.catalog;
  c.Extreme.Start = 1800.0f;
  c.Extreme.End = 2000.0f;
  c.Extreme.SmallestMagnitude = 5.5f;
  c.Extreme.EventCount = 2.0f;
  c.Extreme.Events[0] = {550, 20, 30000};
  c.Extreme.Events[1] = {600, 30, 45500};
  for (int p = 0; p < completeParts; ++p) AddCompletePart(c, 0.15f);

  SessionSettings& settings = s.settings;
  settings.DataKind = dataKind;
  settings.Mmin = 4.0f;
  settings.Xmax = 6.0f;
  settings.SigXmax = 0.2f;
  settings.SpanT = 200.0f;
  settings.Procedure = 1;
  settings.PriorBeta = 2.302585f;
  settings.PriorBetaSD = 0.2302585f;

  ModelParameters& m = s.model;
  m.Beta = 2.0f;
  m.Lambda = 0.2f;
  m.Mmax = 7.0f;
  m.ExpMin = std::exp(-(m.Beta * settings.Mmin));
  m.ExpMax = std::exp(-(m.Mmax * m.Beta));
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
  EXPECT_NEAR(h.session.model.SdLambda, 0.0516f, 0.0005f);
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
