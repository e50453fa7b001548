// Task seeds against an independent computation, and the bootstrap: every
// part keeps its period and its number of events, and draws only what the
// catalog holds; draws the analysis cannot use become failed rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "qev/batch.h"
#include "qev/classic_files.h"

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

Catalog ExampleCatalog() {
  Catalog catalog;
  std::ifstream extreme(QEV_EXAMPLES_DIR "/ext_l1.dat");
  catalog.extreme = ReadExtremeFile(extreme, "ext_l1.dat", ExtremeLayout::PerEventSd).part;
  std::ifstream c1(QEV_EXAMPLES_DIR "/cp1900_l1.dat");
  catalog.complete.push_back(
      ReadCompleteFile(c1, "cp1900_l1.dat", CompleteLayout::PerEventSd).part);
  std::ifstream c3(QEV_EXAMPLES_DIR "/cp1960_l3.dat");
  catalog.complete.push_back(ReadCompleteFile(c3, "cp1960_l3.dat", CompleteLayout::Grouped).part);
  return catalog;
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
  const Catalog catalog = ExampleCatalog();
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

// Events with their own magnitudes tell which interval was drawn: every
// rebuilt interval is its drawn interval times one scale, the one that keeps
// the span of the events.
TEST(Bootstrap, ExtremeIntervalsAreTheDrawnOnesScaledToTheSpan) {
  ExtremePart part{1000.0f, 1070.0f, {}};
  const double intervals[] = {1, 2, 4, 8, 16, 32};
  double t = part.start;
  for (int i = 0; i < 6; ++i) {
    t += intervals[i];
    part.events.push_back({static_cast<float>(t), 5.0f + 0.1f * static_cast<float>(i), 0.2f});
  }
  // Times are floats near the year 1000: a rebuilt interval is good to 1e-4 year.
  constexpr double kTimeRounding = 2e-4;
  for (std::int64_t replicate = 1; replicate <= 50; ++replicate) {
    RandomStream random(TaskSeed(9, "scaled", "base", replicate));
    const Catalog drawn = Bootstrap(Catalog{part, {}}, random);
    std::vector<double> picked;
    for (const ExtremeEvent& e : drawn.extreme->events) {
      picked.push_back(intervals[static_cast<int>(std::lround((e.magnitude - 5.0f) * 10.0f))]);
    }
    double total = 0.0;
    for (double d : picked) total += d;
    const double scale = (part.events.back().time - part.start) / total;
    double before = part.start;
    for (std::size_t j = 0; j < picked.size(); ++j) {
      const double time = drawn.extreme->events[j].time;
      EXPECT_NEAR(time - before, scale * picked[j], kTimeRounding) << replicate << " " << j;
      before = time;
    }
  }
}

TEST(Bootstrap, DrawsDependOnTheSeedAlone) {
  const Catalog catalog = ExampleCatalog();
  RandomStream a(TaskSeed(5, "example", "base", 3));
  RandomStream b(TaskSeed(5, "example", "base", 3));
  RandomStream c(TaskSeed(5, "example", "base", 4));
  const Catalog x = Bootstrap(catalog, a);
  const Catalog y = Bootstrap(catalog, b);
  const Catalog z = Bootstrap(catalog, c);
  auto times = [](const Catalog& k) {
    std::vector<float> t;
    for (const ExtremeEvent& e : k.extreme->events) t.push_back(e.time);
    return t;
  };
  EXPECT_EQ(times(x), times(y));
  EXPECT_NE(times(x), times(z));
}

// A plan of hand-made cells: tasks that cannot give an estimate are rows with
// their status and message, and the batch goes on.
TEST(BatchTasks, FailuresBecomeRowsWithStatusAndMessage) {
  BatchPlan plan;
  for (const char* name : {"flat", "broken", "good", "given"}) {
    plan.job.zones.emplace_back().name = name;
  }
  plan.job.replicates = 1;
  plan.branches = CrossBranches({});
  // Every event at the threshold: no starting Beta.
  const CompletePart flat{1900.0f, 2000.0f, 4.0f, 0.1f, {{4.0f, 0.1f, 5}}};
  Cell cell;
  cell.options.mmin = 3.9f;
  cell.hazard_spans = {50.0f};
  cell.catalog = std::make_shared<Catalog>(Catalog{std::nullopt, {flat}});
  plan.cells.push_back(cell);
  cell.zone = 1;
  cell.error_status = "catalog-error";
  cell.error_message = "b.dat, line 3: the period ends before it starts";
  plan.cells.push_back(cell);
  cell.zone = 2;
  cell.error_status.clear();
  cell.catalog = std::make_shared<Catalog>(ExampleCatalog());
  cell.options.mmin = 3.4f;
  plan.cells.push_back(cell);
  cell.zone = 3;
  cell.options.start = StartingPointKind::Given;  // an Mmax below Mmin to start from
  cell.options.start_lambda = 1.0f;
  cell.options.start_mmax = 3.0f;
  plan.cells.push_back(cell);

  struct Row {
    const char* status;
    const char* message;
  };
  const Row expected[] = {{"no-estimate", "no starting point"},
                          {"no-estimate", "no starting point"},
                          {"catalog-error", "b.dat, line 3"},
                          {"catalog-error", "b.dat, line 3"},
                          {"ok", ""},
                          {"ok", ""},
                          {"invalid-options", "the starting Mmax 3.0"},
                          {"invalid-options", "the starting Mmax 3.0"}};
  for (std::size_t i = 0; i < plan.task_count(); ++i) {
    const TaskRecord record = MakeRecord(plan, RunTask(plan, i));
    EXPECT_EQ(record.csv.substr(0, record.csv.find(',', record.csv.find(',') + 1)),
              plan.job.zones[i / 2].name + ",base");
    const std::string status = expected[i].status;
    EXPECT_NE(record.csv.find("," + status + ",\""), std::string::npos) << record.csv;
    EXPECT_EQ(record.ok, status == "ok");
    if (!record.ok) {
      EXPECT_NE(record.csv.find("\",,,,,,,,,,,,,,\n"), std::string::npos) << record.csv;
      EXPECT_NE(record.jsonl.find("\"message\":\"" + std::string(expected[i].message)),
                std::string::npos)
          << record.jsonl;
      EXPECT_TRUE(record.hazard_csv.empty());
    }
  }
}

}  // namespace
}  // namespace qev
