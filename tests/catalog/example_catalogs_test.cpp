// The bundled example catalogs read without a stop in every layout, and the
// three layouts of the complete parts describe the same earthquakes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalog/complete_reader.h"
#include "catalog/extreme_reader.h"
#include "harness/harness.h"

namespace qev {
namespace {

using testing::ProcedureRun;

// Reads the extreme file of `extremeLayout` and both complete parts of
// `completeLayout`, as a session with data kind 3 would.
void ReadExamples(ProcedureRun& run, int extremeLayout, int completeLayout) {
  const std::string extreme = "ext_l" + std::to_string(extremeLayout) + ".dat";
  const std::string part1 = "cp1900_l" + std::to_string(completeLayout) + ".dat";
  const std::string part2 = "cp1960_l" + std::to_string(completeLayout) + ".dat";
  run.ws.CopyExamples({extreme, part1, part2});
  ASSERT_FALSE(run.Run(ReadExtremeCatalog));
  ASSERT_FALSE(run.Run(ReadCompleteParts));
}

std::string Answers(int extremeLayout, int completeLayout) {
  const std::string e = std::to_string(extremeLayout);
  const std::string c = std::to_string(completeLayout);
  return e + "\next_l" + e + ".dat\n" + c + "\n2\ncp1900_l" + c + ".dat\ncp1960_l" + c + ".dat\n";
}

// Each earthquake of a part once, as (magnitude in hundredths) repeated by its frequency.
std::vector<int> Magnitudes(const CompletePart& part) {
  std::vector<int> magnitudes;
  for (int j = 0; j < static_cast<int>(part.RowCount); ++j) {
    for (int k = 0; k < part.Rows[j].Frequency; ++k)
      magnitudes.push_back(part.Rows[j].MagHundredths);
  }
  std::sort(magnitudes.begin(), magnitudes.end());
  return magnitudes;
}

TEST(ExampleCatalogs, EveryLayoutReadsTheSameRegion) {
  std::vector<int> firstLayout[2];
  for (int completeLayout = 1; completeLayout <= 3; ++completeLayout) {
    const int extremeLayout = completeLayout == 1 ? 1 : 2;
    SCOPED_TRACE("complete layout " + std::to_string(completeLayout));
    ProcedureRun run(Answers(extremeLayout, completeLayout), 3);
    ReadExamples(run, extremeLayout, completeLayout);
    const Catalog& catalog = run.session.catalog;
    EXPECT_EQ(catalog.Extreme.EventCount, 36.0f);
    EXPECT_EQ(catalog.Extreme.SmallestMagnitude, 4.6f);
    ASSERT_EQ(catalog.PartCount, 2);
    EXPECT_EQ(catalog.Parts[0].EventCount, 62.0f);
    EXPECT_EQ(catalog.Parts[1].EventCount, 365.0f);
    EXPECT_EQ(catalog.Parts[0].Threshold, 4.5f);
    EXPECT_EQ(catalog.Parts[1].Threshold, 3.5f);
    EXPECT_EQ(run.session.settings.Mmin, 3.5f);
    EXPECT_EQ(catalog.MaxObserved, 6.7f);
    EXPECT_EQ(catalog.SecondMaxObserved, 6.7f);
    for (int p = 0; p < 2; ++p) {
      const std::vector<int> magnitudes = Magnitudes(catalog.Parts[p]);
      if (completeLayout == 1) {
        firstLayout[p] = magnitudes;
      } else {
        EXPECT_EQ(magnitudes, firstLayout[p]) << "part " << p + 1;
      }
    }
    // No earthquake lies below its threshold: no warning lines in the report.
    const auto file = run.FileLines();
    EXPECT_EQ(std::count(file.begin(), file.end(), "             !!! Such EQ-s are IGNORED !!!"),
              0);
  }
}

}  // namespace
}  // namespace qev
