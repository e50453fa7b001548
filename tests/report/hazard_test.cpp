#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "report/hazard.h"
#include "harness/harness.h"
#include "textio/formatter.h"

namespace qev {
namespace {

using testing::Append;
using testing::EmptyLines;
using testing::ProcedureRun;
using testing::Joined;

// The model of most cases: b = 0.87, 0.2 events a year above magnitude 4.
void SetModel(Session& s, float mmin, float mmax, float sdLambda = 0.05f) {
  s.settings.Mmin = mmin;
  s.settings.HazardSpans = {50.0f, 100.0f, 1000.0f};
  s.model.Beta = 2.0f;
  s.model.Lambda = 0.2f;
  s.model.Mmax = mmax;
  s.model.ExpMin = std::exp(-(s.model.Beta * mmin));
  s.model.ExpMax = std::exp(-(mmax * s.model.Beta));
  s.model.SdLambda = sdLambda;
}

const std::string kTitle = "                           HAZARD EVALUATION ";
const std::string kUnderline = "                ===========================================";
const std::string kHeader =
    " INT/MAG  LAMBDA             RET PER      Pr(T = 1,    50.0,   100.0,  1000.0,";

// The opening question as the console shows it, up to and including the
// clearing record after the answer.
std::vector<std::string> OpeningScreen() {
  std::vector<std::string> lines = EmptyLines(4);
  Append(lines, {" SEISMIC HAZARD ? (0/1)", "", " ENTER proper number ....", ""});
  Append(lines, EmptyLines(33));
  return lines;
}

// Table rows of the output file: the records after the column header.
std::vector<std::string> FileRows(ProcedureRun& h) {
  std::vector<std::string> lines = h.FileLines();
  EXPECT_GE(lines.size(), 4u);
  if (lines.size() < 4) return {};
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], kTitle);
  EXPECT_EQ(lines[2], kUnderline);
  EXPECT_EQ(lines[3], kHeader);
  return {lines.begin() + 4, lines.end()};
}

TEST(HazardTable, AnswerZeroSkipsQueriesAndKeepsTheTableOffTheConsole) {
  ProcedureRun h("0\n");
  SetModel(h.session, 4.0f, 8.0f);
  ASSERT_FALSE(h.Run(EvaluateHazard));

  std::vector<std::string> console = OpeningScreen();
  Append(console, EmptyLines(1 + 33));  // empty line, then a clearing record instead of the table
  EXPECT_EQ(h.Console(), Joined(console));
  EXPECT_EQ(FileRows(h).size(), 41u);
}

// The rows run over the single-precision running sum of 0.1 from Mmin: its
// 36th value from 3.0 lies just below 6.5 and is printed 6.5.
TEST(HazardTable, RowsRunFromMminToMmaxInTenthsOfTheRunningSum) {
  struct Case {
    float mmin, mmax;
    std::size_t rows;
    const char *first, *second, *last;
  };
  for (const Case& c : {Case{3.0f, 6.5f, 36u, "  3.0", "  3.1", "  6.5"}, Case{4.0f, 8.0f, 41u, "  4.0", "  4.1", "  8.0"}}) {
    ProcedureRun h("0\n");
    SetModel(h.session, c.mmin, c.mmax);
    ASSERT_FALSE(h.Run(EvaluateHazard));
    const std::vector<std::string> rows = FileRows(h);
    ASSERT_EQ(rows.size(), c.rows);
    EXPECT_EQ(rows[0].substr(0, 5), c.first);
    EXPECT_EQ(rows[1].substr(0, 5), c.second);
    EXPECT_EQ(rows.back().substr(0, 5), c.last);
    for (const std::string& row : rows) EXPECT_EQ(row.size(), 80u) << row;
  }
}

// Single-precision evaluation of one table row from the law's formulas,
// written out here independently of the program.
struct HandRow {
  float x, rate, period, lower, upper, p1, pt1, pt2, pt3;
};

