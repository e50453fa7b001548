#include "classic/extreme_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/harness.h"

namespace qev {
namespace {

using testing::Append;
using testing::ContainsRun;
using testing::EmptyLines;
using testing::ProcedureRun;

using testing::AfterFeed;
using testing::Stored;
using testing::StoredEvents;
const std::string kRuler42 = testing::Ruler(42);

std::vector<std::string> MenuScreen() {
  std::vector<std::string> lines = EmptyLines(34 + 3);
  Append(lines,
         {"          EXTREME Data specification :", "       --------------------------------", "",
          " for EACH earthquake, FILE contains :", "", " (1) MAGNITUDE & STANDARD DEVIATION", "",
          " (2) MAGNITUDE. Only one STANDARD DEVIATION (SD) value",
          "     is given at the BEGINING of the file. Optionally,",
          "     for  different  parts of the file, different  SDs", "     can be given.", "", "",
          " ENTER proper number ...", ""});
  Append(lines, EmptyLines(34));
  Append(lines, {" Enter FILE NAME of EXTREME catalog :", ""});
  return lines;
}

std::vector<std::string> DateErrorBox(int eventNumber) {
  std::string number = std::to_string(eventNumber);
  return AfterFeed(
      34, {kRuler42,
           " ERROR in EXTERME DATA INPUT: e-ke nr " + std::string(11 - number.size(), ' ') + number,
           " check YEARS of earthquake occurrence !!!", "                 or",
           "    EMPTY line at the END of the file", kRuler42});
}

// Three events of layout 1: the second completes its year and month from the
// first, the third has an SD below the floor and a magnitude whose single-
// precision value lies just below 4.1.
const char* const kLayout1File =
    "1900 0 0\n"
    "1990 0 0\n"
    "1905 5 1 6.1 0.25\n"
    "0 0 12 5.1 0.3\n"
    "1950 3 4 4.1 0.005\n";

TEST(ExtremeReader, Layout1FileIsEchoedSummarisedAndStoredScaled) {
  ProcedureRun run("1\next1.dat\n", 1);
  run.ws.WriteFile("ext1.dat", kLayout1File);
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));

  std::vector<std::string> console = MenuScreen();
  Append(console,
         {"", " SUMMARY of EXTREME part of catalog", "",
          " FILE name of EXTREME part of catalog : ext1.dat  ", "",
          " EXTREME catalog STARTS at  1900/ 1/ 1", " EXTREME catalog ENDS   at  1990/12/31",
          " 1905  5  1  6.10   .25", " 1905  5 12  5.10   .30", " 1950  3  4  4.10   .01", "",
          " Number of earthquakes :   3"});
  EXPECT_EQ(run.ConsoleLines(), console);

  EXPECT_EQ(run.FileLines(), (std::vector<std::string>{
                                 "  SUMMARY of EXTREME part of catalog",
                                 " ====================================",
                                 "  FILE name of EXTREME part of catalog : ext1.dat  ",
                                 "  EXTREME catalog STARTS at  1900/ 1/ 1",
                                 "  EXTREME catalog ENDS   at  1990/12/31",
                                 "  1905  5  1  6.10   .25",
                                 "  1905  5 12  5.10   .30",
                                 "  1950  3  4  4.10   .01",
                                 "  Number of earthquakes :   3",
                                 "  MAX OBS. IN EXTREME PART OF CATALOG =  6.10",
                                 "  SECOND MAX OBS. IN EXTREME PART OF CATALOG =  5.10",
                             }));

  const ExtremePart& extreme = *run.session.catalog.extreme;
  EXPECT_EQ(extreme.start, 1899.002685546875f);
  EXPECT_EQ(extreme.end, 1990.0015869140625f);
  EXPECT_EQ(extreme.events.size(), 3u);
  EXPECT_EQ(run.session.settings.Mmin, 4.1f);
  // Single-precision products truncated: 6.1 -> 609, 5.1 -> 509, 4.1 -> 409;
  // the floored SD 0.01 -> 0. Intervals (worked through independently in single
  // precision): 5333 from the start, 30, 44811, and the last one closed with
  // the 40823 thousandths up to the end of 1990.
  EXPECT_EQ(StoredEvents(run.session.catalog),
            (Stored{{609, 25, 5333}, {509, 30, 30}, {409, 0, 44811 + 40823}}));
}

