#include "classic/extreme_reader.h"

#include <gtest/gtest.h>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::ContainsRun;
using testing::ProcedureRun;
using testing::Stored;
using testing::StoredEvents;

// Three events of layout 1: the second completes its year and month from the
// first, the third has an SD below the floor and a magnitude whose single-
// precision value lies just below 4.1.
const char* const kLayout1File =
    "1900 0 0\n"
    "1990 0 0\n"
    "1905 5 1 6.1 0.25\n"
    "0 0 12 5.1 0.3\n"
    "1950 3 4 4.1 0.005\n";

TEST(ExtremeReader, Layout1FileIsStoredScaled) {
  ProcedureRun run("1\next1.dat\n", 1);
  run.ws.WriteFile("ext1.dat", kLayout1File);
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));

  const ExtremePart& extreme = *run.session.catalog.extreme;
  EXPECT_EQ(extreme.start, 1899.002685546875f);
  EXPECT_EQ(extreme.end, 1990.0015869140625f);
  EXPECT_EQ(run.session.settings.Mmin, 4.1f);
  // Single-precision products truncated: 6.1 -> 609, 5.1 -> 509, 4.1 -> 409;
  // the floored SD 0.01 -> 0. Intervals (worked through independently in single
  // precision): 5333 from the start, 30, 44811, and the last one closed with
  // the 40823 thousandths up to the end of 1990.
  EXPECT_EQ(StoredEvents(run.session.catalog),
            (Stored{{609, 25, 5333}, {509, 30, 30}, {409, 0, 44811 + 40823}}));
}

TEST(ExtremeReader, Layout2TakesTheHeaderSdAndIgnoresExtraValues) {
  ProcedureRun run("2\next2.dat\n", 1);
  run.ws.WriteFile("ext2.dat",
                   "1600 1 1\n"
                   "1899 12 31\n"
                   "0.35\n"
                   "1650 6 1 6.5 9.9\n"  // the fifth value is not part of a layout-2 event
                   "1651 1 1 5.5\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  const Stored stored = StoredEvents(run.session.catalog);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0][1], 34);
  EXPECT_EQ(stored[1][1], 34);
  EXPECT_EQ(stored[1][0], 550);
  const auto file = run.FileLines();
  EXPECT_TRUE(ContainsRun(file, {"  1650  6  1  6.50   .35", "  1651  1  1  5.50   .35",
                                 "  Number of earthquakes :   2"}));
}

TEST(ExtremeReader, ConsecutiveDaysAndNewYearAreAcceptedAndEndOnLastEventAddsNothing) {
  ProcedureRun run("1\nd.dat\n", 1);
  run.ws.WriteFile("d.dat",
                   "1900 1 1\n1910 1 1\n1905 3 3 6.0 0.2\n1905 3 4 5.0 0.2\n"
                   "1909 12 31 5.5 0.2\n1910 1 1 5.1 0.2\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  const Stored stored = StoredEvents(run.session.catalog);
  ASSERT_EQ(stored.size(), 4u);
  EXPECT_EQ(stored[1][2], 2);  // one day
  EXPECT_EQ(stored[3][2], 1);  // 31 December to 1 January
}

// A header and no event line beside complete parts: an empty extreme part,
// and no interval is written anywhere.
TEST(ExtremeReader, FileWithoutEventsBesideCompletePartsIsAnEmptyPart) {
  ProcedureRun run("1\nempty.dat\n", 3);
  run.ws.WriteFile("empty.dat", "1900 1 1\n1990 0 0\n\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  ASSERT_TRUE(run.session.catalog.extreme);
  EXPECT_TRUE(run.session.catalog.extreme->events.empty());
  EXPECT_EQ(run.session.settings.Mmin, 999.0f);
}

}  // namespace
}  // namespace qev
