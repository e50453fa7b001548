#include "classic/threshold_dialog.h"

#include <gtest/gtest.h>

#include "harness/harness.h"
#include "qev/analysis.h"

namespace qev {
namespace {

using testing::CountOf;
using testing::Lines;
using testing::ProcedureRun;

// Screen feed of the threshold, Xmax and procedure screens.
constexpr int kClearLines = 32;

// Lowest level 4.0, observed maxima 6.3 and 5.8; extremes 1500-1900 without
// events and two complete parts with a gap.
void FillCatalog(Session& s, int dataKind) {
  s.settings.DataKind = dataKind;
  s.settings.Mmin = 4.0f;
  s.catalog.extreme = ExtremePart{1500.0f, 1900.0f, {}};
  s.catalog.complete.push_back({1900.0f, 1950.0f, 4.0f, 0.1f, {{6.3f, 0.1f, 1}}});
  s.catalog.complete.push_back({1960.0f, 2000.0f, 4.0f, 0.1f, {{5.8f, 0.1f, 1}}});
}

// The span the estimation uses: the one of the dialog or, when it set none,
// the span of the whole catalog for the data kind.
float SpanOf(const Session& session) { return Resolve(session.catalog, OptionsOf(session)).span_t; }

TEST(ThresholdDialog, AcceptingEverySuggestionWritesTheScreensAndFileLinesExactly) {
  ProcedureRun h("1\n1\n0.2\n1\n");
  FillCatalog(h.session, 2);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));

  Lines screen;
  screen.Empty(kClearLines)
      .Empty()
      .Line("    Mmin for the whole catalog determination")
      .Line("  --------------------------------------------")
      .Empty()
      .Line(" Suggested value of Mmin =  3.0")
      .Empty()
      .Line("   YES, I accept suggested Mmin .......(1)")
      .Line("   NO,  I DO NOT ......................(2)")
      .Empty(2)
      .Line(" ENTER proper number ...(1/2)")
      .Empty()
      .Empty(kClearLines)
      // Xmax screen
      .Empty(kClearLines)
      .Empty(2)
      .Line("     Maximum OBSERVED magnitude determination")
      .Line("   --------------------------------------------")
      .Empty(2)
      .Line("  Maximum OBSERVED magnitude Xmax is  6.30......(1)")
      .Line("  No, Xmax is DIFFERENT ........................(2)")
      .Empty(2)
      .Line(" ENTER proper number ...(1/2)")
      .Empty()
      .Empty(kClearLines)
      // error of Xmax
      .Empty(kClearLines)
      .Empty()
      .Line(" ENTER: approximate ERROR of maximum OBSERVED magnitude")
      .Empty()
      // procedure menu
      .Empty(kClearLines)
      .Empty(4)
      .Line("       Selection of M_max determination procedure ")
      .Line("  ----------------------------------------------------")
      .Empty()
      .Line(" Assessment of magnitude M_max is based on :")
      .Empty(2)
      .Line("   Tolve-Brandholm (Cramers approximation) ........(1)")
      .Line("   Tolve-Brandholm-Bayes ..........................(2)")
      .Empty(2)
      .Line(" ENTER proper number ...");
  EXPECT_EQ(h.Console(), screen.str());

  Lines file;
  file.Empty()
      .Line("         Maximum OBSERVED magnitude Xmax =  6.30")
      .Line("  SECOND Maximum OBSERVED magnitude Xmax =  5.80")
      .Empty()
      .Line("  M_max is determined according to Tolve-Brandholm (Cramers Approximation)")
      .Empty();
  EXPECT_EQ(h.File(), file.str());

  const SessionSettings& set = h.session.settings;
  EXPECT_EQ(set.Mmin, 3.0f);
  EXPECT_EQ(set.Xmax, 6.3f);
  EXPECT_EQ(set.Xmax2, 5.8f);
  EXPECT_EQ(SpanOf(h.session), 100.0f);  // start of part 1 to end of part 2, gap included
  EXPECT_EQ(set.SigXmax, 0.2f);
  EXPECT_EQ(set.Procedure, 1);
}

// Any menu answer other than 1 (here 9) leads to the threshold entry.
TEST(ThresholdDialog, ThresholdEqualToLowestLevelIsAskedAgainWithoutMessage) {
  ProcedureRun h("9\n4.0\n4.5\n3.99\n1\n0.2\n1\n");
  FillCatalog(h.session, 2);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));
  EXPECT_EQ(h.session.settings.Mmin, 3.99f);

  const std::string prompt = " ENTER: Threshold magnitude Mmin (LESS than 4.00)\r\n\r\n";
  const std::string console = h.Console();
  // After the menu's screen feed: one empty line, then the prompt three times.
  Lines expected;
  expected.Line(" ENTER proper number ...(1/2)").Empty().Empty(kClearLines).Empty();
  Lines next;
  next.Empty(kClearLines).Empty(2).Line("     Maximum OBSERVED magnitude determination");
  EXPECT_NE(console.find(expected.str() + prompt + prompt + prompt + next.str()),
            std::string::npos);
  EXPECT_EQ(CountOf(console, prompt), 3u);
}