TEST(ExtremeReader, Layout2TakesTheHeaderSdAndIgnoresExtraValuesAndACutLastLine) {
  ProcedureRun run("2\next2.dat\n", 1);
  run.ws.WriteFile("ext2.dat",
                   "1600 1 1\n"
                   "1899 12 31\n"
                   "0.35\n"
                   "1650 6 1 6.5 9.9\n"  // the fifth value is not part of a layout-2 event
                   "1651 1 1 5.5\n"
                   "1700 2 2\n");  // three values only: the end of the file, not an event
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

// A per-event SD below 0.01, negative or not, is raised to 0.01 (a negative
// header SD is a reading error).
TEST(ExtremeReader, NegativePerEventSdIsRaisedToTheFloor) {
  ProcedureRun run("1\nneg1.dat\n", 1);
  run.ws.WriteFile("neg1.dat", "1600 1 1\n1899 12 31\n1650 6 1 6.5 -0.2\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  EXPECT_TRUE(ContainsRun(run.FileLines(), {"  1650  6  1  6.50   .01"}));
}

TEST(ExtremeReader, OtherLayoutAnswerReadsNoSdLineAndStoresSdZero) {
  ProcedureRun run("3\next3.dat\n", 1);
  run.ws.WriteFile("ext3.dat", "1600 1 1\n1899 12 31\n1650 6 1 6.5\n1700 1 1 5.0\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  const Stored stored = StoredEvents(run.session.catalog);
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0][1], 0);
  EXPECT_EQ(stored[0][0], 650);
  EXPECT_TRUE(
      ContainsRun(run.FileLines(), {"  1650  6  1  6.50   .00", "  1700  1  1  5.00   .00"}));
}

TEST(ExtremeReader, ZerosInTheFirstEventStayZerosAndLaterOnesTakeThePreviousDate) {
  ProcedureRun run("1\nz.dat\n", 1);
  run.ws.WriteFile("z.dat",
                   "1899 0 0\n1990 0 0\n1900 0 5 5.0 0.2\n0 3 0 5.2 0.2\n1901 0 0 5.3 0.2\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  EXPECT_TRUE(ContainsRun(run.FileLines(), {"  1900  0  5  5.00   .20", "  1900  3  5  5.20   .20",
                                            "  1901  3  5  5.30   .20"}));
}

TEST(ExtremeReader, DateErrorsNameTheEventAndStopWithStatus1) {
  struct Case {
    const char* what;
    std::string file;
    int eventNumber;
    int echoedEvents;
  };
  const Case cases[] = {
      {"first event on the start date", "1900 1 1\n1990 0 0\n1900 1 1 6.0 0.2\n", 1, 0},
      {"two events on the same day", "1900 1 1\n1990 0 0\n1910 3 3 6.0 0.2\n1910 3 3 5.0 0.2\n", 2,
       1},
      {"end of the period before the last event",
       "1900 1 1\n1990 12 30\n1910 3 3 6.0 0.2\n1990 12 31 5.0 0.2\n", 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProcedureRun run("1\nbad.dat\n", 1);
    run.ws.WriteFile("bad.dat", c.file);
    const auto stop = run.Run(ReadExtremeCatalog);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    EXPECT_EQ(testing::Tail(run.ConsoleLines(), 40), DateErrorBox(c.eventNumber));
    // The lines already written stay; the failing event is not echoed.
    const auto file = run.FileLines();
    ASSERT_EQ(file.size(), 5u + static_cast<std::size_t>(c.echoedEvents));
    EXPECT_EQ(file[0], "  SUMMARY of EXTREME part of catalog");
  }
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

TEST(ExtremeReader, EqualLargestMagnitudesMakeBothMaximaEqual) {
  ProcedureRun run("2\nm.dat\n", 1);
  run.ws.WriteFile("m.dat", "1700 0 0\n1900 0 0\n0.2\n1710 1 1 6.8\n1720 1 1 5.9\n1730 1 1 6.8\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  const auto file = run.FileLines();
  EXPECT_TRUE(ContainsRun(file, {"  MAX OBS. IN EXTREME PART OF CATALOG =  6.80",
                                 "  SECOND MAX OBS. IN EXTREME PART OF CATALOG =  6.80"}));
}

TEST(ExtremeReader, LongFileNameIsCutTo15AndShownWith10) {
  ProcedureRun run("1\nextreme_catalog_1500.dat\n", 1);
  run.ws.WriteFile("extreme_catalog", "1900 1 1\n1990 0 0\n1905 5 1 6.1 0.25\n");
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  EXPECT_EQ(run.FileLines()[2], "  FILE name of EXTREME part of catalog : extreme_ca");
}

// A header and no event line: no interval is written anywhere. With complete
// parts to follow the extreme part is empty; alone there is nothing to estimate.
TEST(ExtremeReader, FileWithoutEventsIsAnEmptyPartBesideCompletePartsAndAStopAlone) {
  const std::string file = "1900 1 1\n1990 0 0\n\n";
  {
    ProcedureRun run("1\nempty.dat\n", 3);
    run.ws.WriteFile("empty.dat", file);
    ASSERT_FALSE(run.Run(ReadExtremeCatalog));
    ASSERT_TRUE(run.session.catalog.extreme);
    EXPECT_TRUE(run.session.catalog.extreme->events.empty());
    EXPECT_EQ(run.session.settings.Mmin, 999.0f);
    EXPECT_EQ(run.FileLines()[5], "  Number of earthquakes :   0");
  }
  {
    ProcedureRun run("1\nempty.dat\n", 1);
    run.ws.WriteFile("empty.dat", file);
    const auto stop = run.Run(ReadExtremeCatalog);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    const auto box = AfterFeed(34, {kRuler42, " NO earthquakes in EXTREME catalog file !!!",
                                    "   nothing to estimate the parameters from", kRuler42});
    EXPECT_EQ(testing::Tail(run.ConsoleLines(), box.size()), box);
    const auto lines = run.FileLines();
    ASSERT_EQ(lines.size(), 8u);  // the whole summary stays in the file
    EXPECT_EQ(lines[5], "  Number of earthquakes :   0");
  }
}

}  // namespace
}  // namespace qev
