#include "classic/threshold_dialog.h"

#include <gtest/gtest.h>

#include "harness/harness.h"
#include "qev/analysis.h"

namespace qev {
namespace {

using testing::ProcedureRun;

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

// The date as typed, month 0 and day 0 included, to the end of the last complete part.
TEST(ThresholdDialog, DateBeforeCatalogKeepsZeros) {
  ProcedureRun h("1\n2\n7.0\n1\n1450.9 0 0\n0.3\n3\n");
  FillCatalog(h.session, 3);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));
  const SessionSettings& set = h.session.settings;
  EXPECT_EQ(set.SpanT, 2000.0f - DecimalYear(1450.9f, 0.0f, 0.0f));
  EXPECT_NE(set.SpanT, 2000.0f - DecimalYear(1450.9f, 1.0f, 1.0f));
  EXPECT_EQ(set.Xmax, 7.0f);
  EXPECT_EQ(set.Xmax2, 6.3f);
}

TEST(ThresholdDialog, DateBeforeCatalogOfExtremesOnlyCountsToTheExtremeEnd) {
  ProcedureRun h("1\n2\n7.0\n1\n1400 1 1\n0.3\n7\n");
  FillCatalog(h.session, 1);
  ASSERT_FALSE(h.Run(ChooseThresholdXmaxProcedure));
  EXPECT_EQ(SpanOf(h.session), 1900.0f - DecimalYear(1400.0f, 1.0f, 1.0f));
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

}  // namespace
}  // namespace qev
