// The bundled example session as the user runs it: extremes and two complete
// parts, the answer file of examples/, the runs until Mmax settles and the
// hazard table.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev::testing {
namespace {

const std::string kStop = "Stop - Program terminated.";
const std::string kTableTitle = "                           HAZARD EVALUATION ";

std::size_t IndexOf(const std::vector<std::string>& lines, const std::string& line,
                    std::size_t from = 0) {
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
  EXPECT_EQ(std::sscanf(betaLine.c_str(), " Beta = %f +- %f (b = %f +- %f)", &r.beta, &r.sdBeta,
                        &r.b, &r.sdB),
            4)
      << betaLine;
  EXPECT_EQ(std::sscanf(lambdaLine.c_str(), " Lambda = %f +- %f (for Mmin = %f)", &r.lambda,
                        &r.sdLambda, &r.mmin),
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
  char head[40];
  std::snprintf(head, sizeof head, "                RUN # %2d", run);
  return LinesFrom(console, head, 8);
}

// The hazard table of the file: the rows after the column header, up to the end.
std::vector<std::string> FileTableRows(const std::vector<std::string>& file) {
  const std::size_t title = IndexOf(file, kTableTitle);
  if (title + 3 > file.size()) return {};
  return std::vector<std::string>(file.begin() + static_cast<std::ptrdiff_t>(title) + 3,
                                  file.end());
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

  // The answer file takes each suggestion as the next run's Mmax until the
  // suggestion settles on the Mmax of its own run: five runs from 7.20.
  std::vector<std::string> used;       // " Mmax   =  7.20" of each run summary
  std::vector<std::string> suggested;  // "   Suggested Mmax =  7.05" of each dialog
  for (int run = 1;; ++run) {
    const auto summary = RunSummary(console, run);
    if (summary.size() != 8u) break;
    used.push_back(summary[6].substr(std::string(" Mmax   = ").size()));
  }
  for (const std::string& line : console) {
    if (line.rfind("   Suggested Mmax = ", 0) == 0) suggested.push_back(line.substr(20));
  }
  ASSERT_EQ(used.size(), 5u);
  ASSERT_EQ(suggested.size(), used.size());
  EXPECT_EQ(used.front(), " 7.20");  // by program: Xmax + 0.5
  for (std::size_t run = 1; run < used.size(); ++run) EXPECT_EQ(used[run], suggested[run - 1]);
  EXPECT_EQ(suggested.back(), used.back());

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
  EXPECT_EQ(static_cast<int>(rows.size()), HazardRowCount(3.4f, 6.93f));
  EXPECT_EQ(rows.back().substr(0, 6), "  6.9 ");
}

// The extreme part alone, the Bayes procedure, the program's start and the
// hazard table on the console (answer 1) with one query.
TEST(SessionKinds, ExtremesAloneWithBayesProgramStartAndHazardOnTheConsole) {
  Workspace harness;
  harness.CopyExamples({"ext_l2.dat"});
  const auto outcome = harness.Run(
      "\n\nkind1.txt\n1\n1\n50 100 1000\n"
      "2\next_l2.dat\n"  // one SD in the header
      "1\n1\n0.2\n2\n"   // suggested Mmin (4.6 - 1), Xmax from the catalog, SIG(Xmax), Bayes
      "1.0 0.1\n1\n"     // prior; start by program: Mmax = 6.7 + 0.5
      "7.5\n0\n"         // a second run with Mmax 7.5, then stop
      "1\n5.0\n0\n");    // hazard on the console, one query
  ASSERT_EQ(outcome.ExitStatus, 0) << LastLines(outcome.Console, 20);
  const auto console = SplitLines(outcome.Console);
  const auto file = SplitLines(outcome.OutputFile);
  EXPECT_EQ(console.back(), kStop);

  EXPECT_EQ(RunSummary(console, 1).at(6), " Mmax   =  7.20");
  EXPECT_EQ(RunSummary(console, 2).at(6), " Mmax   =  7.50");
  EXPECT_TRUE(RunSummary(console, 3).empty());
  EXPECT_EQ(CountOf(outcome.Console, "   Suggested Mmax = "), 2u);
  EXPECT_TRUE(
      ContainsRun(file, {"", "  M_max is determined according to Tolve-Brandholm-Bayes", ""}));

  // The last run's Mmax 7.5 against Xmax 6.7 and SIG(Xmax) 0.2: sqrt(0.64 + 0.04) = .82.
  const std::size_t results = IndexOf(file, "                     =========");
  ASSERT_LT(results + 3, file.size());
  EXPECT_EQ(file[results + 3], "  M_max  =  7.50 +-   .82  (for SIG(Xmax) =   .20)");
  const auto printed = ParseResults(file[results + 1], file[results + 2]);
  EXPECT_FLOAT_EQ(printed.mmin, 3.6f);
  EXPECT_GT(printed.b, 0.5f);
  EXPECT_LT(printed.b, 1.5f);
  EXPECT_EQ(CountOf(outcome.OutputFile, "DATA contribution"), 0u);  // extremes alone

  // Answer 1: the query, then the same table on the console as in the file.
  EXPECT_EQ(CountOf(outcome.Console, "T =   1  Prob(mag> 5.00) = "), 1u);
  const auto rows = FileTableRows(file);
  EXPECT_EQ(static_cast<int>(rows.size()), HazardRowCount(3.6f, 7.5f));
  for (const std::string& row : rows) EXPECT_EQ(CountLines(console, row.substr(1)), 1u) << row;
}

// Complete parts alone, the Cramer procedure, the keyboard start, three runs
// and a hazard answer other than 0 and 1: queries, then the table in the file only.
TEST(SessionKinds, CompletePartsAloneWithCramerKeyboardStartAndTableInTheFileOnly) {
  Workspace harness;
  harness.CopyExamples({"cp1900_l1.dat", "cp1960_l1.dat"});
  const auto outcome = harness.Run(
      "\n\nkind2.txt\n1\n2\n50 100 1000\n"
      "1\n2\ncp1900_l1.dat\ncp1960_l1.dat\n"  // magnitude and SD per line, two parts
      "2\n3.5\n3.4\n"            // own threshold: 3.5 equals the lowest level, asked again
      "1\n0.3\n1\n"              // Xmax from the catalog, SIG(Xmax), Cramer
      "1.0 0.1\n2\n10\n7.0\n"    // prior; keyboard start: Lambda 10, Mmax 7.0
      "7.2\n7.3\n0\n"            // two more runs, then stop
      "2\n3.0\n7.3\n3.4\n0\n");  // below Mmin and at Mmax refused; Mmin answered
  ASSERT_EQ(outcome.ExitStatus, 0) << LastLines(outcome.Console, 20);
  const auto console = SplitLines(outcome.Console);
  const auto file = SplitLines(outcome.OutputFile);

  EXPECT_EQ(CountLines(console, " ENTER: Threshold magnitude Mmin (LESS than 3.50)"), 2u);
  EXPECT_EQ(RunSummary(console, 1).at(6), " Mmax   =  7.00");
  EXPECT_EQ(RunSummary(console, 2).at(6), " Mmax   =  7.20");
  EXPECT_EQ(RunSummary(console, 3).at(6), " Mmax   =  7.30");
  EXPECT_TRUE(ContainsRun(
      file,
      {"", "  M_max is determined according to Tolve-Brandholm (Cramers Approximation)", ""}));

  // Two complete parts and no extremes: no EXTREMES row.
  const std::size_t table = IndexOf(file, "                     Beta (%)     Lambda (%)");
  ASSERT_LT(table + 2, file.size());
  EXPECT_EQ(file[table + 1].rfind(" COMPLETE #1 :         ", 0), 0u) << file[table + 1];
  EXPECT_EQ(file[table + 2].rfind(" COMPLETE #2 :         ", 0), 0u) << file[table + 2];
  EXPECT_EQ(CountOf(outcome.OutputFile, "EXTREMES"), 0u);

  // Four prompts (3.0, 7.3, 3.4, 0); only the answer at Mmin gives a block,
  // printed for Mmin + 0.004.
  EXPECT_EQ(CountLines(console, " Enter MAGNITUDE < 3.40, 7.30> = "), 4u);
  EXPECT_EQ(CountOf(outcome.Console, "T =   1  Prob(mag> "), 1u);
  EXPECT_EQ(CountOf(outcome.Console, "T =   1  Prob(mag> 3.40) = "), 1u);
  // The table goes to the file only.
  EXPECT_EQ(CountOf(outcome.Console, "HAZARD EVALUATION"), 0u);
  EXPECT_EQ(static_cast<int>(FileTableRows(file).size()), HazardRowCount(3.4f, 7.3f));
}

}  // namespace
}  // namespace qev::testing
