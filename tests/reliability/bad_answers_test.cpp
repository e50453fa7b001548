// The bad-answer half of the reliability matrix: a full session that visits
// every kind of prompt, cut short after each of its answers, and given a
// malformed answer at each numeric prompt. Each case must end with the
// reading-error report, exit status 1, and an output file that holds exactly
// the lines written before the stop, all of them whole.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev::testing {
namespace {

// Every line of an output file ended by carriage return and line feed.
bool WholeLines(const std::string& bytes) { return bytes.empty() || bytes.ends_with("\r\n"); }

// How a prompt reads its answer.
enum class Kind { Line, Integer, Real };

struct Answer {
  const char* Text;
  Kind Read;
};

// Extremes and one complete part, an own threshold, an own Xmax, the starting
// point from the keyboard, two runs and a hazard query on the console. By
// line: the output file name asked after two blank answers; units (magnitude),
// data kinds (extremes and complete parts), the spans, the extreme layout (one
// common SD) and file; the complete layout (one common SD), one part and its
// file; an own threshold below the lowest complete one; an own Xmax, not
// before the catalog, and its error; procedure 1 and the prior b-value with
// its SD; the start from the keyboard (Lambda, Mmax of the first run), Mmax of
// the second run, no further run; hazard on the console, one query, the end.
constexpr auto L = Kind::Line;
constexpr auto I = Kind::Integer;
constexpr auto R = Kind::Real;
// clang-format off
const std::vector<Answer> kFullSession = {
    {"", L}, {"", L}, {"out.txt", L},
    {"1", I}, {"3", I}, {"50 100 1000", R}, {"2", I}, {"ext.dat", L},
    {"2", I}, {"1", I}, {"comp.dat", L},
    {"2", I}, {"3.8", R},
    {"2", I}, {"7.0", R}, {"0", I}, {"0.25", R},
    {"1", I}, {"1.0 0.1", R},
    {"2", I}, {"0.5", R}, {"7.5", R}, {"7.2", R}, {"0", R},
    {"1", I}, {"6.0", R}, {"0", R}};
// clang-format on

const char* const kExtreme =
    "1700,1,1\n1949,12,31\n0.3\n1703 5 5 6.6\n1751 0 0 6.0\n1799 12 31 6.9\n"
    "1800 1 1 5.9\n1880 6 6 6.3\n1933 3 3 6.1\n";

const char* const kComplete =
    "1950 1 1\n1999 12 31\n4.0\n0.1\n4.0\n4.1\n4.0\n4.2\n4.3\n4.1\n4.4\n4.0\n4.2\n4.3\n4.5\n4.7\n"
    "4.6\n4.9\n4.5\n5.0\n5.2\n5.1\n5.6\n6.3\n";

// The full session's answers with some lines replaced (by one or more lines).
using Replacements = std::vector<std::pair<std::size_t, std::string>>;

std::string Script(std::size_t count, const Replacements& replaced = {}) {
  std::string script;
  for (std::size_t i = 0; i < count && i < kFullSession.size(); ++i) {
    std::string answer = kFullSession[i].Text;
    for (const auto& [line, text] : replaced) {
      if (line == i) answer = text;
    }
    script += answer + "\n";
  }
  return script;
}

class BadAnswers : public ::testing::Test {
 protected:
  void SetUp() override {
    work_.WriteFile("ext.dat", kExtreme);
    work_.WriteFile("comp.dat", kComplete);
    full_ = work_.Run(Script(kFullSession.size()));
    // The full session ends normally, with two runs and a hazard table.
    ASSERT_EQ(full_.ExitStatus, 0) << LastLines(full_.Console, 20);
    ASSERT_EQ(full_.Console.find("READING ERROR"), std::string::npos);
    ASSERT_NE(full_.Console.find("RUN #  2"), std::string::npos);
    ASSERT_NE(full_.OutputFile.find("HAZARD"), std::string::npos);
    ASSERT_TRUE(WholeLines(full_.OutputFile));
  }

  // What every stopped session shares with the full one: the console up to
  // the report (which holds `report`) is the full session's console up to
  // that point, and the output file is the full session's file up to the
  // stop, in whole lines.
  void ExpectCleanStopBefore(const SessionOutcome& cut, const std::string& what,
                             const std::string& report) {
    EXPECT_EQ(cut.ExitStatus, 1) << what;
    const std::size_t error = cut.Console.rfind(" READING ERROR");
    ASSERT_NE(error, std::string::npos) << what << "\n" << LastLines(cut.Console, 8);
    EXPECT_NE(cut.Console.find(report, error), std::string::npos) << what << "\n"
                                                                  << LastLines(cut.Console, 8);
    const std::size_t before =
        cut.Console.rfind("\r\n *************************************************", error);
    ASSERT_NE(before, std::string::npos) << what;
    EXPECT_EQ(full_.Console.compare(0, before, cut.Console, 0, before), 0)
        << what << ": the console before the report differs from the full session's";
    EXPECT_TRUE(cut.Console.ends_with("Stop - Program terminated.\r\n")) << what;
    if (!cut.OutputFileName.empty()) {
      EXPECT_TRUE(WholeLines(cut.OutputFile)) << what;
      EXPECT_TRUE(full_.OutputFile.starts_with(cut.OutputFile))
          << what << ": the output file is not a prefix of the full one";
    }
  }

