// The bundled example session as the user runs it: extremes and two complete
// parts, the answer file of examples/, two runs and the hazard table.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev::testing {
namespace {

const std::string kStop = "Stop - Program terminated.";
const std::string kTableTitle = "                           HAZARD EVALUATION ";

std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line, std::size_t from = 0) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return lines.size();
}

// The RESULTS numbers as printed (file or console form: leading blanks are skipped).
struct PrintedResults {
  float beta = -1, sdBeta = -1, b = -1, sdB = -1, lambda = -1, sdLambda = -1, mmin = -1;
};

PrintedResults ParseResults(const std::string& betaLine, const std::string& lambdaLine) {
  PrintedResults r;
  EXPECT_EQ(std::sscanf(betaLine.c_str(), " Beta = %f +- %f (b = %f +- %f)", &r.beta, &r.sdBeta, &r.b, &r.sdB), 4)
      << betaLine;
  EXPECT_EQ(std::sscanf(lambdaLine.c_str(), " Lambda = %f +- %f (for Mmin = %f)", &r.lambda, &r.sdLambda, &r.mmin),
            3)
      << lambdaLine;
  return r;
}

// Number of hazard-table rows for Mmin and Mmax: the running single-precision
// sum of 0.1 from Mmin - 0.1, a row while the sum is below Mmax (or equal to Mmin).
int HazardRowCount(float mmin, float mmax) {
  const float step = 0.1f;
  float m = mmin - step;
  int rows = 0;
  for (;;) {
    m = step + m;
    if (m != mmin && !(mmax > m)) return rows;
    ++rows;
  }
}

// The lines of one run summary on the console, found by its run number.
std::vector<std::string> RunSummary(const std::vector<std::string>& console, int run) {
  char head[32];
  std::snprintf(head, sizeof head, "                RUN # %2d", run);
  return LinesFrom(console, head, 8);
}

// The hazard table of the file: the rows after the column header, up to the end.
std::vector<std::string> FileTableRows(const std::vector<std::string>& file) {
  const std::size_t title = IndexOf(file, kTableTitle);
  if (title + 3 > file.size()) return {};
  return std::vector<std::string>(file.begin() + static_cast<std::ptrdiff_t>(title) + 3, file.end());
}

TEST(SessionKinds, BundledAnswerFileRunsToTheStopWithPlausibleEstimates) {
  Workspace harness;
  harness.CopyExamples({"ext_l1.dat", "cp1900_l2.dat", "cp1960_l2.dat"});
  const auto outcome = harness.Run(ExampleText("answers.txt"));
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  EXPECT_EQ(outcome.OutputFileName, "session.out");
  const auto console = SplitLines(outcome.Console);
  const auto file = SplitLines(outcome.OutputFile);
  EXPECT_EQ(console.back(), kStop);

  // The second run repeats the first (same start, same Mmax 7.2): the same estimates.
  const auto run1 = RunSummary(console, 1);
  const auto run2 = RunSummary(console, 2);
  ASSERT_EQ(run2.size(), 8u);
  for (std::size_t i = 3; i < 8; ++i) EXPECT_EQ(run1[i], run2[i]);
  // Each dialog offers a Cramer estimate near the largest observed magnitude.
  std::size_t offers = 0;
  for (const std::string& line : console) {
    float suggested = 0;
    if (std::sscanf(line.c_str(), "   Suggested Mmax = %f", &suggested) != 1) continue;
    ++offers;
    EXPECT_GE(suggested, 6.7f) << line;
    EXPECT_LE(suggested, 7.7f) << line;
  }
  EXPECT_EQ(offers, 2u);

  // Extremes first, then each complete part, in the contribution table.
  const std::size_t table = IndexOf(file, "                     Beta (%)     Lambda (%)");
  ASSERT_LT(table + 4, file.size());
  EXPECT_EQ(file[table + 1].rfind(" EXTREMES    :         ", 0), 0u) << file[table + 1];
  EXPECT_EQ(file[table + 2].rfind(" COMPLETE #1 :         ", 0), 0u) << file[table + 2];
  EXPECT_EQ(file[table + 3].rfind(" COMPLETE #2 :         ", 0), 0u) << file[table + 3];
  float sumBeta = 0, sumLambda = 0;
  for (std::size_t i = 1; i <= 3; ++i) {
    float b = 0, l = 0;
    EXPECT_EQ(std::sscanf(file[table + i].c_str() + 14, " %f %f", &b, &l), 2) << file[table + i];
    sumBeta += b;
    sumLambda += l;
  }
  EXPECT_NEAR(sumBeta, 100.0f, 0.2f);  // the extreme slot is the data's here
  EXPECT_NEAR(sumLambda, 100.0f, 0.2f);

  const std::size_t results = IndexOf(file, "                     =========");
  ASSERT_LT(results + 2, file.size());
  const auto printed = ParseResults(file[results + 1], file[results + 2]);
  EXPECT_GT(printed.b, 0.5f);
  EXPECT_LT(printed.b, 1.5f);
  EXPECT_FLOAT_EQ(printed.mmin, 3.4f);
  // A complete file: the table runs from Mmin to the last Mmax and closes the file.
  const auto rows = FileTableRows(file);
  EXPECT_EQ(static_cast<int>(rows.size()), HazardRowCount(3.4f, 7.2f));
  EXPECT_EQ(rows.back().substr(0, 6), "  7.2 ");
}

}  // namespace
}  // namespace qev::testing
