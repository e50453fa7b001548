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
// point from the keyboard, two runs and a hazard query on the console.
const std::vector<Answer> kFullSession = {
    {"", Kind::Line},
    {"", Kind::Line},
    {"out.txt", Kind::Line},
    {"1", Kind::Integer},  // units: magnitude
    {"3", Kind::Integer},  // extremes and complete parts
    {"50 100 1000", Kind::Real},
    {"2", Kind::Integer},  // extreme layout: one common SD
    {"ext.dat", Kind::Line},
    {"2", Kind::Integer},  // complete layout: one common SD
    {"1", Kind::Integer},  // one complete part
    {"comp.dat", Kind::Line},
    {"2", Kind::Integer},  // an own threshold ...
    {"3.8", Kind::Real},   // ... below the lowest complete threshold
    {"2", Kind::Integer},  // an own Xmax ...
    {"7.0", Kind::Real},
    {"0", Kind::Integer},     // ... not before the catalog
    {"0.25", Kind::Real},     // its error
    {"1", Kind::Integer},     // procedure 1
    {"1.0 0.1", Kind::Real},  // prior b-value and its SD
    {"2", Kind::Integer},     // starting point from the keyboard
    {"0.5", Kind::Real},      // Lambda
    {"7.5", Kind::Real},      // Mmax of the first run
    {"7.2", Kind::Real},      // Mmax of the second run
    {"0", Kind::Real},        // no further run
    {"1", Kind::Integer},     // hazard on the console
    {"6.0", Kind::Real},      // one query
    {"0", Kind::Real},        // end of the queries
};

const char* const kExtreme =
    "1700,1,1\n1949,12,31\n0.3\n1703 5 5 6.6\n1751 0 0 6.0\n1799 12 31 6.9\n"
    "1800 1 1 5.9\n1880 6 6 6.3\n1933 3 3 6.1\n";