HandRow DeriveRow(float x, float beta, float lambda, float sdLambda, float mmin, float mmax,
                  const float spans[3]) {
  const float expMin = std::exp(-(beta * mmin));
  const float expMax = std::exp(-(mmax * beta));
  float f = (expMin - std::exp(-(beta * x))) / (expMin - expMax);
  if (f > 1.0f) f = 1.0f;
  if (x <= mmin) f = 0.0f;
  auto exceed = [&](float t) {
    const float s = (expMax - std::exp(-(beta * x))) / (expMax - expMin);
    float n = lambda * t;
    const float p = std::exp(-(n * s));
    if (n > 50.0f) n = 50.0f;
    const float e = std::exp(-n);
    float g = (p - e) / (1.0f - e);
    if (g > 1.0f) g = 1.0f;
    if (x <= mmin) g = 0.0f;
    return 1.0f - g;
  };
  auto inverse = [](float r) { return r > 1.0E-35f ? 1.0f / r : 1.0E35f; };
  const float q = 1.0f - f;
  HandRow row{};
  row.x = x;
  row.rate = q * lambda;
  row.period = inverse(row.rate);
  row.lower = inverse(q * (lambda + sdLambda));
  row.upper = inverse(q * (lambda - sdLambda));
  row.p1 = exceed(1.0f);
  row.pt1 = exceed(spans[0]);
  row.pt2 = exceed(spans[1]);
  row.pt3 = exceed(spans[2]);
  return row;
}

std::string FormatRow(const HandRow& r) {
  const std::vector<std::string> records = FormatText(
      "(1X,F4.1,2X,E8.3,1X,F8.1,'(',F8.1,',',F8.1,')',1X,2(1X,F8.6),2(1X,F8.6))",
      {r.x, r.rate, r.period, r.lower, r.upper, r.p1, r.pt1, r.pt2, r.pt3});
  return records.empty() ? std::string() : records.front();
}

TEST(HazardTable, RowsAgreeWithAHandDerivation) {
  ProcedureRun h("0\n");
  SetModel(h.session, 4.0f, 8.0f);
  ASSERT_FALSE(h.Run(EvaluateHazard));
  const std::vector<std::string> rows = FileRows(h);
  ASSERT_EQ(rows.size(), 41u);

  const float spans[3] = {50.0f, 100.0f, 1000.0f};
  // The first row is evaluated 0.004 above Mmin.
  const HandRow first = DeriveRow(4.0f + 0.004f, 2.0f, 0.2f, 0.05f, 4.0f, 8.0f, spans);
  EXPECT_EQ(rows[0], FormatRow(first));
  EXPECT_EQ(rows[0],
            "  4.0  .198E+00      5.0(     4.0,     6.7)   .992794  .999996 1.000000 1.000000");

  // The eleventh row: ten steps of 0.1 added in single precision from 3.9.
  float m = 4.0f - 0.1f;
  for (int i = 0; i < 11; ++i) m = 0.1f + m;
  EXPECT_NE(m, 5.0f);  // the running sum does not hit 5.0 exactly
  const HandRow eleventh = DeriveRow(m, 2.0f, 0.2f, 0.05f, 4.0f, 8.0f, spans);
  EXPECT_EQ(rows[10], FormatRow(eleventh));
  EXPECT_EQ(rows[10],
            "  5.0  .270E-01     37.0(    29.6,    49.4)   .147005  .740911  .932855 1.000000");
}

// Column positions of the return-period bounds in a row.
constexpr std::size_t kLowerColumn = 25;
constexpr std::size_t kUpperColumn = 34;

TEST(HazardTable, SdLambdaAtOrAboveLambdaOverflowsEveryUpperBound) {
  struct Case {
    float sdLambda;
    const char* firstLowerBound;  // 1 / (0.992 * (Lambda + SdLambda))
  };
  for (const Case& c : {Case{0.2f, "     2.5"}, Case{0.3f, "     2.0"}}) {
    ProcedureRun h("0\n");
    SetModel(h.session, 4.0f, 8.0f, c.sdLambda);
    ASSERT_FALSE(h.Run(EvaluateHazard));
    const std::vector<std::string> rows = FileRows(h);
    ASSERT_EQ(rows.size(), 41u);
    for (const std::string& row : rows) {
      EXPECT_EQ(row.substr(kUpperColumn - 1, 10), ",********)")
          << "SD " << c.sdLambda << ": " << row;
    }
    // The lower bound stays finite where the rate is not negligible.
    EXPECT_EQ(rows[0].substr(kLowerColumn, 8), c.firstLowerBound) << rows[0];
  }
}

TEST(HazardTable, UndefinedSdLambdaGivesOverflowingBounds) {
  ProcedureRun h("0\n");
  SetModel(h.session, 4.0f, 8.0f, std::numeric_limits<float>::quiet_NaN());
  ASSERT_FALSE(h.Run(EvaluateHazard));
  const std::vector<std::string> rows = FileRows(h);
  ASSERT_EQ(rows.size(), 41u);
  EXPECT_EQ(rows[0].substr(kLowerColumn - 1, 19), "(********,********)");
  EXPECT_EQ(rows[0].substr(0, 24), "  4.0  .198E+00      5.0");
}

