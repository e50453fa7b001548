// The bundled example catalogs read in every layout, and the three layouts of
// the complete parts describe the same earthquakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "qev/classic_files.h"

namespace qev {
namespace {

std::string Example(const std::string& name) { return std::string(QEV_EXAMPLES_DIR) + "/" + name; }

CompleteFile ReadPart(const std::string& name, CompleteLayout layout) {
  std::ifstream in(Example(name));
  return ReadCompleteFile(in, name, layout);
}

// Each earthquake of a part once, as (magnitude in hundredths) repeated by its frequency.
std::vector<int> Magnitudes(const Catalog& catalog, std::size_t part) {
  std::vector<int> magnitudes;
  for (const auto& row : testing::StoredRows(catalog, part)) {
    for (int k = 0; k < row[2]; ++k) magnitudes.push_back(row[0]);
  }
  std::sort(magnitudes.begin(), magnitudes.end());
  return magnitudes;
}

TEST(ExampleCatalogs, EveryLayoutReadsTheSameRegion) {
  std::vector<int> firstLayout[2];
  for (int layout = 1; layout <= 3; ++layout) {
    SCOPED_TRACE("complete layout " + std::to_string(layout));
    const int extremeLayout = layout == 1 ? 1 : 2;
    const std::string extremeName = "ext_l" + std::to_string(extremeLayout) + ".dat";
    std::ifstream extremeFile(Example(extremeName));
    Catalog catalog;
    catalog.extreme =
        ReadExtremeFile(extremeFile, extremeName, static_cast<ExtremeLayout>(extremeLayout)).part;
    for (const char* part : {"cp1900_l", "cp1960_l"}) {
      const CompleteFile file =
          ReadPart(part + std::to_string(layout) + ".dat", static_cast<CompleteLayout>(layout));
      EXPECT_TRUE(file.below_threshold.empty());  // no warning in the report
      catalog.complete.push_back(file.part);
    }
    EXPECT_EQ(catalog.extreme->events.size(), 36u);
    EXPECT_EQ(catalog.complete[0].threshold, 4.5f);
    EXPECT_EQ(catalog.complete[1].threshold, 3.5f);
    const ObservedMaxima maxima = ObservedMaximaOf(catalog);
    EXPECT_EQ(maxima.largest, 6.7f);
    EXPECT_EQ(maxima.second, 6.7f);
    for (std::size_t p = 0; p < 2; ++p) {
      const std::vector<int> magnitudes = Magnitudes(catalog, p);
      EXPECT_EQ(magnitudes.size(), p == 0 ? 62u : 365u);
      if (layout == 1) {
        firstLayout[p] = magnitudes;
      } else {
        EXPECT_EQ(magnitudes, firstLayout[p]) << "part " << p + 1;
      }
    }
  }
}

}  // namespace
}  // namespace qev
