// The capacities nex, nfx and ncpx of the classic readers, each beside the
// largest catalog that still fits, and untidy files that read as tidy ones.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "classic/capacities.h"
#include "classic/complete_reader.h"
#include "classic/extreme_reader.h"
#include "harness/harness.h"

namespace qev {
namespace {

using Procedure = void (*)(Session&);

const std::string kRuler44 = testing::Ruler(44);

// Answers that read "f.dat" in a layout: the extreme reader asks the layout and
// the name, the complete reader the layout, one part and its name.
std::string ExtremeAnswers(int layout) { return std::to_string(layout) + "\nf.dat\n"; }
std::string CompleteAnswers(int layout) { return std::to_string(layout) + "\n1\nf.dat\n"; }

// The largest catalog of each kind is read whole; one event or row more stops
// with the box naming the parameter to change (six parts: the complete reader).
TEST(CatalogReaders, CapacitiesFitExactlyAndOneMoreStops) {
  std::string extreme = "1600 1 1\n1990 0 0\n";
  for (int day = 2; day <= 501; ++day) extreme += "1600 1 " + std::to_string(day) + " 5.0 0.2\n";
  std::string complete = "1960 1 1\n2000 12 31\n3.0\n0.2\n";
  for (int i = 0; i < nfx; ++i) complete += i % 2 ? "3.5\n" : "4.25\n";
  std::string fiveNames;
  std::vector<std::pair<std::string, std::string>> fiveParts;
  for (int c = 1; c <= 5; ++c) {
    // Decades from 1960, thresholds 5.0 down to 1.0, one event each.
    fiveNames += "part" + std::to_string(c) + ".dat\n";
    fiveParts.emplace_back("part" + std::to_string(c) + ".dat",
                           std::to_string(1950 + 10 * c) + " 1 1\n" +
                               std::to_string(1959 + 10 * c) + " 12 31\n" + std::to_string(6 - c) +
                               ".0\n0.2\n5.5\n");
  }
  struct Case {
    const char* what;
    Procedure procedure;
    std::string answers;
    std::vector<std::pair<std::string, std::string>> files;
    std::function<void(testing::ProcedureRun&)> fits;  // checks of a catalog read whole
    std::vector<std::string> box;                      // or the box that stops
  };
  const std::vector<Case> cases = {
      {"500 extreme events",
       ReadExtremeCatalog,
       ExtremeAnswers(1),
       {{"f.dat", extreme}},
       [](testing::ProcedureRun& run) {
         const testing::Stored events = testing::StoredEvents(run.session.catalog);
         ASSERT_EQ(events.size(), 500u);
         EXPECT_EQ(events[499][0], 500);
       },
       {}},
      {"501 extreme events",
       ReadExtremeCatalog,
       ExtremeAnswers(1),
       {{"f.dat", extreme + "1600 1 502 5.0 0.2\n"}},
       nullptr,
       {kRuler44, " NR of earthquakes too BIG !!! change nex !!!", kRuler44}},
      {"1500 complete rows",
       ReadCompleteParts,
       CompleteAnswers(2),
       {{"f.dat", complete}},
       [](testing::ProcedureRun& run) {
         const testing::Stored rows = testing::StoredRows(run.session.catalog, 0);
         ASSERT_EQ(rows.size(), 1500u);
         EXPECT_EQ(rows[1499][0], 350);
       },
       {}},
      {"1501 complete rows",
       ReadCompleteParts,
       CompleteAnswers(2),
       {{"f.dat", complete + "4.0\n"}},
       nullptr,
       {kRuler44, " NR of earthquakes too BIG !!! change nfx !!!", kRuler44}},
      {"5 complete parts",
       ReadCompleteParts,
       "2\n5\n" + fiveNames,
       fiveParts,
       [](testing::ProcedureRun& run) {
         EXPECT_EQ(run.session.catalog.complete.size(), 5u);
         EXPECT_EQ(run.session.settings.Mmin, 1.0f);
         EXPECT_EQ(testing::CountLines(run.FileLines(), "  Number of earthquakes  =    1"), 5u);
       },
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ProcedureRun run(c.answers, c.procedure == ReadExtremeCatalog ? 1 : 2);
    for (const auto& [name, text] : c.files) run.ws.WriteFile(name, text);
    const auto stop = run.Run(c.procedure);
    if (c.fits) {
      ASSERT_FALSE(stop);
      c.fits(run);
      continue;
    }
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->ExitStatus, kExitError);
    // The box comes after a screen feed and ends the console.
    const auto tail = testing::AfterFeed(c.procedure == ReadExtremeCatalog ? 34 : 37, c.box);
    EXPECT_EQ(testing::Tail(run.ConsoleLines(), tail.size()), tail);
  }
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
                          ? testing::StoredEvents(run.session.catalog)
                          : testing::StoredRows(run.session.catalog, 0);
    }
    EXPECT_EQ(files[1], files[0]);
    EXPECT_EQ(stored[1], stored[0]);
  }
}

}  // namespace
}  // namespace qev
