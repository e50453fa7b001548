#include "classic/extreme_reader.h"

#include <gtest/gtest.h>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::ProcedureRun;
using testing::Stored;
using testing::StoredEvents;

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
