#include "classic/complete_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "classic/extreme_reader.h"
#include "harness/harness.h"

namespace qev {
namespace {

using testing::Append;
using testing::ContainsRun;
using testing::EmptyLines;
using testing::ProcedureRun;
using testing::Tail;

using testing::AfterFeed;
using testing::Stored;
using testing::StoredRows;
const std::string kRuler43 = testing::Ruler(43);
const std::string kRuler44 = testing::Ruler(44);
constexpr int kFeed = 37;  // records of the 36-slash screen feed

std::vector<std::string> MenuAndCountScreens() {
  std::vector<std::string> lines = EmptyLines(kFeed + 4);
  Append(lines, {"           COMPLETE data specification :",
                 "       ----------------------------------",
                 "",
                 "",
                 " for EACH earthquake, FILE contains :",
                 "",
                 " (1)  MAGNITUDE & STANDARD DEVIATION",
                 "",
                 " (2)  MAGNITUDE. Only ONE STANDARD DEVIATION value",
                 "      is given at the begining of the file. It is",
                 "      assumed that  ALL  magnitudes are perturbed by",
                 "      random errors with the same standard deviation",
                 "",
                 " (3)  GROUPED according to : FREQUENCY -  MAGNITUDE.",
                 "      Only ONE value of STANDARD DEVIATION",
                 "      is given at the beginning of file, after START/",
                 "      /END of catalog specification",
                 "",
                 "",
                 " ENTER proper number ...",
                 ""});
  Append(lines, EmptyLines(kFeed));
  Append(lines, {" ENTER : Number of COMPLETE parts of catalog ...", ""});
  return lines;
}

TEST(CompleteReader, GroupedPartShowsItsTableAndStoresFrequencies) {
  ProcedureRun run("3\n1\ngrouped.dat\n", 2);
  run.ws.WriteFile("grouped.dat", "1960 0 0\n2000 0 0\n4.0\n0.2\n12 4.0\n3.7 4.5\n");
  ASSERT_FALSE(run.Run(ReadCompleteParts));

  std::vector<std::string> console = MenuAndCountScreens();
  Append(console, EmptyLines(kFeed));
  Append(console, {" Enter FILE NAME of COMPLETE part of catalog no.  1", ""});
  Append(console, EmptyLines(kFeed + 3));
  Append(console, {"", " SUMMARY of COMPLETE part of catalog no. 1", "", " FILE name : grouped.da",
                   " Catalog STARTS at  1960/ 1/ 1", " Catalog ENDS   at  2000/12/31",
                   " THRESHOLD magnitude    =  4.00", "  No       FREQ     MAG",
                   "  1        12      4.0", "  2         3      4.5",
                   " Number of earthquakes  =   15", " Standard Deviation =   .20", ""});
  EXPECT_EQ(run.ConsoleLines(), console);

  EXPECT_EQ(run.FileLines(), (std::vector<std::string>{
                                 "",
                                 "  SUMMARY of COMPLETE part of catalog no. 1",
                                 " ===========================================",
                                 "  FILE name : grouped.da",
                                 "  Catalog STARTS at  1960/ 1/ 1",
                                 "  Catalog ENDS   at  2000/12/31",
                                 "  THRESHOLD magnitude    =  4.00",
                                 "   No       FREQ     MAG",
                                 "   1        12      4.0",
                                 "   2         3      4.5",
                                 "  Number of earthquakes  =   15",
                                 "  Standard Deviation =   .20",
                             }));

  const Catalog& catalog = run.session.catalog;
  ASSERT_EQ(catalog.complete.size(), 1u);
  const CompletePart& part = catalog.complete[0];
  EXPECT_EQ(part.start, DecimalYear(1960, 1, 1));
  EXPECT_EQ(part.end, DecimalYear(2000, 12, 31));
  EXPECT_EQ(part.sd, 0.2f);
  EXPECT_EQ(StoredRows(catalog, 0), (Stored{{400, 20, 12}, {450, 20, 3}}));
  EXPECT_EQ(run.session.settings.Mmin, 4.0f);
}

TEST(CompleteReader, GroupedTableShowsTheStoredHundredths) {
  ProcedureRun run("3\n1\ng.dat\n", 2);
  run.ws.WriteFile("g.dat", "1960 1 1\n2000 12 31\n4.0\n0.2\n5 4.1\n");
  ASSERT_FALSE(run.Run(ReadCompleteParts));
  EXPECT_EQ(StoredRows(run.session.catalog, 0)[0][0], 409);
  EXPECT_TRUE(ContainsRun(run.FileLines(), {"   1         5      4.1"}));
}

// The threshold test is made on the single-precision values in double:
// 4.0 - 0.01 is not above 3.99f, but is above 3.98f.
TEST(CompleteReader, MagnitudeBelowThresholdWarnsButIsStoredAndCounted) {
  const auto warningBox = AfterFeed(kFeed, {kRuler43, "                 WARNING !!!",
                                            "   file contains EQ-s with mag < threshold !",
                                            "           they will be IGNORED !!!", kRuler43});
  {
    ProcedureRun run("2\n1\nc.dat\n", 2);
    run.ws.WriteFile("c.dat", "1960 1 1\n2000 12 31\n4.0\n0.2\n4.5\n3.99\n");
    ASSERT_FALSE(run.Run(ReadCompleteParts));
    EXPECT_FALSE(ContainsRun(run.ConsoleLines(), warningBox));
    const auto file = run.FileLines();
    EXPECT_EQ(file.back(), "  Standard Deviation =   .20");
  }
  {
    ProcedureRun run("2\n1\nc.dat\n", 2);
    run.ws.WriteFile("c.dat", "1960 1 1\n2000 12 31\n4.0\n0.2\n4.5\n3.98\n3.97\n");
    ASSERT_FALSE(run.Run(ReadCompleteParts));
    const auto console = run.ConsoleLines();
    EXPECT_TRUE(ContainsRun(console, warningBox));
    EXPECT_EQ(testing::CountLines(console, "                 WARNING !!!"),
              2u);  // one box per line
    const Stored rows = StoredRows(run.session.catalog, 0);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1][0], 398);
    const auto file = run.FileLines();
    EXPECT_EQ(Tail(file, 5), (std::vector<std::string>{
                                 "  Number of earthquakes  =    3",
                                 "  Standard Deviation =   .20",
                                 "",
                                 "  WARNING: Catalog contains EQ-s with MAGNITUDES < THRESHOLD",
                                 "             !!! Such EQ-s are IGNORED !!!",
                             }));
  }
}

