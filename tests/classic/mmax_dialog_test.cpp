#include "classic/mmax_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::CountOf;
using testing::Lines;
using testing::ProcedureRun;

// The prompt block, as the console shows it after an answer is read.
std::string PromptBlock(const std::string& xmaxField) {
  return Lines()
      .Empty()
      .Line(" Enter : Mmax (NOT LESS than " + xmaxField + ") = ")
      .Empty(3)
      .Line(" *******************************")
      .Line("  to TERMINATE, enter Mmax = 0")
      .Line(" *******************************")
      .Empty()
      .str();
}

struct Dialog {
  explicit Dialog(const std::string& answers, float xmax = 6.3f, int units = 1) : h(answers) {
    h.session.settings.Xmax = xmax;
    h.session.settings.Units = units;
    h.session.model.Mmax = 7.0f;
  }
  ProcedureRun h;
};

// The stop answer 0 after each kind of suggestion line: the line of the first
// rule that holds, the prompt, and nothing in the file.
TEST(MmaxDialog, SuggestionLineFollowsTheFirstRuleThatHolds) {
  struct Case {
    float suggested;
    int units;
    bool undefined;
    const char* line;
    const char* underline;
  };
  const Case cases[] = {
      {6.8f, 1, false, "   Suggested Mmax =  6.80", "  --------------------------"},
      // no estimate yet, or a procedure without estimate
      {0.0f, 1, false, "   Suggested Mmax = Xmax =  6.30", " --------------------------------"},
      {11.0f, 1, false, "   I am sorry. I have no suggestions !!!",
       " ----------------------------------------"},
      {11.0f, 2, false, "   Suggested Mmax = 11.00", "  --------------------------"},
      {12.5f, 7, false, "   I am sorry. I have no suggestions !!!",
       " ----------------------------------------"},
      // an estimate equal to Xmax needs no Xmax line
      {6.3f, 1, false, "   Suggested Mmax =  6.30", "  --------------------------"},
      {10.0f, 1, false, "   Suggested Mmax = 10.00", "  --------------------------"},
      // the estimator could give no estimate
      {7.1f, 1, true, "   I am sorry. I have no suggestions !!!",
       " ----------------------------------------"},
      {0.0f, 1, true, "   I am sorry. I have no suggestions !!!",
       " ----------------------------------------"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.suggested) + " units " + std::to_string(c.units));
    Dialog d("0\n", 6.3f, c.units);
    d.h.session.model.SuggestedMmax = c.suggested;
    d.h.session.model.SuggestionUndefined = c.undefined;
    ASSERT_FALSE(d.h.Run(AskMmax));
    const std::string head = Lines().Line(c.line).Line(c.underline).Empty().str();
    EXPECT_EQ(d.h.Console(), head + PromptBlock(" 6.30"));
    EXPECT_TRUE(d.h.session.StopRequested);
    EXPECT_EQ(d.h.session.model.Mmax, 7.0f);
    EXPECT_EQ(d.h.File(), "");  // console only
  }
}

TEST(MmaxDialog, OutOfRangeAnswersAreAskedAgainSilentlyAndBoundsAreInclusive) {
  struct Case {
    const char* answers;
    int units;
    float accepted;
    std::size_t prompts;
  };
  const Case cases[] = {
      {"6.29\n10.01\n6.3\n", 1, 6.3f, 3}, {"6.29\n10.01\n10.0\n", 1, 10.0f, 3},
      {"0.01\n8.25\n", 1, 8.25f, 2},  // 0.01 does not stop; it is below Xmax
      {"12.01\n12.0\n", 2, 12.0f, 2},     {"10.5\n", 2, 10.5f, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    Dialog d(c.answers, 6.3f, c.units);
    d.h.session.StopRequested = true;
    d.h.session.model.SuggestedMmax = 6.9f;
    ASSERT_FALSE(d.h.Run(AskMmax));
    EXPECT_FALSE(d.h.session.StopRequested);
    EXPECT_EQ(d.h.session.model.Mmax, c.accepted);

    const std::string console = d.h.Console();
    std::string expected = Lines()
                               .Line("   Suggested Mmax =  6.90")
                               .Line("  --------------------------")
                               .Empty()
                               .str();
    for (std::size_t i = 0; i < c.prompts; ++i) expected += PromptBlock(" 6.30");
    EXPECT_EQ(console, expected);  // no message, suggestion shown once
  }
}

// Answers below one hundredth stop with Mmax unchanged, also after rejected
// answers; an Xmax above the limit leaves only the stop.
TEST(MmaxDialog, AnswersBelowOneHundredthStop) {
  struct Case {
    const char* answers;
    float xmax;
    const char* xmaxField;
    std::size_t prompts;
  };
  for (const Case& c : {Case{"0\n", 6.3f, " 6.30", 1}, Case{"-1\n", 6.3f, " 6.30", 1},
                        Case{"0.005\n", 6.3f, " 6.30", 1}, Case{"11\n0\n", 6.3f, " 6.30", 2},
                        Case{"10.0\n10.5\n0\n", 10.5f, "10.50", 3}}) {
    SCOPED_TRACE(c.answers);
    Dialog d(c.answers, c.xmax);
    ASSERT_FALSE(d.h.Run(AskMmax));
    EXPECT_TRUE(d.h.session.StopRequested);
    EXPECT_EQ(d.h.session.model.Mmax, 7.0f);
    EXPECT_EQ(CountOf(d.h.Console(), PromptBlock(c.xmaxField)), c.prompts);
  }
}

}  // namespace
}  // namespace qev