  Workspace work_;
  SessionOutcome full_;
};

TEST_F(BadAnswers, EveryPromptCutShortOrAnsweredMalformedStopsWithAReadingError) {
  for (std::size_t line = 0; line < kFullSession.size(); ++line) {
    const SessionOutcome cut = work_.Run(Script(line));
    ExpectCleanStopBefore(cut, "answers cut after line " + std::to_string(line),
                          " READING ERROR: end of console input reached");
    // The output file exists from the moment its name was answered.
    EXPECT_EQ(!cut.OutputFileName.empty(), line >= 3) << line;
    if (kFullSession[line].Read == Kind::Line) continue;
    // A real typed for a menu number is an error, not the number; a real with
    // letters after it is an error too.
    const std::string bad = kFullSession[line].Read == Kind::Integer ? "1.0" : "6.5abc";
    ExpectCleanStopBefore(work_.Run(Script(kFullSession.size(), {{line, bad}})),
                          "answer " + std::to_string(line + 1) + " given as " + bad,
                          " READING ERROR in console input, line " + std::to_string(line + 1) +
                              "\r\n read     : \"" + bad + "\"");
  }
}

// Answers that could only give meaningless numbers are asked again without a
// message, as the other bounded prompts are: the prompt shows once more, and
// the session ends with the report the good answer gives. (The other bounds:
// the transcript of answers asked again.)
TEST_F(BadAnswers, AnswersOutsideTheirBoundsAreAskedAgainSilently) {
  const struct {
    std::size_t line;
    const char* answers;  // the bad answer, then the good one
    const char* prompt;
  } cases[] = {
      {4, "0\n3", "INPUT data determination"},
      {5, "50 -1 1000\n50 100 1000", "3 time  intervals"},
      {16, "10.5\n0.25", "approximate ERROR"},
      {18, "3.5 0.1\n1.0 0.1", "ENTER: Prior b-value"},
      {21, "10.5\n7.5", "Enter Mmax (NOT LESS"},
  };
  for (const auto& c : cases) {
    const SessionOutcome bad = work_.Run(Script(kFullSession.size(), {{c.line, c.answers}}));
    EXPECT_EQ(bad.ExitStatus, 0) << c.answers << "\n" << LastLines(bad.Console, 8);
    EXPECT_EQ(bad.OutputFile, full_.OutputFile) << c.answers;
    EXPECT_EQ(CountOf(bad.Console, c.prompt), CountOf(full_.Console, c.prompt) + 1) << c.answers;
  }
}

// A starting point at or below zero is the specified stop, not a prompt
// asked again: a keyboard Lambda of 0 or below, or a prior b-value of 0 or
// below (the keyboard start takes its Beta from the prior), ends the session
// with the box of the non-positive trial point once Mmax is read. The report
// holds what the dialogs wrote before; the box goes to the console only.
TEST_F(BadAnswers, NonPositiveKeyboardStartEndsWithTheSpecifiedBox) {
  const struct {
    std::size_t line;
    const char* answer;
  } cases[] = {{20, "0"}, {20, "-5"}, {18, "0 0.1"}, {18, "-1.0 0.1"}};
  const std::string box =
      "\r\n\r\n ***********************************\r\n SOUGHT PARAMETERS LESS than 0 !!!\r\n"
      "        CHECK INPUT DATA\r\n ***********************************\r\n\r\n"
      "Stop - Program terminated.\r\n";
  for (const auto& c : cases) {
    // A folder without the full session's report, so that the stop writes its own.
    Workspace fresh;
    fresh.WriteFile("ext.dat", kExtreme);
    fresh.WriteFile("comp.dat", kComplete);
    const SessionOutcome stopped = fresh.Run(Script(kFullSession.size(), {{c.line, c.answer}}));
    EXPECT_EQ(stopped.ExitStatus, 1) << c.answer;
    EXPECT_TRUE(stopped.Console.ends_with(box)) << c.answer << "\n"
                                                << LastLines(stopped.Console, 8);
    // Asked once, as in the full session, and the Mmax prompt reached.
    EXPECT_EQ(CountOf(stopped.Console, "approximation of LAMBDA"), 1u) << c.answer;
    EXPECT_EQ(CountOf(stopped.Console, "Enter Mmax (NOT LESS"), 1u) << c.answer;
    EXPECT_EQ(stopped.Console.find("RUN #"), std::string::npos) << c.answer;
    EXPECT_EQ(stopped.OutputFile.find("SOUGHT"), std::string::npos) << c.answer;
    // The report ends with the prior's line, the last the dialogs write.
    EXPECT_NE(LastLines(stopped.OutputFile, 1).find("  PRIOR b-value & SD"), std::string::npos)
        << c.answer << "\n"
        << LastLines(stopped.OutputFile, 3);
  }
}

}  // namespace
}  // namespace qev::testing
