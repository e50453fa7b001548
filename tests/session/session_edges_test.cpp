// Edge cases seen through whole sessions: the inclusive bounds of the Mmax
// dialog in both units, a catalog too small to fix the rate (standard
// deviation of Lambda above Lambda), and a starting point the program cannot
// compute.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "harness/session_harness.h"
#include "harness/session_scripts.h"
#include "session/session_support.h"

namespace qev::testing {
namespace {

const std::string kStop = "Stop - Program terminated.";

std::string MmaxLine(const std::vector<std::string>& console, int run) {
  const auto summary = RunSummary(console, run);
  return summary.size() == 8 ? summary[6] : "(no run " + std::to_string(run) + ")";
}

TEST(SessionMmaxDialog, MagnitudeBoundsAreInclusiveAndRefusalsAreSilent) {
  // Largest observed magnitude 6.3, magnitude units: the dialog takes 6.3 to 10.0.
  SessionHarness harness;
  harness.WriteFile("comp1.dat", SmallCompleteCatalog());
  CompleteSessionScript script;
  script.Procedure = "3\n";  // no estimate: every dialog offers Xmax
  script.LaterMmax = "6.29\n10.01\n6.3\n10.0\n";
  const auto outcome = harness.Run(script.Text());
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  const auto console = SplitLines(outcome.Console);
  const auto file = SplitLines(outcome.OutputFile);

  // Run 1 with the program's Mmax 6.3 + 0.5; 6.29 and 10.01 are refused, 6.3
  // starts run 2, 10.0 run 3, and 0 ends the runs.
  EXPECT_EQ(MmaxLine(console, 1), " Mmax   =  6.80");
  EXPECT_EQ(MmaxLine(console, 2), " Mmax   =  6.30");
  EXPECT_EQ(MmaxLine(console, 3), " Mmax   = 10.00");
  EXPECT_TRUE(RunSummary(console, 4).empty());
  // Five prompts (three in the first dialog), the suggestion once per dialog,
  // and no message for a refusal.
  EXPECT_EQ(CountLines(console, " Enter : Mmax (NOT LESS than  6.30) = "), 5u);
  EXPECT_EQ(CountLines(console, "   Suggested Mmax = Xmax =  6.30"), 3u);
  EXPECT_EQ(CountLines(console, "  to TERMINATE, enter Mmax = 0"), 5u);
  // The report uses the last run's Mmax: SD sqrt(3.7^2 + 0.2^2) = 3.705.
  EXPECT_EQ(CountLines(file, "  M_max  = 10.00 +-  3.71  (for SIG(Xmax) =   .20)"), 1u);
  const std::size_t title = IndexOf(file, "                           HAZARD EVALUATION ");
  ASSERT_LT(title + 3, file.size());
  EXPECT_EQ(static_cast<int>(file.size() - title - 3), HazardRowCount(3.0f, 10.0f));
  EXPECT_EQ(file[title + 3].substr(0, 6), "  3.0 ");
  // The running sum climbs above the exact tenths (its 71st value is
  // 10.0000029): no row for 10.0, the last is 9.9.
  EXPECT_EQ(file.back().substr(0, 6), "  9.9 ");
}

TEST(SessionMmaxDialog, IntensityUnitsAllowUpToTwelve) {
  SessionHarness harness;
  harness.WriteFile("comp1.dat", SmallCompleteCatalog());
  const std::string answers = IntroAnswers("int.txt") +
                              "2\n2\n50 100 1000\n"  // intensity units, complete parts
                              "2\n1\ncomp1.dat\n1\n1\n0.2\n3\n1.0 0.1\n1\n"
                              "12.01\n12.0\n0\n0\n";
  const auto outcome = harness.Run(answers);
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  const auto console = SplitLines(outcome.Console);
  EXPECT_EQ(MmaxLine(console, 2), " Mmax   = 12.00");
  EXPECT_EQ(CountLines(console, " Enter : Mmax (NOT LESS than  6.30) = "), 3u);
  EXPECT_TRUE(RunSummary(console, 3).empty());
}

TEST(SessionRates, OneEventGivesALambdaUncertaintyAboveLambdaAndOpenUpperBounds) {
  // A single earthquake in ten years tells little about the rate.
  SessionHarness harness;
  harness.WriteFile("one.dat", "1990 1 1\n1999 12 31\n4.0\n0.2\n4.6\n");
  const std::string answers = IntroAnswers("sd.txt") +
                              "1\n2\n50 100 1000\n2\n1\none.dat\n"
                              "1\n1\n0.2\n3\n1.0 0.1\n"
                              "2\n0.5\n5.5\n"  // keyboard start
                              "0\n0\n";
  const auto outcome = harness.Run(answers);
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  const auto file = SplitLines(outcome.OutputFile);
  const std::size_t results = IndexOf(file, "                     =========");
  ASSERT_LT(results + 2, file.size());
  const auto printed = ParseResults(file[results + 1], file[results + 2]);
  ASSERT_GE(printed.sdLambda, printed.lambda) << file[results + 2];

  // Every row: Lambda - SdLambda <= 0 gives the return period 1.0E35, which
  // overflows the upper bound's F8.1 field; the lower bound stays a number
  // wherever the rate itself does.
  const std::size_t title = IndexOf(file, "                           HAZARD EVALUATION ");
  ASSERT_LT(title + 3, file.size());
  const std::vector<std::string> rows(file.begin() + static_cast<std::ptrdiff_t>(title) + 3, file.end());
  ASSERT_EQ(static_cast<int>(rows.size()), HazardRowCount(3.0f, 5.5f));
  for (const std::string& row : rows) {
    ASSERT_EQ(row.size(), 80u) << row;
    EXPECT_EQ(row[24], '(');
    EXPECT_EQ(row[33], ',');
    EXPECT_EQ(row.substr(34, 9), "********)") << row;
    if (row.substr(16, 8) != "********") {
      EXPECT_NE(row.substr(25, 8), "********") << row;
    }
  }
}

TEST(SessionStart, ByProgramStartFromAPartWithoutSpreadStopsWithAnErrorStatus) {
  // Every magnitude at the threshold: the mean magnitude minus the threshold
  // is 0, and Beta = 1 / 0 cannot start the search.
  SessionHarness harness;
  harness.WriteFile("flat.dat", "1950 1 1\n1999 12 31\n4.0\n0.1\n4.0\n4.0\n4.0\n");
  const std::string answers = IntroAnswers("flat.txt") +
                              "1\n2\n50 100 1000\n2\n1\nflat.dat\n"
                              "1\n1\n0.2\n1\n1.0 0.1\n"
                              "1\n"  // by program
                              "0\n0\n";
  const auto outcome = harness.Run(answers);
  EXPECT_EQ(outcome.ExitStatus, 1);
  const auto console = SplitLines(outcome.Console);
  ASSERT_FALSE(console.empty());
  EXPECT_EQ(console.back(), kStop);
  EXPECT_NE(outcome.Console.find("keyboard"), std::string::npos);
  EXPECT_TRUE(RunSummary(console, 1).empty());
  // The file keeps what was written before the stop, the prior line last.
  const auto file = SplitLines(outcome.OutputFile);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(file.back(), "  PRIOR b-value & SD[of PRIOR b] = 1.00      .100");
}

}  // namespace
}  // namespace qev::testing
