// The classic readers on whole files: dates on consecutive days, a file
// without events, and the largest catalogs they take. (What the readers
// refuse: tests/catalog/classic_files_test.cpp; untidy files: the golden
// transcripts.)
#include "classic/extreme_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "classic/capacities.h"
#include "classic/complete_reader.h"
#include "estimation/decoded_catalog.h"
#include "harness/harness.h"

namespace qev {
namespace {

// The readers on the records of the harness's session.
void ReadExtremesOnSession(Session& s) { ReadExtremeCatalog(s.io, s.settings, s.catalog); }
void ReadCompletePartsOnSession(Session& s) { ReadCompleteParts(s.io, s.settings, s.catalog); }

using testing::ProcedureRun;

// Intervals in thousandths of a year, as the engine stores them.
long Thousandths(float interval) { return std::lround(static_cast<double>(interval) * 1000.0); }

TEST(ExtremeReader, ConsecutiveDaysAndNewYearAreAcceptedAndEndOnLastEventAddsNothing) {
  ProcedureRun run("1\nd.dat\n", 1);
  run.ws.WriteFile("d.dat",
                   "1900 1 1\n1910 1 1\n1905 3 3 6.0 0.2\n1905 3 4 5.0 0.2\n"
                   "1909 12 31 5.5 0.2\n1910 1 1 5.1 0.2\n");
  ASSERT_FALSE(run.Run(ReadExtremesOnSession));
  const DecodedCatalog decoded = Decode(run.session.catalog, DataKind::Extremes);
  ASSERT_EQ(decoded.Extreme.Events.size(), 4u);
  EXPECT_EQ(Thousandths(decoded.Extreme.Events[1].Interval), 2);  // one day
  EXPECT_EQ(Thousandths(decoded.Extreme.Events[3].Interval), 1);  // 31 December to 1 January
}

// A header and no event line beside complete parts: an empty extreme part,
// and no interval is written anywhere.
TEST(ExtremeReader, FileWithoutEventsBesideCompletePartsIsAnEmptyPart) {
  ProcedureRun run("1\nempty.dat\n", 3);
  run.ws.WriteFile("empty.dat", "1900 1 1\n1990 0 0\n\n");
  ASSERT_FALSE(run.Run(ReadExtremesOnSession));
  ASSERT_TRUE(run.session.catalog.extreme);
  EXPECT_TRUE(run.session.catalog.extreme->events.empty());
  EXPECT_EQ(run.session.settings.Mmin, 999.0f);
}

// The largest catalog of each kind is read whole (one more stops with the
// nex or nfx box).
TEST(CatalogReaders, CapacitiesFitExactly) {
  std::string extreme = "1000 1 1\n1990 0 0\n";
  for (int year = 1001; year <= 1000 + nex; ++year)
    extreme += std::to_string(year) + " 1 1 5.0 0.2\n";
  ProcedureRun extremes("1\nf.dat\n", 1);  // layout 1, the name
  extremes.ws.WriteFile("f.dat", extreme);
  ASSERT_FALSE(extremes.Run(ReadExtremesOnSession));
  const DecodedCatalog events = Decode(extremes.session.catalog, DataKind::Extremes);
  ASSERT_EQ(events.Extreme.Events.size(), 500u);
  EXPECT_FLOAT_EQ(events.Extreme.Events[499].Magnitude, 5.0f);

  std::string complete = "1960 1 1\n2000 12 31\n3.0\n0.2\n";
  for (int i = 0; i < nfx; ++i) complete += i % 2 ? "3.5\n" : "4.25\n";
  ProcedureRun rows("2\n1\nf.dat\n", 2);  // layout 2, one part, its name
  rows.ws.WriteFile("f.dat", complete);
  ASSERT_FALSE(rows.Run(ReadCompletePartsOnSession));
  const DecodedCatalog parts = Decode(rows.session.catalog, DataKind::Complete);
  ASSERT_EQ(parts.Parts.at(0).Rows.size(), 1500u);
  EXPECT_FLOAT_EQ(parts.Parts[0].Rows[1499].Magnitude, 3.5f);
}

}  // namespace
}  // namespace qev
