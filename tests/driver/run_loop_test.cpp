// The run loop of whole sessions: run numbers, iteration counts and the
// estimates of the run summary, the spans typed in different ways, and the
// normal end of a session.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/session_scripts.h"

namespace qev::testing {
namespace {

const std::string kRunPrefix = "                RUN # ";
// Formatted records lose their first character on the console.
const std::string kIterationsPrefix = " NR of iterations = ";
const std::string kWarning = " !!! WARING: exceeded limit of iterations !!!";

struct RunSummary {
  std::string runField;  // the two columns after "RUN # "
  int iterations = -1;
  bool warned = false;
  float beta = 0.0f, b = 0.0f, lambda = 0.0f, mmin = 0.0f, mmax = 0.0f;
};

// Picks the run summaries out of the console lines.
std::vector<RunSummary> RunSummaries(const std::vector<std::string>& lines) {
  std::vector<RunSummary> runs;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].rfind(kRunPrefix, 0) != 0 || lines[i].size() != kRunPrefix.size() + 2) continue;
    RunSummary run;
    run.runField = lines[i].substr(kRunPrefix.size());
    if (i + 7 >= lines.size()) break;
    EXPECT_EQ(lines[i + 1], "              ************");
    EXPECT_EQ(lines[i + 2], "");
    const std::string& iterations = lines[i + 3];
    EXPECT_EQ(iterations.rfind(kIterationsPrefix, 0), 0u);
    EXPECT_EQ(iterations.size(), kIterationsPrefix.size() + 3);
    run.iterations = std::stoi(iterations.substr(kIterationsPrefix.size()));
    std::size_t next = i + 4;
    if (lines[next] == kWarning) {
      run.warned = true;
      ++next;
    }
    EXPECT_EQ(std::sscanf(lines[next].c_str(), " Beta   = %f  (b = %f)", &run.beta, &run.b), 2)
        << lines[next];
    EXPECT_EQ(std::sscanf(lines[next + 1].c_str(), " Lambda = %f  (for Mmin = %f)", &run.lambda,
                          &run.mmin),
              2)
        << lines[next + 1];
    EXPECT_EQ(std::sscanf(lines[next + 2].c_str(), " Mmax   = %f", &run.mmax), 1)
        << lines[next + 2];
    EXPECT_EQ(lines[next + 3], "");
    runs.push_back(run);
  }
  return runs;
}

// Each session in a working folder of its own, on the same small catalog.
class RunLoop : public ::testing::Test {
 protected:
  static SessionOutcome Session(const CompleteSessionScript& script) {
    Workspace harness;
    harness.WriteFile(script.CatalogName, SmallCompleteCatalog());
    return harness.Run(script.Text());
  }
  static SessionOutcome Session(const std::string& spans, const std::string& laterMmax = "") {
    CompleteSessionScript script;
    script.Spans = spans;
    script.LaterMmax = laterMmax;
    return Session(script);
  }
};

// Two further Mmax answers, then the stop at the third dialog: three runs and a
// normal end.
TEST_F(RunLoop, RunNumbersCountUpAndEachRunShowsItsOwnMmax) {
  const auto outcome = Session("50 100 1000\n", "7.5\n8\n");
  ASSERT_EQ(outcome.ExitStatus, 0) << outcome.Console;
  const auto lines = SplitLines(outcome.Console);
  EXPECT_EQ(lines.back(), "Stop - Program terminated.");
  // The run summary is console-only.
  EXPECT_EQ(outcome.OutputFile.find("RUN #"), std::string::npos);
  EXPECT_EQ(outcome.OutputFile.find("NR of iterations"), std::string::npos);
  const auto runs = RunSummaries(lines);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].runField, " 1");
  EXPECT_EQ(runs[1].runField, " 2");
  EXPECT_EQ(runs[2].runField, " 3");
  // The starting point by program puts the first Mmax at Xmax + 0.5.
  EXPECT_FLOAT_EQ(runs[0].mmax, 6.8f);
  EXPECT_FLOAT_EQ(runs[1].mmax, 7.5f);
  EXPECT_FLOAT_EQ(runs[2].mmax, 8.0f);
  for (const RunSummary& run : runs) {
    // Accepting the suggested threshold puts Mmin one unit below the lowest level.
    EXPECT_FLOAT_EQ(run.mmin, 3.0f);
    // The iteration count is a real count within the limit, warned only at the limit.
    EXPECT_GE(run.iterations, 1);
    EXPECT_LE(run.iterations, 99);
    EXPECT_EQ(run.warned, run.iterations >= 99);
    // b is 0.43429 Beta; both are printed to three decimals.
    EXPECT_NEAR(run.b, run.beta * 0.43429f, 0.0011f);
    EXPECT_GT(run.lambda, 0.0f);
  }
  // A larger Mmax changes the estimates of the run.
  EXPECT_NE(runs[0].beta, runs[2].beta);
}

TEST_F(RunLoop, SpansOnOneLineOrOnThreeLinesGiveTheSameSession) {
  const auto oneLine = Session("50 100 1000\n");
  ASSERT_EQ(RunSummaries(SplitLines(oneLine.Console)).size(), 1u);  // the stop at the first dialog
  const auto commas = Session("50,100,1000\n");
  const auto threeLines = Session("50\n100\n1000\n");
  ASSERT_EQ(oneLine.ExitStatus, 0) << oneLine.Console;
  EXPECT_EQ(commas.OutputFile, oneLine.OutputFile);
  EXPECT_EQ(threeLines.OutputFile, oneLine.OutputFile);
  EXPECT_EQ(threeLines.Console, oneLine.Console);
  // The spans reach the hazard evaluation: other spans give another report.
  const auto otherSpans = Session("10 20 30\n");
  EXPECT_NE(otherSpans.OutputFile, oneLine.OutputFile);
}

}  // namespace
}  // namespace qev::testing
