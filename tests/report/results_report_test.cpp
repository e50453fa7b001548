#include "classic/results_report.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::Append;
using testing::EmptyLines;
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

  // The console: no underlines, an empty line under RESULTS and before the
  // rows, every record without its first character.
  std::vector<std::string> console = EmptyLines(14);
  Append(console, {"", "                     RESULTS", "", kBeta.substr(1), kLambda.substr(1),
                   kMmax.substr(1), "", kTransmission.substr(1), "", "", kTableTitle.substr(1),
                   kTableHeader.substr(1), "", "EXTREMES    :         47.9         13.3",
                   "COMPLETE #1 :         52.1         86.7"});
  EXPECT_EQ(h.Console(), Joined(console));

  // The uncertainties are kept for the hazard table; second differences in
  // single precision give two to three digits.
  const Uncertainties& u = h.session.model.Deviations;
  EXPECT_NEAR(u.sd_beta, 0.154f, 0.002f);
  EXPECT_NEAR(u.sd_lambda, 0.0516f, 0.0005f);
  EXPECT_NEAR(u.sd_mmax, 1.0198f, 0.0001f);
  EXPECT_NEAR(u.transmission_coefficient, 4.93f, 0.005f);
  ASSERT_EQ(u.contributions.size(), 2u);
  EXPECT_NEAR(u.contributions[0].beta, 52.1f, 0.1f);
  EXPECT_NEAR(u.contributions[0].lambda, 86.7f, 0.1f);
  EXPECT_NEAR(u.contributions[1].beta, 47.9f, 0.1f);
  EXPECT_NEAR(u.contributions[1].lambda, 13.3f, 0.1f);
}

TEST(ResultsReport, ProcedureSevenStatesMmaxAloneInTheFileOnly) {
  ProcedureRun h("");
  SetUpWorkedExample(h.session, 3, 1);
  h.session.settings.Procedure = 7;
  ASSERT_FALSE(h.Run(ReportResults));

  const std::vector<std::string> file = h.FileLines();
  ASSERT_GE(file.size(), 8u);
  EXPECT_EQ(file[4], kLambda);
  EXPECT_EQ(file[5], "  M_max  =  7.00");
  EXPECT_EQ(file[6], "");
  EXPECT_EQ(file[7], kTransmission);
  EXPECT_NE(h.Console().find("\r\n" + kMmax.substr(1) + "\r\n"), std::string::npos);
}

// The records of the file after the transmission coefficient.
std::vector<std::string> FileAfterBlock(ProcedureRun& h) {
  const std::vector<std::string> file = h.FileLines();
  EXPECT_GE(file.size(), 8u);
  if (file.size() < 8) return {};
  return {file.begin() + 8, file.end()};
}

// Extremes alone, or one complete part alone, make one slot: no table.
TEST(ResultsReport, OneSlotAloneHasNoContributionTable) {
  for (const std::int32_t dataKind : {1, 2}) {
    SCOPED_TRACE(dataKind);
    ProcedureRun h("");
    SetUpWorkedExample(h.session, dataKind, 1);
    ASSERT_FALSE(h.Run(ReportResults));
    EXPECT_TRUE(FileAfterBlock(h).empty());
    EXPECT_EQ(h.ConsoleLines().back(), kTransmission.substr(1));
  }
}

// Label of a contribution row: everything before the first percentage.
std::vector<std::string> RowLabels(const std::vector<std::string>& records) {
  std::vector<std::string> labels;
  for (const std::string& r : records) labels.push_back(r.substr(0, 23));
  return labels;
}

TEST(ResultsReport, CompletePartsAloneListNoExtremesRow) {
  ProcedureRun h("");
  SetUpWorkedExample(h.session, 2, 2);
  ASSERT_FALSE(h.Run(ReportResults));
  const std::vector<std::string> rest = FileAfterBlock(h);
  ASSERT_EQ(rest.size(), 6u);
  EXPECT_EQ(rest[1], kTableTitle);
  EXPECT_EQ(RowLabels({rest[4], rest[5]}),
            (std::vector<std::string>{" COMPLETE #1 :         ", " COMPLETE #2 :         "}));
  // Two equal parts share the Lambda information equally; the empty extreme
  // slot still takes a share of the Beta information (the prior's curvature).
  EXPECT_EQ(rest[4].substr(23), rest[5].substr(23));
  EXPECT_EQ(rest[4].substr(36), "50.0");
}

TEST(ResultsReport, BothKindsListExtremesFirstThenEachCompletePart) {
  ProcedureRun h("");
  SetUpWorkedExample(h.session, 3, 2);
  ASSERT_FALSE(h.Run(ReportResults));
  const std::vector<std::string> rest = FileAfterBlock(h);
  ASSERT_EQ(rest.size(), 7u);
  EXPECT_EQ(RowLabels({rest[4], rest[5], rest[6]}),
            (std::vector<std::string>{
                " EXTREMES    :         ", " COMPLETE #1 :         ", " COMPLETE #2 :         "}));

  // On the console each row appears without its first character, in the
  // same order, after an empty line.
  const std::vector<std::string> console = h.ConsoleLines();
  ASSERT_GE(console.size(), 4u);
  const std::vector<std::string> tail(console.end() - 4, console.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"", rest[4].substr(1), rest[5].substr(1),
                                            rest[6].substr(1)}));
}

}  // namespace
}  // namespace qev
