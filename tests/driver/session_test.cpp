// Whole sessions driven in-process from answer scripts: the introductory
// screens, the top of the output file, the output-file name, the time spans,
// the run summaries and the stop.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "harness/session_scripts.h"

namespace qev::testing {
namespace {

const std::string kStop = "Stop - Program terminated.";
const std::string kAsterisks = " " + std::string(58, '*');
const std::string kEquals(60, '=');

// One expected console or file line: an exact text, or a line left to the
// implementer that must begin with exactly `blanks` blanks and go on with text.
struct Expected {
  std::string text;
  int blanks = -1;
};
Expected Free(int blanks) { return {"", blanks}; }

void ExpectLines(const std::vector<std::string>& actual, std::size_t from,
                 const std::vector<Expected>& expected) {
  ASSERT_GE(actual.size(), from + expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const std::string& line = actual[from + i];
    const Expected& want = expected[i];
    if (want.blanks < 0) {
      EXPECT_EQ(line, want.text) << "line " << from + i + 1;
    } else {
      const auto firstText = line.find_first_not_of(' ');
      EXPECT_EQ(firstText, static_cast<std::size_t>(want.blanks))
          << "line " << from + i + 1 << ": [" << line << "]";
      EXPECT_LE(line.size(), 78u) << "line " << from + i + 1;
    }
  }
}

std::vector<Expected> ClearScreenLines() { return std::vector<Expected>(26, Expected{""}); }

std::vector<Expected> Concat(std::vector<std::vector<Expected>> parts) {
  std::vector<Expected> all;
  for (auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The console lines of the three introductory screens and the output-file prompt.
std::vector<Expected> IntroScreens() {
  return Concat({
      ClearScreenLines(),
      {{""},
       {kAsterisks},
       {"PROGRAM: QEV;  RELEASE: 2.08/04 NOV 2001"},
       {""},
       {"  HAZARD evaluation from UNCOMPLETE & UNCERTAIN data "},
       {"  Magnitude errors are distributed NORMALLY"},
       {"  Magnitude Mmax can be estimated according to two"},
       {"  different procedures"},
       {""},
       {" NEW FEATURES OF QEV, RELEASE 2.08 :"},
       {"   (1) Second Procedure for Mmax assessment"},
       {"   (2) Free format of input files"},
       {"   (3) Reads a piori Gutenberg-Richter b-value"},
       {kAsterisks},
       {""},
       Free(2),
       Free(2),
       Free(2),
       Free(2),
       Free(2),
       Free(2),
       {""},
       {kAsterisks},
       {""},
       {"  to CONTINUE press ANY key ..."},
       {""}},
      {{""}},
      ClearScreenLines(),
      {{"  Each earthquake is specified by TWO values:"},
       {""},
       {"   (1) OBSERVED (apparent) MAGNITUDE, and"},
       {"   (2) STANDARD DEVIATION which describes uncertainty"},
       {"       of magnitude determination."},
       {""},
       {"  For more details of APPARENT MAGNITUDE concept see:"},
       {""},
       Free(2),
       Free(4),
       Free(4),
       Free(4),
       {""},
       {"  to CONTINUE press ANY key ..."},
       {""}},
      ClearScreenLines(),
      {{" It is assumed that the SIZE of earthquake is       "},
       {" expressed in terms of  MAGNITUDE  units. However,  "},
       {" all calculations can be done in terms of INTENSITY."},
       {""},
       {" Theory of the HAZARD evaluation method is given in :"},
       {""},
       Free(3),
       Free(3),
       Free(3),
       Free(3),
       {""},
       {""},
       {" Enter : NAME of OUTPUT file"},
       {""}},
  });
}

// The console from the units menu to the time-span prompt.
std::vector<Expected> SetUpScreens() {
  return Concat({
      ClearScreenLines(),
      {{"          UNITS of INPUT data specification  "},
       {"        -------------------------------------"},
       {""},
       {" Earthquake SIZE is expressed in units of :"},
       {""},
       {"   magnitude........................ (1)"},
       {"   intensity........................ (2)"},
       {""},
       {""},
       {"  Enter proper NUMBER ..."},
       {""}},
      ClearScreenLines(),
      {{""},
       {""},
       {"INPUT data determination : "},
       {""},
       {"   only EXTREMES.................... (1)"},
       {"   only COMPLETE varying quality.... (2)"},
       {"   EXTREME and COMPLETE............. (3)"},
       {""},
       {""},
       {"  Enter proper NUMBER ..."},
       {""}},
      ClearScreenLines(),
      {{""},
       {""},
       {" ENTER: 3 time  intervals for hazard assessment"},
       {"        (SUGGESTED times: 50, 100, and 1000 YEARS)"},
       {""}},
  });
}

std::string FileNameLine(const std::string& name15) {
  return "  File Name : " + std::string(10, ' ') + name15;
}

// The first five lines of the output file.
std::string FileTop(const std::string& name15) {
  return "  \r\n " + kEquals + "\r\n\r\n  Date      : 04-Nov-01 \r\n" + FileNameLine(name15) +
         "\r\n";
}

TEST(SessionScreens, ThreeIntroductoryScreensThenTheSetUpQuestions) {
  Workspace harness;
  // The input ends after the spans: the session stops at the next question.
  const auto outcome = harness.Run(IntroAnswers("out.txt") + "1\n4\n50 100 1000\n");
  const auto lines = SplitLines(outcome.Console);
  const auto intro = IntroScreens();
  ExpectLines(lines, 0, intro);
  ExpectLines(lines, intro.size(), SetUpScreens());
}

TEST(SessionOutputFile, BlankNameWithoutArgumentsIsAskedForOnTheConsole) {
  Workspace harness;
  const auto outcome = harness.Run("\n\n\n\nasked.txt\n1\n4\n50 100 1000\n");
  EXPECT_EQ(outcome.OutputFileName, "asked.txt");
  const auto lines = SplitLines(outcome.Console);
  const auto prompt = LinesFrom(lines, "File name missing or blank - please enter file name", 4);
  ASSERT_EQ(prompt.size(), 4u);
  // The empty answer to the first prompt asks once more.
  EXPECT_EQ(prompt[1], "UNIT 9? ");
  EXPECT_EQ(prompt[2], "File name missing or blank - please enter file name");
}

// Text typed at the pauses is ignored: each waits for one line, and the third
// line is the file name. An existing file is rewritten from its start.
TEST(SessionOutputFile, PausesTakeOneLineEachAndAnExistingFileIsRewrittenFromItsStart) {
  Workspace harness;
  harness.WriteFile("out.txt", std::string(20000, '~') + "\nold report\n");
  const auto outcome = harness.Run("go on\nx\nout.txt\n1\n4\n50 100 1000\n");
  EXPECT_EQ(outcome.OutputFileName, "out.txt");
  EXPECT_EQ(outcome.OutputFile.substr(0, FileTop("out.txt        ").size()),
            FileTop("out.txt        "));
  EXPECT_EQ(outcome.OutputFile.find('~'), std::string::npos);
  EXPECT_EQ(outcome.OutputFile.find("old report"), std::string::npos);
}

}  // namespace
}  // namespace qev::testing
