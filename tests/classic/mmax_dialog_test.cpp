#include "classic/mmax_dialog.h"

#include <gtest/gtest.h>

#include <string>

#include "console/formatter.h"
#include "harness/harness.h"

namespace qev {
namespace {

using testing::CountOf;
using testing::ProcedureRun;

// The prompt block, as the console shows it after an answer is read.
std::string PromptBlock(const std::string& xmaxField) {
  return "\r\n Enter : Mmax (NOT LESS than " + xmaxField +
         ") = \r\n\r\n\r\n\r\n *******************************\r\n"
         "  to TERMINATE, enter Mmax = 0\r\n *******************************\r\n\r\n";
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
  const auto suggested = [](const char* field) {
    return "   Suggested Mmax = " + std::string(field) + "\r\n  --------------------------\r\n";
  };
  const std::string xmax =
      "   Suggested Mmax = Xmax =  6.30\r\n --------------------------------\r\n";
  const std::string sorry =
      "   I am sorry. I have no suggestions !!!\r\n ----------------------------------------\r\n";
  struct Case {
    float suggested;
    int units;
    bool undefined;
    std::string box;
  };
  const Case cases[] = {
      {6.8f, 1, false, suggested(" 6.80")},
      {0.0f, 1, false, xmax},  // no estimate yet, or a procedure without estimate
      {11.0f, 1, false, sorry},
      {11.0f, 2, false, suggested("11.00")},
      {12.5f, 7, false, sorry},
      {6.3f, 1, false, suggested(" 6.30")},  // an estimate equal to Xmax needs no Xmax line
      {10.0f, 1, false, suggested("10.00")},
      {7.1f, 1, true, sorry},  // the estimator could give no estimate
      {0.0f, 1, true, sorry},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.suggested) + " units " + std::to_string(c.units));
    Dialog d("0\n", 6.3f, c.units);
    d.h.session.model.SuggestedMmax = c.suggested;
    d.h.session.model.SuggestionUndefined = c.undefined;
    bool stop = false;
    ASSERT_FALSE(d.h.Run([&stop](Session& s) { stop = AskMmax(s.io, s.settings, s.model); }));
    EXPECT_EQ(d.h.Console(), c.box + "\r\n" + PromptBlock(" 6.30"));
    EXPECT_TRUE(stop);
    EXPECT_EQ(d.h.session.model.Mmax, 7.0f);
    EXPECT_EQ(d.h.File(), "");  // console only
  }
}

// Out-of-range answers are asked again without a message, the suggestion
// shown once; both bounds are inclusive. Answers below one hundredth stop
// with Mmax unchanged, also after refused ones; an Xmax above the limit
// leaves only the stop.
TEST(MmaxDialog, OutOfRangeAnswersAreAskedAgainSilentlyAndSmallOnesStop) {
  constexpr float kStop = 0.0f;
  struct Case {
    const char* answers;
    int units;
    float xmax;
    float accepted;  // kStop: the runs end, Mmax unchanged
    std::size_t prompts;
  };
  const Case cases[] = {
      {"6.29\n10.01\n6.3\n", 1, 6.3f, 6.3f, 3},
      {"6.29\n10.01\n10.0\n", 1, 6.3f, 10.0f, 3},
      {"0.01\n8.25\n", 1, 6.3f, 8.25f, 2},  // 0.01 does not stop; it is below Xmax
      {"12.01\n12.0\n", 2, 6.3f, 12.0f, 2},
      {"10.5\n", 2, 6.3f, 10.5f, 1},
      {"0\n", 1, 6.3f, kStop, 1},
      {"-1\n", 1, 6.3f, kStop, 1},
      {"0.005\n", 1, 6.3f, kStop, 1},
      {"11\n0\n", 1, 6.3f, kStop, 2},
      {"10.0\n10.5\n0\n", 1, 10.5f, kStop, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answers);
    Dialog d(c.answers, c.xmax, c.units);
    bool stop = c.accepted != kStop;
    d.h.session.model.SuggestedMmax = 6.9f;
    ASSERT_FALSE(d.h.Run([&stop](Session& s) { stop = AskMmax(s.io, s.settings, s.model); }));
    EXPECT_EQ(stop, c.accepted == kStop);
    EXPECT_EQ(d.h.session.model.Mmax, c.accepted == kStop ? 7.0f : c.accepted);
    const std::string console = d.h.Console();
    const std::string block = PromptBlock(FormatFixed(c.xmax, 5, 2));
    std::string prompts;
    for (std::size_t i = 0; i < c.prompts; ++i) prompts += block;
    EXPECT_EQ(console.substr(console.find(block)), prompts);
    EXPECT_EQ(CountOf(console, "Suggested Mmax"), 1u);
  }
}

}  // namespace
}  // namespace qev
