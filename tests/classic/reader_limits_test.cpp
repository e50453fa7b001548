// The largest catalogs the classic readers take. (What the readers refuse:
// tests/catalog/classic_files_test.cpp; untidy files: the golden transcripts.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "classic/capacities.h"
#include "classic/complete_reader.h"
#include "classic/extreme_reader.h"
#include "harness/harness.h"

namespace qev {
namespace {

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

}  // namespace
}  // namespace qev
