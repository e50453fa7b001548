// Task seeds against an independent computation, and the bootstrap: every
// part keeps its period and its number of events, and draws only what the
// catalog holds; draws the analysis cannot use become failed rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "batch/record.h"
#include "estimation/example_catalog.h"
#include "qev/batch.h"

namespace qev {
namespace {

// From tests/batch/data/seed_reference.py, which implements the rules of
// docs/batch.md in Python.
struct SeedCase {
  std::uint64_t master;
  const char* zone;
  const char* branch;
  std::int64_t replicate;
  std::uint64_t n;
  std::uint64_t seed;
  std::uint64_t draws[3];
};
const SeedCase kSeeds[] = {
    {1ULL, "north", "base", 0, 10, 12965752760087308177ULL, {9, 5, 0}},
    {20240516ULL, "tonga", "ct=A;b=1.0;proc=cramer", 1, 7, 16265899677046944791ULL, {4, 0, 4}},
    {20240516ULL, "tonga", "ct=A;b=1.0;proc=cramer", 2, 7, 15675989963280006194ULL, {1, 3, 1}},
    {9223372036854775807ULL,
     "z",
     "b=0.9",
     100,
     1000003,
     3871641332586443840ULL,
     {42730, 655512, 444295}},
};

TEST(TaskSeeds, SeedsAndDrawsMatchTheIndependentComputation) {
  for (const SeedCase& c : kSeeds) {
    const std::uint64_t seed = TaskSeed(c.master, c.zone, c.branch, c.replicate);
    EXPECT_EQ(seed, c.seed) << c.zone << " " << c.branch << " " << c.replicate;
    RandomStream stream(seed);
    for (std::uint64_t expected : c.draws) EXPECT_EQ(stream.Below(c.n), expected);
  }
}

std::int64_t EventsInUse(const CompletePart& part) {
  std::int64_t n = 0;
  for (const MagnitudeRow& row : part.rows) {
    if (std::trunc(row.magnitude * 100.0) >= std::trunc(part.threshold * 100.0) - 2.0) {
      n += row.frequency;
    }
  }
  return n;
}

TEST(Bootstrap, PartsKeepTheirPeriodsAndCountsAndDrawOnlyTheirOwnEvents) {
  const Catalog catalog = testing::ExampleCatalog(true);
  const ExtremePart& original = *catalog.extreme;
  for (std::int64_t replicate = 1; replicate <= 200; ++replicate) {
    RandomStream random(TaskSeed(5, "example", "base", replicate));
    const Catalog drawn = Bootstrap(catalog, random);
    SCOPED_TRACE(replicate);

    const ExtremePart& extreme = *drawn.extreme;
    EXPECT_EQ(extreme.start, original.start);
    EXPECT_EQ(extreme.end, original.end);
    ASSERT_EQ(extreme.events.size(), original.events.size());
    EXPECT_EQ(extreme.events.back().time, original.events.back().time);
    float before = extreme.start;
    for (const ExtremeEvent& e : extreme.events) {
      EXPECT_GE(std::trunc((static_cast<double>(e.time) - before) * 1000.0), 1.0);
      before = e.time;
      EXPECT_TRUE(std::any_of(original.events.begin(), original.events.end(),
                              [&](auto& o) { return o.magnitude == e.magnitude && o.sd == e.sd; }));
    }

    ASSERT_EQ(drawn.complete.size(), catalog.complete.size());
    for (std::size_t p = 0; p < catalog.complete.size(); ++p) {
      const CompletePart& from = catalog.complete[p];
      const CompletePart& part = drawn.complete[p];
      EXPECT_EQ(part.start, from.start);
      EXPECT_EQ(part.end, from.end);
      EXPECT_EQ(part.threshold, from.threshold);
      EXPECT_EQ(EventsInUse(part), EventsInUse(from));
      for (const MagnitudeRow& row : part.rows) {
        EXPECT_TRUE(std::any_of(from.rows.begin(), from.rows.end(), [&](auto& o) {
          return o.magnitude == row.magnitude && o.sd == row.sd;
        }));
      }
    }
  }
}

// A plan of hand-made cells: tasks that cannot give an estimate are rows with
// their status and message, and the batch goes on.
TEST(BatchTasks, FailuresBecomeRowsWithStatusAndMessage) {
  struct Zone {
    const char* name;
    std::shared_ptr<Catalog> catalog;
    const char* error;  // of reading the zone's files
    float start_mmax;   // a given start when above 0
    std::string status, message;
    float mmin = 3.4f;
  };
  // Every event at the threshold: no starting Beta.
  const auto flat = std::make_shared<Catalog>(
      Catalog{std::nullopt, {{1900.0f, 2000.0f, 4.0f, 0.1f, {{4.0f, 0.1f, 5}}}}});
  const auto example = std::make_shared<Catalog>(testing::ExampleCatalog(true));
  const Zone zones[] = {
      {"flat", flat, "", 0.0f, "no-estimate", "no starting point", 3.9f},
      {"broken", flat, "b.dat, line 3: the period ends before it starts", 0.0f, "catalog-error",
       "b.dat, line 3", 3.9f},
      {"above", flat, "", 0.0f, "invalid-options",
       "Mmin 4.10 lies above the lowest completeness threshold 4.00 (complete part 1)", 4.1f},
      {"good", example, "", 0.0f, "ok", ""},
      {"given", example, "", 3.0f, "invalid-options", "the starting Mmax 3.0"},  // below Mmin
  };
  BatchPlan plan;
  plan.job.replicates = 1;
  plan.branches = CrossBranches({});
  for (const Zone& z : zones) {
    plan.job.zones.emplace_back().name = z.name;
    Cell& cell = plan.cells.emplace_back();
    cell.zone = plan.cells.size() - 1;
    cell.catalog = z.catalog;
    cell.options.mmin = z.mmin;
    cell.hazard_spans = {50.0f};
    if (*z.error) cell.error_status = "catalog-error", cell.error_message = z.error;
    cell.options.start = z.start_mmax > 0.0f ? StartingPointKind::Given : cell.options.start;
    cell.options.start_lambda = 1.0f;  // used by a given start alone
    cell.options.start_mmax = z.start_mmax;
  }
  for (std::size_t i = 0; i < plan.task_count(); ++i) {
    const Zone& z = zones[i / 2];
    const TaskRecord record = MakeRecord(plan, RunTask(plan, i));
    const std::string csv = ResultsCsvRow(plan, record);
    const std::string json = ResultsJsonLine(plan, record);
    EXPECT_EQ(csv.rfind(std::string(z.name) + ",base,", 0), 0u) << csv;
    EXPECT_NE(csv.find("," + z.status + ",\""), std::string::npos) << csv;
    EXPECT_EQ(record.ok(), z.status == "ok");
    if (!record.ok()) {
      EXPECT_NE(csv.find("\"" + std::string(20, ',') + "\n"), std::string::npos) << csv;
      EXPECT_NE(json.find("\"message\":\"" + z.message), std::string::npos) << json;
      EXPECT_TRUE(HazardCsvRows(plan, record).empty());
    }
  }
}

}  // namespace
}  // namespace qev