// The last line holds a magnitude without its SD: the end of the file comes
// inside the record, so it is no row and its values count nowhere.
TEST(CompleteReader, PerEventSdPartStoresTheMeanSdAndShowsNoSdLine) {
  ProcedureRun run("1\n1\np.dat\n", 2);
  run.ws.WriteFile("p.dat", "1900 1 1\n1959 12 31\n4.5\n4.6 0.1\n5.0 0.2\n4.7 0.3\n6.9");
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

TEST(CompleteReader, PartCountsOfZeroOrLessReadNoPartAndSixStopsBeforeAnyFileName) {
  {
    ProcedureRun run("2\n0\n", 2);
    ASSERT_FALSE(run.Run(ReadCompleteParts));
    EXPECT_TRUE(run.session.catalog.complete.empty());
    EXPECT_EQ(run.session.settings.Mmin, 99.0f);
    EXPECT_EQ(run.ConsoleLines(), MenuAndCountScreens());
    EXPECT_TRUE(run.FileLines().empty());
  }
  {
    // A negative count reads no part either and leaves no negative count behind.
    ProcedureRun run("2\n-3\n", 2);
    ASSERT_FALSE(run.Run(ReadCompleteParts));
    EXPECT_TRUE(run.session.catalog.complete.empty());
  }
  {
    ProcedureRun run("2\n6\n", 2);
    const auto stop = run.Run(ReadCompleteParts);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    std::vector<std::string> console = MenuAndCountScreens();
    Append(console, EmptyLines(kFeed));
    Append(console, {kRuler44, "*      NR of COMPLETE parts too BIG !!!     *",
                     "*         change parameter ncpx !!!         *", kRuler44});
    EXPECT_EQ(run.ConsoleLines(), console);
  }
}

// The accepted answers are 1, 2 and 3; any other would read no data line.
TEST(CompleteReader, UnknownLayoutStopsRightAfterTheAnswer) {
  for (const char* answer : {"4\n", "0\n", "-1\n"}) {
    SCOPED_TRACE(answer);
    ProcedureRun run(std::string(answer) + "1\nc.dat\n", 2);
    run.ws.WriteFile("c.dat", "1960 1 1\n2000 12 31\n4.0\n0.2\n4.5\n");
    const auto stop = run.Run(ReadCompleteParts);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    std::vector<std::string> console = MenuAndCountScreens();
    console.resize(console.size() - kFeed - 2);  // no part count is asked
    Append(console, EmptyLines(kFeed));
    Append(console, {kRuler44, "*    UNKNOWN layout of COMPLETE files !!!   *",
                     "*      accepted answers :  1,  2  or  3     *", kRuler44});
    EXPECT_EQ(run.ConsoleLines(), console);
    EXPECT_TRUE(run.session.catalog.complete.empty());
  }
}

TEST(CompleteReader, WrongPeriodStopsOnlyOnceADataLineIsStored) {
  const auto box =
      AfterFeed(kFeed, {"", kRuler43, "  WRONG TIME of BEGINNING/END of catalog !!! ", kRuler43});
  {
    ProcedureRun run("2\n1\nw.dat\n", 2);
    run.ws.WriteFile("w.dat", "1950 0 0\n1949 0 0\n4.0\n0.2\n7.0\n4.5\n");
    const auto stop = run.Run(ReadCompleteParts);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    EXPECT_EQ(Tail(run.ConsoleLines(), box.size()), box);
  }
  {
    ProcedureRun run("2\n1\nw.dat\n", 2);
    run.ws.WriteFile("w.dat", "1950 0 0\n1949 0 0\n4.0\n0.2\n");
    ASSERT_FALSE(run.Run(ReadCompleteParts));
    EXPECT_TRUE(run.session.catalog.complete[0].rows.empty());
    EXPECT_TRUE(ContainsRun(
        run.FileLines(), {"  Catalog STARTS at  1950/ 1/ 1", "  Catalog ENDS   at  1949/12/31"}));
  }
}

// The extreme part sets Mmin to its smallest magnitude and the maxima; the
// complete parts lower the one and continue the others.
TEST(CompleteReader, ContinuesTheExtremePartsMminAndMaxima) {
  ProcedureRun run("2\next.dat\n2\n2\nc1.dat\nc2.dat\n", 3);
  run.ws.WriteFile("ext.dat",
                   "1500 0 0\n1899 0 0\n0.3\n1600 1 1 6.5\n1700 1 1 5.5\n1800 1 1 6.0\n");
  run.ws.WriteFile("c1.dat", "1900 0 0\n1959 0 0\n4.5\n0.2\n5.0\n7.2\n");
  run.ws.WriteFile("c2.dat", "1960 0 0\n2000 0 0\n3.0\n0.1\n3.4\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  EXPECT_EQ(run.session.settings.Mmin, 5.5f);
  ASSERT_FALSE(run.Run(ReadCompleteParts));
  EXPECT_EQ(run.session.settings.Mmin, 3.0f);
  const auto file = run.FileLines();
  EXPECT_EQ(file[0], "  SUMMARY of EXTREME part of catalog");
  EXPECT_EQ(testing::CountLines(file, "  Number of earthquakes  =    2"), 1u);
  EXPECT_EQ(file.back(), "  Standard Deviation =   .10");
}

}  // namespace
}  // namespace qev
