#include "classic/complete_reader.h"

#include <gtest/gtest.h>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::ContainsRun;
using testing::ProcedureRun;
using testing::Stored;
using testing::StoredRows;

TEST(CompleteReader, GroupedTableShowsTheStoredHundredths) {
  ProcedureRun run("3\n1\ng.dat\n", 2);
  run.ws.WriteFile("g.dat", "1960 1 1\n2000 12 31\n4.0\n0.2\n5 4.1\n");
  ASSERT_FALSE(run.Run(ReadCompleteParts));
  EXPECT_EQ(StoredRows(run.session.catalog, 0)[0][0], 409);
  EXPECT_TRUE(ContainsRun(run.FileLines(), {"   1         5      4.1"}));
}

TEST(CompleteReader, PerEventSdPartStoresTheMeanSdAndShowsNoSdLine) {
  ProcedureRun run("1\n1\np.dat\n", 2);
  run.ws.WriteFile("p.dat", "1900 1 1\n1959 12 31\n4.5\n4.6 0.1\n5.0 0.2\n4.7 0.3");
  ASSERT_FALSE(run.Run(ReadCompleteParts));
  EXPECT_EQ(run.session.catalog.complete[0].sd, 0.2f);
  // Single-precision products truncated: 4.6 -> 459, 4.7 -> 469.
  EXPECT_EQ(StoredRows(run.session.catalog, 0), (Stored{{459, 10, 1}, {500, 20, 1}, {469, 30, 1}}));
  const auto file = run.FileLines();
  EXPECT_EQ(file.back(), "  Number of earthquakes  =    3");
}

TEST(CompleteReader, PerEventSdPartWithoutDataLinesHasSdZeroAndTheNextPartIsRead) {
  ProcedureRun run("1\n2\nnone.dat\np.dat\n", 2);
  run.ws.WriteFile("none.dat", "1900 1 1\n1959 12 31\n4.5\n");
  run.ws.WriteFile("p.dat", "1960 1 1\n2000 12 31\n3.5\n3.6 0.2\n");
  ASSERT_FALSE(run.Run(ReadCompleteParts));
  const CompletePart& empty = run.session.catalog.complete[0];
  EXPECT_EQ(empty.sd, 0.0f);
  EXPECT_TRUE(empty.rows.empty());
  EXPECT_EQ(run.session.catalog.complete[1].rows.size(), 1u);
  EXPECT_EQ(run.session.settings.Mmin, 3.5f);
}

// Beside an extreme part, no complete part is a catalog of extremes alone
// (with the complete parts alone the count is asked again).
TEST(CompleteReader, PartCountsOfZeroOrLessReadNoPart) {
  for (const char* answers : {"2\n0\n", "2\n-3\n"}) {
    SCOPED_TRACE(answers);
    ProcedureRun run(answers, 3);
    ASSERT_FALSE(run.Run(ReadCompleteParts));
    EXPECT_TRUE(run.session.catalog.complete.empty());
    EXPECT_TRUE(run.FileLines().empty());
  }
}

// The accepted layouts are 1, 2 and 3; any other would read no data line.
TEST(CompleteReader, UnknownLayoutStopsRightAfterTheAnswer) {
  for (const char* answer : {"0\n", "-1\n"}) {
    SCOPED_TRACE(answer);
    ProcedureRun run(std::string(answer) + "1\nc.dat\n", 2);
    run.ws.WriteFile("c.dat", "1960 1 1\n2000 12 31\n4.0\n0.2\n4.5\n");
    const auto stop = run.Run(ReadCompleteParts);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    EXPECT_TRUE(run.session.catalog.complete.empty());
  }
}

}  // namespace
}  // namespace qev