TEST(ThresholdDialog, XmaxBelowObservedIsAskedAgainAndEqualIsAccepted) {
  ProcedureRun h("1\n2\n6.29\n6.3\n0\n0.25\n2\n");
  FillCatalog(h.session, 2);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));

  const std::string console = h.Console();
  const std::string prompt =
      "\r\n Enter:  MAXIMUM observed MAGNITUDE (NOT LESS than  6.30)\r\n\r\n";
  EXPECT_EQ(CountOf(console, prompt), 2u);
  Lines question;
  question.Empty(kClearLines)
      .Empty()
      .Line(" Did it occur BEFORE catalog starts ?")
      .Empty()
      .Line(" (if YES, enter 1, if NOT, enter 0)")
      .Empty()
      .Line(" ENTER proper number ...(0/1)")
      .Empty();
  EXPECT_NE(console.find(prompt + question.str()), std::string::npos);

  const SessionSettings& set = h.session.settings;
  EXPECT_EQ(set.Xmax, 6.3f);
  EXPECT_EQ(set.Xmax2, 6.3f);  // the observed maximum becomes the second maximum
  EXPECT_EQ(SpanOf(h.session), 100.0f);
  EXPECT_EQ(set.Procedure, 2);

  Lines file;
  file.Empty()
      .Line("         Maximum OBSERVED magnitude Xmax =  6.30")
      .Line("  SECOND Maximum OBSERVED magnitude Xmax =  6.30")
      .Empty()
      .Line("  M_max is determined according to Tolve-Brandholm-Bayes")
      .Empty();
  EXPECT_EQ(h.File(), file.str());
}

TEST(ThresholdDialog, DateBeforeCatalogKeepsZerosAndIsEchoedTruncated) {
  ProcedureRun h("1\n2\n7.0\n1\n1750.9 0 0\n0.3\n3\n");
  FillCatalog(h.session, 3);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));

  Lines tail;
  tail.Empty(kClearLines).Empty().Line(" ENTER: year, month, day of such EQ-e occurrence").Empty();
  EXPECT_NE(h.Console().find(tail.str()), std::string::npos);

  const SessionSettings& set = h.session.settings;
  // From the date as typed (month 0, day 0) to the end of the last complete part.
  EXPECT_EQ(set.SpanT, 2000.0f - DecimalYear(1750.9f, 0.0f, 0.0f));
  EXPECT_NE(set.SpanT, 2000.0f - DecimalYear(1750.9f, 1.0f, 1.0f));
  EXPECT_EQ(SpanOf(h.session), *set.SpanT);
  EXPECT_EQ(set.Xmax, 7.0f);
  EXPECT_EQ(set.Xmax2, 6.3f);
  EXPECT_EQ(set.Procedure, 3);

  // Procedure 3 writes no procedure line.
  Lines file;
  file.Empty()
      .Line("         Maximum OBSERVED magnitude Xmax =  7.00")
      .Line("  SECOND Maximum OBSERVED magnitude Xmax =  6.30")
      .Line("  Occurred at  1750/ 0/ 0");
  EXPECT_EQ(h.File(), file.str());
}

TEST(ThresholdDialog, DateBeforeCatalogOfExtremesOnlyCountsToTheExtremeEnd) {
  ProcedureRun h("1\n2\n7.0\n1\n1400 1 1\n0.3\n7\n");
  FillCatalog(h.session, 1);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));
  EXPECT_EQ(h.session.settings.SpanT, 1900.0f - DecimalYear(1400.0f, 1.0f, 1.0f));
  EXPECT_EQ(SpanOf(h.session), 1900.0f - DecimalYear(1400.0f, 1.0f, 1.0f));
  EXPECT_EQ(h.session.settings.Procedure, 7);
  EXPECT_EQ(CountOf(h.File(), "M_max is determined"), 0u);
}

TEST(ThresholdDialog, DateYearBeyondTheIntegerRangeIsEchoedAsAsterisks) {
  ProcedureRun h("1\n2\n7.0\n1\n1e12 -3.7 450\n0.3\n1\n");
  FillCatalog(h.session, 2);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));
  EXPECT_NE(h.File().find("  Occurred at *****/-3/**\r\n"), std::string::npos);
}

TEST(ThresholdDialog, FullSpanFollowsTheDataKind) {
  struct Case {
    int dataKind;
    float span;
  };
  // Extremes 1500-1900 (400 years); parts 1900-1950 and 1960-2000; any other
  // data kind reads no part.
  for (const Case& c : {Case{1, 400.0f}, Case{2, 100.0f}, Case{3, 500.0f}, Case{4, 0.0f}}) {
    SCOPED_TRACE(c.dataKind);
    for (const char* answers : {"1\n1\n0.2\n1\n", "1\n2\n6.5\n0\n0.2\n1\n"}) {
      ProcedureRun h(answers);
      FillCatalog(h.session, c.dataKind);
      h.session.settings.SpanT = 12.5f;  // an earlier date before the catalog is forgotten
      ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));
      EXPECT_FALSE(h.session.settings.SpanT);
      EXPECT_EQ(SpanOf(h.session), c.span);
    }
  }
}

TEST(ThresholdDialog, EndOfAnswersInTheEntryLoopIsAnErrorStop) {
  ProcedureRun h("2\n4.0\n");
  FillCatalog(h.session, 2);
  EXPECT_EQ(h.Run(ChooseThresholdXmaxProcedure)->ExitStatus, kExitError);
}

}  // namespace
}  // namespace qev
