// Whole sessions on the bundled example catalogs, one for each kind of input
// data, with the three procedure codes, both starting points, several runs
// and the three kinds of answer to the hazard question. Each test checks the
// report lines that follow from its answers and the catalog files, and the
// console lines that show how the session went.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "session/field_text.h"
#include "session/session_support.h"

namespace qev::testing {
namespace {

using field::F;
using field::I;

const std::string kStop = "Stop - Program terminated.";
const std::string kTableTitle = "                           HAZARD EVALUATION ";

// The hazard table of the file: the rows after the column header, up to the end.
std::vector<std::string> FileTableRows(const std::vector<std::string>& file) {
  const std::size_t title = IndexOf(file, kTableTitle);
  if (title + 3 > file.size()) return {};
  return std::vector<std::string>(file.begin() + static_cast<std::ptrdiff_t>(title) + 3, file.end());
}

// Reads the answer block of one hazard query from the console.
struct QueryAnswer {
  float m = -1, p1 = -1, ret = -1, p50 = -1, p100 = -1, rate = -1;
};
QueryAnswer ParseQuery(const std::vector<std::string>& console, const std::string& magnitudeText) {
  QueryAnswer q;
  for (std::size_t i = 0; i + 4 < console.size(); ++i) {
    if (console[i].rfind("T =   1  Prob(mag>" + magnitudeText + ") = ", 0) != 0) continue;
    EXPECT_EQ(std::sscanf(console[i].c_str(), "T =   1  Prob(mag>%f) = %f     RET PER = %f", &q.m, &q.p1, &q.ret), 3)
        << console[i];
    EXPECT_EQ(std::sscanf(console[i + 1].c_str(), "T =  50  Prob(mag>%*f) = %f", &q.p50), 1) << console[i + 1];
    EXPECT_EQ(std::sscanf(console[i + 2].c_str(), "T = 100  Prob(mag>%*f) = %f", &q.p100), 1) << console[i + 2];
    EXPECT_EQ(console[i + 3], "");
    EXPECT_EQ(console[i + 4].rfind("Mean Activity Rate Lambda (mag = " + magnitudeText + ") = ", 0), 0u)
        << console[i + 4];
    EXPECT_EQ(std::sscanf(console[i + 4].c_str(), "Mean Activity Rate Lambda (mag = %*f) = %f", &q.rate), 1);
    // The block ends with the reminder how to stop asking, after six empty lines.
    for (std::size_t e = 5; e <= 10; ++e) EXPECT_EQ(console.at(i + e), "");
    EXPECT_EQ(console.at(i + 11), " -----------------------------------");
    EXPECT_EQ(console.at(i + 12), "  to TERMINATE, enter MAGNITUDE = 0");
    return q;
  }
  ADD_FAILURE() << "no answer for magnitude" << magnitudeText;
  return q;
}

// ---------------------------------------------------------------------------
// Data kind 1: the extreme part alone.

TEST(SessionKinds, ExtremesAloneBayesProgramStartTwoRunsHazardOnTheConsole) {
  Workspace harness;
  harness.CopyExamples({"ext_l2.dat"});
  const std::string answers =
      "\n\nkind1.txt\n"
      "1\n1\n50 100 1000\n"
      "2\next_l2.dat\n"  // layout with one SD in the header
      "1\n"              // suggested Mmin: the smallest extreme magnitude 4.6 less one
      "1\n0.2\n"         // Xmax from the catalog, its error
      "2\n"              // Bayes
      "1.0 0.1\n1\n"     // prior, starting point by program (Mmax = 6.7 + 0.5)
      "7.5\n0\n"         // a second run with Mmax 7.5, then stop
      "1\n5.0\n0\n";     // hazard on the console, one query
  const auto outcome = harness.Run(answers);
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  const auto console = SplitLines(outcome.Console);
  const auto file = SplitLines(outcome.OutputFile);
  EXPECT_EQ(console.back(), kStop);

  // The extreme summary: head lines, one echo line per event from the file's
  // own dates and magnitudes with the header SD 0.25, the count and maxima.
  const auto events = NumberRows(ExampleText("ext_l2.dat"), 3);
  ASSERT_EQ(events.size(), 36u);
  std::vector<std::string> summary = {
      "  SUMMARY of EXTREME part of catalog", " ====================================",
      "  FILE name of EXTREME part of catalog : ext_l2.dat",
      "  EXTREME catalog STARTS at  1500/ 1/ 1", "  EXTREME catalog ENDS   at  1899/12/31"};
  float largest = 0, second = 0;
  for (const auto& e : events) {
    summary.push_back(" " + I(5, static_cast<int>(e[0])) + " " + I(2, static_cast<int>(e[1])) + " " +
                      I(2, static_cast<int>(e[2])) + " " + F(5, 2, e[3]) + "   .25");
    if (largest > e[3]) {
      if (second < e[3]) second = e[3];
    } else {
      second = largest;
      largest = e[3];
    }
  }
  summary.push_back("  Number of earthquakes :  36");
  summary.push_back("  MAX OBS. IN EXTREME PART OF CATALOG = " + F(5, 2, largest));
  summary.push_back("  SECOND MAX OBS. IN EXTREME PART OF CATALOG = " + F(5, 2, second));
  const std::vector<std::string> setUp = {
      "", "         Maximum OBSERVED magnitude Xmax = " + F(5, 2, largest),
      "  SECOND Maximum OBSERVED magnitude Xmax = " + F(5, 2, second), "",
      "  M_max is determined according to Tolve-Brandholm-Bayes", "",
      "  PRIOR b-value & SD[of PRIOR b] = 1.00      .100", "", "                      RESULTS",
      "                     ========="};
  summary.insert(summary.end(), setUp.begin(), setUp.end());
  const std::size_t first = IndexOf(file, summary[0]);
  ASSERT_LT(first + summary.size() + 6, file.size());
  for (std::size_t i = 0; i < summary.size(); ++i) EXPECT_EQ(file[first + i], summary[i]) << "file line " << first + i + 1;
  EXPECT_FLOAT_EQ(largest, 6.7f);

  // RESULTS of the last run (Mmax 7.5); SD of M_max = sqrt(0.8^2 + 0.2^2) = 0.825.
  const std::size_t results = first + summary.size();
  const auto printed = ParseResults(file[results], file[results + 1]);
  EXPECT_EQ(file[results + 2], "  M_max  =  7.50 +-   .82  (for SIG(Xmax) =   .20)");
  EXPECT_EQ(file[results + 3], "");
  EXPECT_EQ(file[results + 4].rfind("  Transmission coefficient = ", 0), 0u);
  // Extremes alone: no contribution table, the hazard table follows at once.
  EXPECT_EQ(file[results + 5], "");
  EXPECT_EQ(file[results + 6], kTableTitle);
  EXPECT_FLOAT_EQ(printed.mmin, 3.6f);
  EXPECT_GT(printed.b, 0.5f);
  EXPECT_LT(printed.b, 1.5f);

  // Two runs: the program's start Mmax, then the typed one; each dialog offers
  // a Bayes estimate at or above Xmax.
  const auto run1 = RunSummary(console, 1);
  const auto run2 = RunSummary(console, 2);
  ASSERT_EQ(run1.size(), 8u);
  ASSERT_EQ(run2.size(), 8u);
  EXPECT_EQ(run1[6], " Mmax   =  7.20");
  EXPECT_EQ(run2[6], " Mmax   =  7.50");
  EXPECT_EQ(run2[5].substr(run2[5].size() - 20), "  (for Mmin =  3.60)");
  EXPECT_TRUE(RunSummary(console, 3).empty());
  std::size_t offers = 0;
  for (const std::string& line : console) {
    float suggested = 0;
    if (std::sscanf(line.c_str(), "   Suggested Mmax = %f", &suggested) == 1 && line.find("Xmax") == std::string::npos) {
      ++offers;
      EXPECT_GE(suggested, 6.7f) << line;
      EXPECT_LT(suggested, 8.5f) << line;
    }
  }
  EXPECT_EQ(offers, 2u);

  // Answer 1: the query is answered, and the table shows on the console too,
  // each row as in the file less its first character.
  const QueryAnswer q = ParseQuery(console, " 5.00");
  EXPECT_GT(q.p1, 0.0f);
  EXPECT_LE(q.p1, q.p50);
  EXPECT_LE(q.p50, q.p100);
  EXPECT_LE(q.p100, 1.0f);
  EXPECT_NEAR(q.ret, 1.0f / q.rate, 0.002f * q.ret);  // return period of the printed rate
  const auto rows = FileTableRows(file);
  EXPECT_EQ(static_cast<int>(rows.size()), HazardRowCount(3.6f, 7.5f));
  const std::size_t consoleTitle = IndexOf(console, kTableTitle.substr(1));
  ASSERT_LT(consoleTitle + 1 + rows.size(), console.size());
  EXPECT_EQ(console[consoleTitle + 1],
            "INT/MAG  LAMBDA             RET PER      Pr(T = 1,    50.0,   100.0,  1000.0,");
  for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(console[consoleTitle + 2 + i], rows[i].substr(1));
  EXPECT_EQ(rows.front().substr(0, 6), "  3.6 ");
  EXPECT_EQ(rows.back().substr(0, 6), "  7.5 ");  // the last sum 7.4999... is below Mmax
}

// ---------------------------------------------------------------------------
// Data kind 2: the two complete parts.

TEST(SessionKinds, CompletePartsCramerKeyboardStartThreeRunsQueriesWithoutTable) {
  Workspace harness;
  harness.CopyExamples({"cp1900_l1.dat", "cp1960_l1.dat"});
  const std::string answers =
      "\n\nkind2.txt\n"
      "1\n2\n10 20 30\n"
      "1\n2\ncp1900_l1.dat\ncp1960_l1.dat\n"  // magnitude and SD per line, two parts
      "2\n3.0\n"                             // threshold below the lowest level 3.5
      "1\n0.1\n"
      "1\n"                                  // Cramer
      "1.0 0.1\n"
      "2\n8.0\n7.0\n"                        // keyboard: Lambda 8 for Mmin 3.0, Mmax 7.0
      "7.4\n7.8\n0\n"                        // runs 2 and 3, then stop
      "2\n"                                  // neither 0 nor 1: queries, table to the file only
      "2.9\n7.8\n3.0\n0\n";                  // below Mmin, equal to Mmax, equal to Mmin, end
  const auto outcome = harness.Run(answers);
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  const auto console = SplitLines(outcome.Console);
  const auto file = SplitLines(outcome.OutputFile);

  // Part summaries: layout 1 has no SD line; counts are the data lines of each file.
  const auto rows1 = NumberRows(ExampleText("cp1900_l1.dat"), 3);
  const auto rows2 = NumberRows(ExampleText("cp1960_l1.dat"), 3);
  const std::size_t events1 = rows1.size();
  const std::size_t events2 = rows2.size();
  // Running largest and second-largest magnitude in reading order.
  float largest = 0, second = 0;
  for (const auto* rows : {&rows1, &rows2}) {
    for (const auto& row : *rows) {
      if (largest > row[0]) {
        if (second < row[0]) second = row[0];
      } else {
        second = largest;
        largest = row[0];
      }
    }
  }
  const std::vector<std::string> parts = {
      "", "  SUMMARY of COMPLETE part of catalog no. 1", " ===========================================",
      "  FILE name : cp1900_l1.", "  Catalog STARTS at  1900/ 1/ 1", "  Catalog ENDS   at  1959/12/31",
      "  THRESHOLD magnitude    =  4.50", "  Number of earthquakes  = " + I(4, static_cast<int>(events1)),
      "", "  SUMMARY of COMPLETE part of catalog no. 2", " ===========================================",
      "  FILE name : cp1960_l1.", "  Catalog STARTS at  1960/ 1/ 1", "  Catalog ENDS   at  2000/12/31",
      "  THRESHOLD magnitude    =  3.50", "  Number of earthquakes  = " + I(4, static_cast<int>(events2)),
      "", "         Maximum OBSERVED magnitude Xmax = " + F(5, 2, largest),
      "  SECOND Maximum OBSERVED magnitude Xmax = " + F(5, 2, second), "",
      "  M_max is determined according to Tolve-Brandholm (Cramers Approximation)", "",
      "  PRIOR b-value & SD[of PRIOR b] = 1.00      .100", "", "                      RESULTS",
      "                     ========="};
  const std::size_t first = IndexOf(file, parts[1]) - 1;
  ASSERT_LT(first + parts.size() + 13, file.size());
  for (std::size_t i = 0; i < parts.size(); ++i) EXPECT_EQ(file[first + i], parts[i]) << "file line " << first + i + 1;
  EXPECT_EQ(events1, 62u);
  EXPECT_EQ(events2, 365u);
  EXPECT_FLOAT_EQ(largest, 6.7f);

  // Results of run 3 (Mmax 7.8): SD of M_max = sqrt(1.1^2 + 0.1^2) = 1.105.
  const std::size_t results = first + parts.size();
  const auto printed = ParseResults(file[results], file[results + 1]);
  EXPECT_EQ(file[results + 2], "  M_max  =  7.80 +-  1.10  (for SIG(Xmax) =   .10)");
  EXPECT_FLOAT_EQ(printed.mmin, 3.0f);
  EXPECT_GT(printed.b, 0.5f);
  EXPECT_LT(printed.b, 1.5f);
  // The contribution table lists both parts and no extremes row.
  const std::vector<std::string> head = {"", "              DATA contribution to the parameters :",
                                         "             =======================================",
                                         "                     Beta (%)     Lambda (%)"};
  for (std::size_t i = 0; i < head.size(); ++i) EXPECT_EQ(file[results + 5 + i], head[i]);
  float beta1 = 0, lambda1 = 0, beta2 = 0, lambda2 = 0;
  EXPECT_EQ(std::sscanf(file[results + 9].c_str(), " COMPLETE #1 :         %f         %f", &beta1, &lambda1), 2)
      << file[results + 9];
  EXPECT_EQ(std::sscanf(file[results + 10].c_str(), " COMPLETE #2 :         %f         %f", &beta2, &lambda2), 2)
      << file[results + 10];
  EXPECT_EQ(file[results + 11], "");
  EXPECT_EQ(file[results + 12], kTableTitle);
  EXPECT_EQ(outcome.OutputFile.find("EXTREMES"), std::string::npos);
  // The empty extreme slot still holds the prior's share of the Beta information.
  EXPECT_LT(beta1 + beta2, 99.0f);
  EXPECT_NEAR(lambda1 + lambda2, 100.0f, 0.15f);
  EXPECT_GT(lambda2, lambda1);  // the long recent part knows more about the rate

  // Keyboard start: the prompts name Mmin and Xmax; three runs, each with its Mmax.
  EXPECT_EQ(CountLines(console, "(LAMBDA should be given for Mmin= 3.0)"), 1u);
  EXPECT_EQ(CountLines(console, " Enter Mmax (NOT LESS than  6.70)"), 1u);
  EXPECT_EQ(RunSummary(console, 1).at(6), " Mmax   =  7.00");
  EXPECT_EQ(RunSummary(console, 2).at(6), " Mmax   =  7.40");
  EXPECT_EQ(RunSummary(console, 3).at(6), " Mmax   =  7.80");
  // The report states the last run's estimates.
  float runBeta = 0, runLambda = 0;
  const auto run3 = RunSummary(console, 3);
  std::sscanf(run3[4].c_str(), " Beta   = %f", &runBeta);
  std::sscanf(run3[5].c_str(), " Lambda = %f", &runLambda);
  EXPECT_NEAR(printed.beta, runBeta, 0.0051f);
  EXPECT_NEAR(printed.lambda, runLambda, 0.0051f);

  // Hazard answer 2: four prompts (two refused magnitudes, Mmin, the 0), one
  // answer, for Mmin + 0.004, and the table in the file only.
  EXPECT_EQ(CountLines(console, " Enter MAGNITUDE < 3.00, 7.80> = "), 4u);
  EXPECT_EQ(CountOf(outcome.Console, "Prob(mag>"), 3u);
  const QueryAnswer q = ParseQuery(console, " 3.00");
  // At exactly Mmin the rate would be Lambda itself; 0.004 above it is about 1 % less.
  EXPECT_LT(q.rate, printed.lambda * 0.997f);
  EXPECT_GT(q.rate, printed.lambda * 0.97f);
  EXPECT_EQ(IndexOf(console, kTableTitle.substr(1)), console.size());
  EXPECT_EQ(CountOf(outcome.Console, "INT/MAG"), 0u);
  const std::size_t title = IndexOf(file, kTableTitle);
  ASSERT_LT(title + 2, file.size());
  EXPECT_EQ(file[title + 2], " INT/MAG  LAMBDA             RET PER      Pr(T = 1,    10.0,    20.0,    30.0,");
  EXPECT_EQ(static_cast<int>(FileTableRows(file).size()), HazardRowCount(3.0f, 7.8f));
}

// ---------------------------------------------------------------------------
// Data kind 3: extremes and complete parts.

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

TEST(SessionKinds, ProcedureSevenWithXmaxBeforeTheCatalogAndGroupedParts) {
  Workspace harness;
  harness.CopyExamples({"ext_l2.dat", "cp1900_l3.dat", "cp1960_l3.dat"});
  const std::string answers =
      "\n\nkind3.txt\n"
      "1\n3\n50 100 1000\n"
      "2\next_l2.dat\n"
      "3\n2\ncp1900_l3.dat\ncp1960_l3.dat\n"  // grouped frequency - magnitude
      "1\n"                                  // suggested Mmin 2.5
      "2\n6.6\n7.0\n"                        // Xmax is different: 6.6 is refused, 7.0 taken
      "1\n1400 0 0\n"                        // it occurred before the catalog
      "0.3\n"
      "7\n"                                  // a code without estimator
      "1.0 0\n"                              // SD 0 is raised to the floor
      "1\n0\n"                               // program start (Mmax 7.5), stop at once
      "0\n";
  const auto outcome = harness.Run(answers);
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  const auto console = SplitLines(outcome.Console);
  const auto file = SplitLines(outcome.OutputFile);

  // Grouped layout: the frequency table of each part, from its file.
  const auto groups = NumberRows(ExampleText("cp1900_l3.dat"), 4);
  const std::size_t head = IndexOf(file, "   No       FREQ     MAG");
  ASSERT_LT(head + groups.size() + 1, file.size());
  int total = 0;
  for (std::size_t j = 0; j < groups.size(); ++j) {
    total += static_cast<int>(groups[j][0]);
    EXPECT_EQ(file[head + 1 + j], " " + I(3, static_cast<int>(j + 1)) + "     " + I(5, static_cast<int>(groups[j][0])) +
                                      "    " + F(5, 1, groups[j][1]));
  }
  EXPECT_EQ(file[head + 1 + groups.size()], "  Number of earthquakes  = " + I(4, total));
  EXPECT_EQ(file[head + 2 + groups.size()], "  Standard Deviation =   .20");

  // Xmax typed: the observed maximum becomes the second; the date is echoed
  // with its zeros; code 7 writes no procedure line.
  const std::size_t xmax = IndexOf(file, "         Maximum OBSERVED magnitude Xmax =  7.00");
  ASSERT_LT(xmax + 4, file.size());
  EXPECT_EQ(file[xmax + 1], "  SECOND Maximum OBSERVED magnitude Xmax =  6.70");
  EXPECT_EQ(file[xmax + 2], "  Occurred at  1400/ 0/ 0");
  EXPECT_EQ(file[xmax + 3], "  PRIOR b-value & SD[of PRIOR b] = 1.00      .000");
  EXPECT_EQ(outcome.OutputFile.find("M_max is determined"), std::string::npos);
  EXPECT_EQ(CountLines(console, " Enter:  MAXIMUM observed MAGNITUDE (NOT LESS than  6.70)"), 2u);

  // No estimate: the dialog offers Xmax; one run with the program's Mmax 7.0 + 0.5.
  EXPECT_EQ(CountLines(console, "   Suggested Mmax = Xmax =  7.00"), 1u);
  EXPECT_EQ(RunSummary(console, 1).at(6), " Mmax   =  7.50");
  EXPECT_TRUE(RunSummary(console, 2).empty());
  // Code 7: the file's M_max record has no uncertainty; the console's has,
  // sqrt(0.5^2 + 0.3^2) = 0.583.
  EXPECT_EQ(CountLines(file, "  M_max  =  7.50"), 1u);
  EXPECT_EQ(CountLines(console, " M_max  =  7.50 +-   .58  (for SIG(Xmax) =   .30)"), 1u);
  // Three contribution rows; with the prior SD at its floor 0.001 the prior
  // dominates the Beta information of every slot (three equal thirds).
  const std::size_t table = IndexOf(file, "                     Beta (%)     Lambda (%)");
  ASSERT_LT(table + 3, file.size());
  for (std::size_t i = 1; i <= 3; ++i) EXPECT_EQ(file[table + i].substr(14, 13), "         33.3") << file[table + i];
  // Hazard answer 0: no question for a magnitude, the table in the file only.
  EXPECT_EQ(CountOf(outcome.Console, "Enter MAGNITUDE"), 0u);
  EXPECT_EQ(static_cast<int>(FileTableRows(file).size()), HazardRowCount(2.5f, 7.5f));
}

}  // namespace
}  // namespace qev::testing
