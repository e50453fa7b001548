#include "classic/hazard.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev {
namespace {

// The hazard dialog on the records of the harness's session.
void EvaluateOnSession(Session& s) { EvaluateHazard(s.io, s.settings, s.model); }

using testing::ProcedureRun;

// The model of most cases: b = 0.87, 0.2 events a year above magnitude 4.
void SetModel(Session& s, float mmin, float mmax, float sdLambda = 0.05f) {
  s.settings.Mmin = mmin;
  s.settings.HazardSpans = {50.0f, 100.0f, 1000.0f};
  s.model.Beta = 2.0f;
  s.model.Lambda = 0.2f;
  s.model.Mmax = mmax;
  s.model.Deviations.sd_lambda = sdLambda;
}

const std::string kHeader =
    " INT/MAG  LAMBDA             RET PER      Pr(T = 1,    50.0,   100.0,  1000.0,";

// Table rows of the output file: the records after the column header (the
// title and its underline before it are pinned by the transcripts).
std::vector<std::string> FileRows(ProcedureRun& h) {
  std::vector<std::string> lines = testing::SplitLines(h.File());
  EXPECT_GE(lines.size(), 4u);
  if (lines.size() < 4) return {};
  EXPECT_EQ(lines[3], kHeader);
  return {lines.begin() + 4, lines.end()};
}

// (The rows of ordinary tables are pinned by the golden transcripts.)

// Column positions of the return-period bounds in a row.
constexpr std::size_t kLowerColumn = 25;
constexpr std::size_t kUpperColumn = 34;

// An SD of Lambda at or above Lambda overflows every upper bound while the
// lower bound stays finite where the rate is not negligible; an undefined SD
// overflows both.
TEST(HazardTable, SdLambdaAtOrAboveLambdaOrUndefinedOverflowsTheBounds) {
  struct Case {
    float sdLambda;
    const char* firstBounds;  // lower: 1 / (0.992 * (Lambda + SdLambda))
  };
  for (const Case& c : {Case{0.2f, "(     2.5,********)"}, Case{0.3f, "(     2.0,********)"},
                        Case{std::numeric_limits<float>::quiet_NaN(), "(********,********)"}}) {
    SCOPED_TRACE(c.sdLambda);
    ProcedureRun h("0\n");
    SetModel(h.session, 4.0f, 8.0f, c.sdLambda);
    ASSERT_FALSE(h.Run(EvaluateOnSession));
    const std::vector<std::string> rows = FileRows(h);
    ASSERT_EQ(rows.size(), 41u);
    for (const std::string& row : rows)
      EXPECT_EQ(row.substr(kUpperColumn - 1, 10), ",********)") << row;
    EXPECT_EQ(rows[0].substr(kLowerColumn - 1, 19), c.firstBounds);
    EXPECT_EQ(rows[0].substr(0, 24), "  4.0  .198E+00      5.0");
  }
}

TEST(HazardTable, MagnitudesBeyondTheStepResolutionEndAfterOneRow) {
  // From 2^24 on, adding 0.1 in single precision leaves the magnitude as it
  // is; the table must still end.
  ProcedureRun h("0\n");
  SetModel(h.session, 3.0e7f, 3.1e7f);
  ASSERT_FALSE(h.Run(EvaluateOnSession));
  const std::vector<std::string> rows = FileRows(h);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].substr(0, 5), " ****");
}

}  // namespace
}  // namespace qev
