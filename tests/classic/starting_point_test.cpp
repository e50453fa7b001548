// The prior and starting-point dialog: what it asks and keeps. (The starting
// point itself and the catalogs that give none: tests/estimation/analysis_test.cpp;
// the box: the golden transcripts.)
#include "classic/starting_point.h"

#include <gtest/gtest.h>

#include <string>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::CountOf;
using testing::Lines;
using testing::ProcedureRun;

// Screen feed of the prior and starting-point screens.
constexpr int kClearLines = 30;

// One complete part 1900-2000 above 4.0: ten events of 4.5 and three of 5.0.
void OneCompletePart(Session& s) {
  s.settings.Units = 1;
  s.settings.DataKind = 2;
  s.settings.RunNumber = 1;
  s.settings.Mmin = 4.0f;
  s.settings.Xmax = 6.3f;
  s.catalog.complete.push_back({1900.0f, 2000.0f, 4.0f, 0.1f, {{4.5f, 0.1f, 10}, {5.0f, 0.2f, 3}}});
}

// Below Xmax the keyboard Mmax is used as typed; one not above Mmin leaves the
// law no range and is asked again, silently.
TEST(StartingPoint, KeyboardMmaxBelowXmaxIsUsedAndOneNotAboveMminIsAskedAgain) {
  for (const char* answers : {"5.5\n", "4.0\n0\n5.5\n"}) {
    SCOPED_TRACE(answers);
    ProcedureRun h(std::string("1.0 0.1\n2\n0.2\n") + answers);
    OneCompletePart(h.session);
    ASSERT_FALSE(h.Run(PrepareStartingPoint));
    const ModelParameters& model = h.session.model;
    EXPECT_EQ(model.Mmax, 5.5f);
    EXPECT_EQ(model.Start.mmax, 5.5f);
    EXPECT_EQ(model.Start.lambda, 0.2f);
    EXPECT_EQ(model.Start.beta, 2.302585f);
    EXPECT_EQ(CountOf(h.Console(), " Enter Mmax (NOT LESS than  6.30)"),
              answers[0] == '4' ? 3u : 1u);
  }
}

TEST(StartingPoint, LaterRunsClearTheScreenAndKeepTheStart) {
  ProcedureRun h("1.0 0.1\n1\n");
  OneCompletePart(h.session);
  ASSERT_FALSE(h.Run(PrepareStartingPoint));
  const StartingValues start = h.session.model.Start;
  const std::size_t firstRunConsole = h.Console().size();

  // The next Mmax; no answers are left to read.
  h.session.model.Mmax = 7.5f;
  h.session.settings.RunNumber = 2;
  ASSERT_FALSE(h.Run(PrepareStartingPoint));
  EXPECT_EQ(h.session.model.Start.beta, start.beta);
  EXPECT_EQ(h.session.model.Start.lambda, start.lambda);
  EXPECT_EQ(h.session.model.Mmax, 7.5f);
  EXPECT_EQ(h.Console().substr(firstRunConsole), Lines().Empty(kClearLines).str());
  EXPECT_EQ(CountOf(h.File(), "PRIOR b-value"), 1u);
}

}  // namespace
}  // namespace qev