TEST(HazardTable, MagnitudesBeyondTheStepResolutionEndAfterOneRow) {
  // From 2^24 on, adding 0.1 in single precision leaves the magnitude as it
  // is; the table must still end.
  ProcedureRun h("0\n");
  SetModel(h.session, 3.0e7f, 3.1e7f);
  ASSERT_FALSE(h.Run(EvaluateHazard));
  const std::vector<std::string> rows = FileRows(h);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].substr(0, 5), " ****");
}

TEST(HazardTable, OutputFileIsClosedAtTheEnd) {
  ProcedureRun h("0\n");
  SetModel(h.session, 4.0f, 8.0f);
  ASSERT_FALSE(h.Run(EvaluateHazard));
  EXPECT_FALSE(h.session.io.Sink().OutputFileOpen());
}

// The prompt of the query loop and the clearing record after each answer.
std::vector<std::string> Prompt(const std::string& bounds) {
  std::vector<std::string> lines{"", " Enter MAGNITUDE <" + bounds + "> = ", ""};
  Append(lines, EmptyLines(33));
  return lines;
}

std::vector<std::string> AnswerBlock(const std::vector<std::string>& four) {
  std::vector<std::string> lines = EmptyLines(3);
  Append(lines, {four[0], four[1], four[2], "", four[3]});
  Append(lines, EmptyLines(6));
  Append(lines, {" -----------------------------------", "  to TERMINATE, enter MAGNITUDE = 0",
                 " -----------------------------------", ""});
  return lines;
}

TEST(HazardQueries, AnswerOneShowsQueriesAndTheTableOnTheConsole) {
  // Mmin itself is answered for Mmin + 0.004; 3.9 (below Mmin), Mmax itself
  // and 9 are refused without a message.
  ProcedureRun h("1\n4.0\n3.9\n8.0\n9\n5.0\n0\n");
  SetModel(h.session, 4.0f, 8.0f);
  ASSERT_FALSE(h.Run(EvaluateHazard));

  const std::string bounds = " 4.00, 8.00";
  std::vector<std::string> expected = OpeningScreen();
  Append(expected, Prompt(bounds));
  Append(expected, AnswerBlock({"T =   1  Prob(mag> 4.00) =  .9928     RET PER =     5.04",
                                "T =  50  Prob(mag> 4.00) = 1.0000",
                                "T = 100  Prob(mag> 4.00) = 1.0000",
                                "Mean Activity Rate Lambda (mag =  4.00) =  .1984E+00"}));
  for (int refused = 0; refused < 4; ++refused) Append(expected, Prompt(bounds));
  Append(expected, AnswerBlock({"T =   1  Prob(mag> 5.00) =  .1470     RET PER =    37.02",
                                "T =  50  Prob(mag> 5.00) =  .7409",
                                "T = 100  Prob(mag> 5.00) =  .9329",
                                "Mean Activity Rate Lambda (mag =  5.00) =  .2701E-01"}));
  Append(expected, Prompt(bounds));
  Append(expected, {"", "", kTitle.substr(1), kHeader.substr(1)});

  const std::vector<std::string> rows = FileRows(h);
  ASSERT_EQ(rows.size(), 41u);
  for (const std::string& row : rows) expected.push_back(row.substr(1));
  EXPECT_EQ(h.Console(), Joined(expected));
}

TEST(HazardQueries, OtherOpeningAnswerAsksQueriesButKeepsTheTableInTheFile) {
  ProcedureRun h("2\n0\n");
  SetModel(h.session, 3.0f, 6.5f);
  ASSERT_FALSE(h.Run(EvaluateHazard));

  std::vector<std::string> expected = OpeningScreen();
  Append(expected, Prompt(" 3.00, 6.50"));
  Append(expected, EmptyLines(1 + 33));
  EXPECT_EQ(h.Console(), Joined(expected));
  EXPECT_EQ(FileRows(h).size(), 36u);
}

TEST(HazardQueries, QueryAnswersUseFixedSpansNotTheSessionSpans) {
  ProcedureRun h("1\n5.0\n0\n");
  SetModel(h.session, 4.0f, 8.0f);
  h.session.settings.HazardSpans = {10.0f, 20.0f, 30.0f};
  ASSERT_FALSE(h.Run(EvaluateHazard));
  const std::string console = h.Console();
  EXPECT_NE(console.find("T =  50  Prob(mag> 5.00) =  .7409"), std::string::npos);
  EXPECT_NE(console.find("T = 100  Prob(mag> 5.00) =  .9329"), std::string::npos);
  EXPECT_NE(console.find("Pr(T = 1,    10.0,    20.0,    30.0,"), std::string::npos);
}

}  // namespace
}  // namespace qev
