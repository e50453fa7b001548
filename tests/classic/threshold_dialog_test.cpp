#include "classic/threshold_dialog.h"

#include <gtest/gtest.h>

#include "harness/harness.h"
#include "qev/analysis.h"

namespace qev {
namespace {

// The dialogs on the records of the harness's session.
void ChooseOnSession(Session& s) { ChooseThresholdXmaxProcedure(s.io, s.settings, s.catalog); }

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
float SpanOf(const Session& session) {
  return Resolve(session.catalog, OptionsOf(session.settings)).span_t;
}

// The full span follows the data kind; a date before the catalog counts, with
// extremes only, to the end of the extreme part. (With complete parts, and
// month and day 0 kept as typed: the transcripts.)
TEST(ThresholdDialog, SpanFollowsTheDataKindOrADateBeforeTheCatalog) {
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
      ASSERT_FALSE(h.Run(ChooseOnSession));
      EXPECT_FALSE(h.session.settings.SpanT);
      EXPECT_EQ(SpanOf(h.session), c.span);
    }
  }
  ProcedureRun h("1\n2\n7.0\n1\n1400 1 1\n0.3\n7\n");
  FillCatalog(h.session, 1);
  ASSERT_FALSE(h.Run(ChooseOnSession));
  EXPECT_EQ(SpanOf(h.session), 1900.0f - DecimalYear(1400.0f, 1.0f, 1.0f));
}

}  // namespace
}  // namespace qev
