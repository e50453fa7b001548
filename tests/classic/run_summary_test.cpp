// The date of the screens, and the run summary's fields at their edges: the
// iteration warning, a run number beyond two digits, a rate beyond its field.
#include "classic/run_summary.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classic/screen.h"
#include "harness/harness.h"

namespace qev::testing {
namespace {

// The console lines of one run summary after its screen feed.
std::vector<std::string> Summary(std::int32_t run, std::int32_t iterations, float beta,
                                 float lambda, float mmin, float mmax) {
  ProcedureRun h("");
  h.session.settings.RunNumber = run;
  h.session.settings.Mmin = mmin;
  h.session.model.Iterations = iterations;
  h.session.model.Beta = beta;
  h.session.model.Lambda = lambda;
  h.session.model.Mmax = mmax;
  WriteRunSummary(h.session.io.Sink(), h.session.settings, h.session.model);
  EXPECT_TRUE(h.File().empty());  // console only
  auto lines = SplitLines(h.Console());
  EXPECT_GE(lines.size(), 26u);
  lines.erase(lines.begin(), lines.begin() + 26);
  return lines;
}

TEST(RunSummary, WarningOnlyWhenTheIterationLimitIsReached) {
  const auto atLimit = Summary(2, 99, 2.0f, 5.0f, 3.0f, 7.0f);
  ASSERT_GE(atLimit.size(), 8u);
  EXPECT_EQ(atLimit[6], " NR of iterations =  99");
  EXPECT_EQ(atLimit[7], " !!! WARING: exceeded limit of iterations !!!");
  const auto belowLimit = Summary(2, 98, 2.0f, 5.0f, 3.0f, 7.0f);
  ASSERT_GE(belowLimit.size(), 8u);
  EXPECT_EQ(belowLimit[7].rfind(" Beta   = ", 0), 0u);
  EXPECT_EQ(belowLimit.size() + 1, atLimit.size());
}

// Fields that do not fit show asterisks: run numbers beyond two digits, rates
// beyond the Lambda field.
TEST(RunSummary, RunNumbersAndRatesBeyondTheirFieldsShowAsAsterisks) {
  struct Case {
    std::int32_t run;
    float lambda;
    std::size_t line;
    const char* text;
  };
  for (const Case& c : {Case{99, 5.0f, 3, "                RUN # 99"},
                        Case{100, 5.0f, 3, "                RUN # **"},
                        Case{1, 12345.678f, 8, " Lambda = *******  (for Mmin =  3.00)"}}) {
    EXPECT_EQ(Summary(c.run, 5, 2.0f, c.lambda, 3.0f, 7.0f).at(c.line), c.text);
  }
}

TEST(DateText, DayMonthAndYearModuloOneHundredThenFifteenBlanks) {
  EXPECT_EQ(DateText({4, 11, 2001}), "04-Nov-01" + std::string(15, ' '));
  EXPECT_EQ(DateText({1, 1, 2000}), "01-Jan-00" + std::string(15, ' '));
  EXPECT_EQ(DateText({15, 6, 2105}), "15-Jun-05" + std::string(15, ' '));
  const char* names[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (int month = 1; month <= 12; ++month)
    EXPECT_EQ(DateText({9, month, 2010}).substr(3, 3), names[month - 1]);
  // A date out of the calendar still keeps its nine characters.
  EXPECT_EQ(DateText({0, 13, -1}).size(), 24u);
  EXPECT_EQ(DateText({123, 0, 2001}).size(), 24u);
}

}  // namespace
}  // namespace qev::testing
