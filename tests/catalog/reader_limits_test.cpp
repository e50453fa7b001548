// What both catalog readers refuse: values no stored integer can hold and
// negative SDs and frequencies; and the largest catalogs that still fit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalog/complete_reader.h"
#include "catalog/extreme_reader.h"
#include "harness/harness.h"

namespace qev {
namespace {

using testing::ContainsRun;
using Procedure = void (*)(Session&);

// Answers that read "f.dat" in a layout: the extreme reader asks the layout and
// the name, the complete reader the layout, one part and its name.
std::string ExtremeAnswers(int layout) { return std::to_string(layout) + "\nf.dat\n"; }
std::string CompleteAnswers(int layout) { return std::to_string(layout) + "\n1\nf.dat\n"; }

// Values whose stored integer cannot exist, negative SDs and negative
// frequencies are reading errors naming the file and line, never an
// overflowing conversion or undefined results reported as success.
TEST(CatalogReaders, ValuesNoStoredIntegerHoldsAndNegativeSdsAreReadingErrors) {
  struct Case {
    const char* what;
    Procedure procedure;
    std::string answers;
    std::string file;
    std::vector<std::string> expected;  // further consecutive lines of the message
    long line;
  };
  std::string manyGroups = "1960 1 1\n2000 12 31\n4.0\n0.2\n";
  for (int i = 0; i < 3; ++i) manyGroups += "1e9 4.5\n";  // the third group passes 2^31 - 1
  const Procedure E = ReadExtremeCatalog, C = ReadCompleteParts;
  const Case cases[] = {
      {"extreme magnitude",
       E,
       ExtremeAnswers(1),
       "1900 1 1\n1990 0 0\n1905 5 1 6.1 0.25\n1906 1 1 3e7 0.2\n",
       {},
       4},
      {"extreme SD", E, ExtremeAnswers(1), "1900 1 1\n1990 0 0\n1905 5 1 6.1 5e8\n", {}, 3},
      {"extreme header SD", E, ExtremeAnswers(2), "1900 1 1\n1990 0 0\n5e8\n1905 5 1 6.1\n", {}, 3},
      {"extreme year", E, ExtremeAnswers(1), "1900 1 1\n1990 0 0\n3e9 5 1 6.1 0.2\n", {}, 3},
      {"extreme header year",
       E,
       ExtremeAnswers(1),
       "-3e9 1 1\n1990 0 0\n1905 5 1 6.1 0.2\n",
       {},
       1},
      {"extreme interval",
       E,
       ExtremeAnswers(1),
       "-3000000 1 1\n1990 0 0\n1905 5 1 6.1 0.2\n",
       {},
       3},
      {"extreme interval closed by the end",
       E,
       ExtremeAnswers(1),
       "1900 1 1\n3000000 0 0\n1905 5 1 6.1 0.2\n",
       {},
       2},
      {"negative extreme header SD",
       E,
       ExtremeAnswers(2),
       "1600 1 1\n1899 12 31\n-0.3\n1650 6 1 6.5\n",
       {" READING ERROR in catalog file 'f.dat', line 3", " read     : standard deviation -0.3",
        " expected : a standard deviation not below 0"},
       3},
      {"complete magnitude",
       C,
       CompleteAnswers(2),
       "1960 1 1\n2000 12 31\n4.0\n0.2\n4.5\n-3e7\n",
       {},
       6},
      {"complete per-event SD",
       C,
       CompleteAnswers(1),
       "1960 1 1\n2000 12 31\n4.0\n4.5 3e7\n",
       {},
       4},
      {"complete header SD",
       C,
       CompleteAnswers(3),
       "1960 1 1\n2000 12 31\n4.0\n3e7\n1 4.5\n",
       {},
       4},
      {"frequency", C, CompleteAnswers(3), "1960 1 1\n2000 12 31\n4.0\n0.2\n3e9 4.5\n", {}, 5},
      {"sum of frequencies", C, CompleteAnswers(3), manyGroups, {}, 7},
      {"complete end year", C, CompleteAnswers(2), "1960 1 1\n5e9 12 31\n4.0\n0.2\n4.5\n", {}, 2},
      {"negative per-event SD",
       C,
       CompleteAnswers(1),
       "1960 1 1\n2000 12 31\n4.0\n4.5 0.1\n4.6 -0.2\n",
       {" expected : a standard deviation not below 0"},
       5},
      {"negative complete header SD",
       C,
       CompleteAnswers(2),
       "1960 1 1\n2000 12 31\n4.0\n-0.3\n4.5\n",
       {" expected : a standard deviation not below 0"},
       4},
      {"negative frequency",
       C,
       CompleteAnswers(3),
       "1960 1 1\n2000 12 31\n4.0\n0.2\n-3 4.5\n",
       {" expected : a frequency not below 0"},
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ProcedureRun run(c.answers, c.procedure == E ? 1 : 2);
    run.ws.WriteFile("f.dat", c.file);
    const auto stop = run.Run(c.procedure);
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    EXPECT_TRUE(ContainsRun(stop->ConsoleLines, {" READING ERROR in catalog file 'f.dat', line " +
                                                 std::to_string(c.line)}));
    EXPECT_TRUE(ContainsRun(stop->ConsoleLines, c.expected));
  }
  // An SD of 0 stays legal.
  testing::ProcedureRun zero(CompleteAnswers(2), 2);
  zero.ws.WriteFile("f.dat", "1960 1 1\n2000 12 31\n4.0\n0\n4.5\n");
  EXPECT_FALSE(zero.Run(ReadCompleteParts));
}

// The largest catalog of each kind is read whole (one more stops with the
// nex or nfx box).
TEST(CatalogReaders, CapacitiesFitExactly) {
  std::string extreme = "1000 1 1\n1990 0 0\n";
  for (int year = 1001; year <= 1000 + nex; ++year)
    extreme += std::to_string(year) + " 1 1 5.0 0.2\n";
  testing::ProcedureRun extremes(ExtremeAnswers(1), 1);
  extremes.ws.WriteFile("f.dat", extreme);
  ASSERT_FALSE(extremes.Run(ReadExtremeCatalog));
  EXPECT_EQ(extremes.session.catalog.Extreme.EventCount, 500.0f);
  EXPECT_EQ(extremes.session.catalog.Extreme.Events[499].MagHundredths, 500);

  std::string complete = "1960 1 1\n2000 12 31\n3.0\n0.2\n";
  for (int i = 0; i < nfx; ++i) complete += i % 2 ? "3.5\n" : "4.25\n";
  testing::ProcedureRun rows(CompleteAnswers(2), 2);
  rows.ws.WriteFile("f.dat", complete);
  ASSERT_FALSE(rows.Run(ReadCompleteParts));
  EXPECT_EQ(rows.session.catalog.Parts[0].RowCount, 1500.0f);
  EXPECT_EQ(rows.session.catalog.Parts[0].Rows[1499].MagHundredths, 350);
}

// Carriage returns, tabs, commas, empty lines, values spread over lines and an
// open last line read as the plain file does: the same summary and the same
// stored integers.
TEST(CatalogReaders, CarriageReturnsTabsCommasAndAnOpenLastLineReadTheSame) {
  struct Case {
    Procedure procedure;
    std::string answers;  // reading "f.dat"
    const char* clean;
    const char* messy;
  };
  const Case cases[] = {
      {ReadExtremeCatalog, ExtremeAnswers(1),
       "1900 0 0\n1990 0 0\n1905 5 1 6.1 0.25\n0 0 12 5.1 0.3\n1950 3 4 4.1 0.005\n",
       "1900,0,0\r\n1990\t0\t0\r\n\r\n1905 , 5,1\t6.1  ,0.25\r\n0\t0 12\r\n5.1 "
       "0.3\r\n1950,3,4,4.1,0.005"},
      {ReadCompleteParts, CompleteAnswers(3),
       "1960 0 0\n2000 0 0\n4.0\n0.2\n12 4.0\n3.7 4.5\n2 5.1\n",
       "1960,0,0\r\n\t2000 0\r\n0\r\n4.0 ,\r\n\r\n0.2\r\n12\t4.0\r\n3.7,4.5\r\n2 , 5.1"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> files[2];
    testing::Stored stored[2];
    for (int messy = 0; messy < 2; ++messy) {
      testing::ProcedureRun run(c.answers, c.procedure == ReadExtremeCatalog ? 1 : 2);
      run.ws.WriteFile("f.dat", messy ? c.messy : c.clean);
      ASSERT_FALSE(run.Run(c.procedure));
      files[messy] = run.FileLines();
      stored[messy] = c.procedure == ReadExtremeCatalog
                          ? testing::StoredEvents(run.session.catalog.Extreme, 3)
                          : testing::StoredRows(run.session.catalog.Parts[0], 3);
      if (c.procedure == ReadCompleteParts) {
        EXPECT_EQ(run.session.catalog.Parts[0].EventCount, 17.0f);
      }
    }
    EXPECT_EQ(files[1], files[0]);
    EXPECT_EQ(stored[1], stored[0]);
  }
}

}  // namespace
}  // namespace qev