std::string Complete() {
  std::string text = "1950 1 1\n1999 12 31\n4.0\n0.1\n";
  const char* magnitudes[] = {"4.0", "4.1", "4.0", "4.2", "4.3", "4.1", "4.4", "4.0", "4.2", "4.3",
                              "4.5", "4.7", "4.6", "4.9", "4.5", "5.0", "5.2", "5.1", "5.6", "6.3"};
  for (const char* m : magnitudes) text += std::string(m) + "\n";
  return text;
}

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
    work_.WriteFile("comp.dat", Complete());
    full_ = work_.Run(Script(kFullSession.size()));
  }

  // What every stopped session shares with the full one: the console up to
  // the report is the full session's console up to that point, and the output
  // file is the full session's file up to the stop, in whole lines.
  void ExpectCleanStopBefore(const SessionOutcome& cut, const std::string& what) {
    EXPECT_EQ(cut.ExitStatus, 1) << what;
    const std::size_t error = cut.Console.rfind(" READING ERROR");
    ASSERT_NE(error, std::string::npos) << what << "\n" << LastLines(cut.Console, 8);
    const std::size_t report =
        cut.Console.rfind("\r\n *************************************************", error);
    ASSERT_NE(report, std::string::npos) << what;
    EXPECT_EQ(full_.Console.compare(0, report, cut.Console, 0, report), 0)
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

TEST_F(BadAnswers, TheFullSessionEndsNormally) {
  EXPECT_EQ(full_.ExitStatus, 0);
  EXPECT_TRUE(!full_.OutputFileName.empty());
  EXPECT_TRUE(WholeLines(full_.OutputFile));
  EXPECT_EQ(full_.Console.find("READING ERROR"), std::string::npos) << LastLines(full_.Console, 20);
  EXPECT_NE(full_.Console.find("RUN #  2"), std::string::npos);
  EXPECT_NE(full_.OutputFile.find("HAZARD"), std::string::npos);
}

TEST_F(BadAnswers, EndOfConsoleInputAtEveryPromptIsAReadingError) {
  ASSERT_EQ(full_.ExitStatus, 0);
  for (std::size_t kept = 0; kept < kFullSession.size(); ++kept) {
    const SessionOutcome cut = work_.Run(Script(kept));
    const std::string what = "answers cut after line " + std::to_string(kept);
    ExpectCleanStopBefore(cut, what);
    EXPECT_NE(cut.Console.find(" READING ERROR: end of console input reached"), std::string::npos)
        << what << "\n"
        << LastLines(cut.Console, 8);
    // The output file exists from the moment its name was answered.
    EXPECT_EQ(!cut.OutputFileName.empty(), kept >= 3) << what;
  }
}

TEST_F(BadAnswers, AMalformedAnswerAtEveryNumericPromptIsAReadingError) {
  ASSERT_EQ(full_.ExitStatus, 0);
  for (std::size_t line = 0; line < kFullSession.size(); ++line) {
    if (kFullSession[line].Read == Kind::Line) continue;
    // A real typed for a menu number is an error, not the number; a real with
    // letters after it is an error too.
    const std::string bad = kFullSession[line].Read == Kind::Integer ? "1.0" : "6.5abc";
    const SessionOutcome cut = work_.Run(Script(kFullSession.size(), {{line, bad}}));
    const std::string what = "answer " + std::to_string(line + 1) + " given as " + bad;
    ExpectCleanStopBefore(cut, what);
    EXPECT_NE(cut.Console.find(" READING ERROR in console input, line " + std::to_string(line + 1) +
                               "\r\n"),
              std::string::npos)
        << what << "\n"
        << LastLines(cut.Console, 8);
    EXPECT_NE(cut.Console.find(" read     : \"" + bad + "\""), std::string::npos) << what;
  }
}

// Answers that could only give meaningless numbers are asked again without a
// message, as the other bounded prompts are: the prompt shows once more for
// each of them, and the session ends with the report the good answer gives.
TEST_F(BadAnswers, AnswersOutsideTheirBoundsAreAskedAgainSilently) {
  ASSERT_EQ(full_.ExitStatus, 0);
  const struct {
    const char* what;
    Replacements bad;        // the bad answers, then the good one
    Replacements reference;  // the session answered well at once
    const char* prompt;
    std::size_t again;  // times the prompt is asked again
  } cases[] = {
      {"data kinds 4 and 0", {{4, "4\n0\n3"}}, {}, "INPUT data determination", 2},
      {"spans of 0 and below",
       {{5, "0 100 1000\n50 -1 1000\n50 100 1000"}},
       {},
       "3 time  intervals",
       2},
      {"an own Xmax above 10", {{14, "10.5\n7.0"}}, {}, "MAXIMUM observed MAGNITUDE", 1},
      {"a date after the catalog's start 1700",
       {{15, "1\n1800 1 1\n1701 0 0\n1650 1 1"}},
       {{15, "1\n1650 1 1"}},
       "year, month, day of such",
       2},
      {"SIG(Xmax) below 0 and above 10", {{16, "-0.1\n10.5\n0.25"}}, {}, "approximate ERROR", 2},
      {"prior b-values 0 and 3.5",
       {{18, "0 0.1\n3.5 0.1\n1.0 0.1"}},
       {},
       "ENTER: Prior b-value",
       2},
      {"starting Lambdas 0 and -5", {{20, "0\n-5\n0.5"}}, {}, "approximation of LAMBDA", 2},
      {"starting Mmax 1e30 and 10.5", {{21, "1e30\n10.5\n7.5"}}, {}, "Enter Mmax (NOT LESS", 2},
  };
  for (const auto& c : cases) {
    const SessionOutcome bad = work_.Run(Script(kFullSession.size(), c.bad));
    const SessionOutcome good =
        c.reference.empty() ? full_ : work_.Run(Script(kFullSession.size(), c.reference));
    EXPECT_EQ(bad.ExitStatus, 0) << c.what << "\n" << LastLines(bad.Console, 8);
    EXPECT_EQ(bad.OutputFile, good.OutputFile) << c.what;
    EXPECT_EQ(CountOf(bad.Console, c.prompt), CountOf(good.Console, c.prompt) + c.again) << c.what;
  }
}

}  // namespace
}  // namespace qev::testing
