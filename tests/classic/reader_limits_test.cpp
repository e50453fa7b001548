// The largest catalogs the classic readers take, and untidy files that read
// as tidy ones. (What the readers refuse: tests/catalog/classic_files_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classic/capacities.h"
#include "classic/complete_reader.h"
#include "classic/extreme_reader.h"
#include "harness/harness.h"

namespace qev {
namespace {

using Procedure = void (*)(Session&);

// Answers that read "f.dat" in a layout: the extreme reader asks the layout and
// the name, the complete reader the layout, one part and its name.
std::string ExtremeAnswers(int layout) { return std::to_string(layout) + "\nf.dat\n"; }
std::string CompleteAnswers(int layout) { return std::to_string(layout) + "\n1\nf.dat\n"; }

// The largest catalog of each kind is read whole (one more stops with the
// nex or nfx box).
TEST(CatalogReaders, CapacitiesFitExactly) {
  std::string extreme = "1000 1 1\n1990 0 0\n";
  for (int year = 1001; year <= 1000 + nex; ++year)
    extreme += std::to_string(year) + " 1 1 5.0 0.2\n";
  testing::ProcedureRun extremes(ExtremeAnswers(1), 1);
  extremes.ws.WriteFile("f.dat", extreme);
  ASSERT_FALSE(extremes.Run(ReadExtremeCatalog));
  const testing::Stored events = testing::StoredEvents(extremes.session.catalog);
  ASSERT_EQ(events.size(), 500u);
  EXPECT_EQ(events[499][0], 500);

  std::string complete = "1960 1 1\n2000 12 31\n3.0\n0.2\n";
  for (int i = 0; i < nfx; ++i) complete += i % 2 ? "3.5\n" : "4.25\n";
  testing::ProcedureRun rows(CompleteAnswers(2), 2);
  rows.ws.WriteFile("f.dat", complete);
  ASSERT_FALSE(rows.Run(ReadCompleteParts));
  const testing::Stored stored = testing::StoredRows(rows.session.catalog, 0);
  ASSERT_EQ(stored.size(), 1500u);
  EXPECT_EQ(stored[1499][0], 350);
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
       "1960 0 0\n2000 0 0\n4.0\n0.2\n12 4.0\n3 4.5\n2 5.1\n",
       "1960,0,0\r\n\t2000 0\r\n0\r\n4.0 ,\r\n\r\n0.2\r\n12\t4.0\r\n3,4.5\r\n2 , 5.1"},
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
                          ? testing::StoredEvents(run.session.catalog)
                          : testing::StoredRows(run.session.catalog, 0);
    }
    EXPECT_EQ(files[1], files[0]);
    EXPECT_EQ(stored[1], stored[0]);
  }
}

}  // namespace
}  // namespace qev
