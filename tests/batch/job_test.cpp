// The job file: every refusal names the file, the line and the key; the logic
// tree crosses the branch sets in order with product weights.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "harness/harness.h"
#include "qev/batch.h"

namespace qev {
namespace {

// Each job of data/bad_jobs.txt ends invalid: read, or once its zones are
// planned; the message names the file, the line and the key.
TEST(BatchJob, BadJobsAreRefusedWithFileLineAndKey) {
  std::ifstream in(QEV_BATCH_DATA_DIR "/bad_jobs.txt");
  std::vector<std::array<std::string, 4>> jobs;  // what, where, message, job
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("=== ", 0) == 0) {
      std::array<std::string, 4>& job = jobs.emplace_back();
      std::istringstream header(line.substr(4));
      for (int k = 0; k < 3; ++k) std::getline(header >> std::ws, job[k], '|');
      for (int k = 0; k < 2; ++k) job[k].erase(job[k].find_last_not_of(' ') + 1);
    } else if (!jobs.empty()) {
      jobs.back()[3] += line + "\n";
    }
  }
  ASSERT_EQ(jobs.size(), 39u);
  for (const auto& [what, where, part, job] : jobs) {
    try {
      PlanBatch(ParseBatchJob(job, "job.toml", QEV_EXAMPLES_DIR));
      ADD_FAILURE() << what << ": accepted";
    } catch (const ReadingError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind("job.toml", 0), 0u) << what << ": " << message;
      EXPECT_NE(message.find(where), std::string::npos) << what << ": " << message;
      EXPECT_NE(message.find(part), std::string::npos) << what << ": " << message;
    }
  }
}

TEST(BatchJob, SettingsOfLaterLevelsReplaceEarlierOnes) {
  const BatchPlan plan = PlanBatch(ParseBatchJob(
      qev::testing::ReadBytes(QEV_BATCH_DATA_DIR "/levels.toml"), "job.toml", QEV_EXAMPLES_DIR));
  ASSERT_EQ(plan.cells.size(), 2u);
  EXPECT_EQ(plan.cells[0].options.sig_xmax, 0.3f);  // from the defaults
  EXPECT_EQ(plan.cells[1].options.sig_xmax, 0.1f);  // from alternative y
  for (const Cell& cell : plan.cells) {
    EXPECT_EQ(cell.options.prior_b, 0.9f);  // the zone's
    EXPECT_EQ(cell.options.mmin, 3.4f);
    ASSERT_TRUE(cell.catalog);
    EXPECT_EQ(cell.catalog->complete.size(), 1u);
  }
}

// The rows of the complete parts of two catalogs agree.
void ExpectSameParts(const Catalog& mine, const Catalog& theirs, const std::string& what) {
  ASSERT_EQ(mine.complete.size(), theirs.complete.size()) << what;
  for (std::size_t k = 0; k < theirs.complete.size(); ++k) {
    ASSERT_EQ(mine.complete[k].rows.size(), theirs.complete[k].rows.size()) << what;
    for (std::size_t i = 0; i < theirs.complete[k].rows.size(); ++i)
      EXPECT_EQ(mine.complete[k].rows[i].magnitude, theirs.complete[k].rows[i].magnitude) << what;
  }
}

// Each branch's catalog is the prepare job's under the branch's declustering
// method and completeness table; the table as text and as pairs is one split,
// and "auto" estimates the table as the prepare job would.
TEST(BatchJob, DeclusteringAndCompletenessAreBranchKeys) {
  const BatchPlan plan =
      PlanBatch(ParseBatchJob(qev::testing::ReadBytes(QEV_BATCH_DATA_DIR "/decluster_tree.toml"),
                              "job.toml", QEV_EXAMPLES_DIR));
  ASSERT_EQ(plan.cells.size(), 9u);
  const PrepareJob japan =
      ParsePrepareToml(qev::testing::ReadBytes(QEV_EXAMPLES_DIR "/batch/japan.toml"), "japan.toml",
                       QEV_EXAMPLES_DIR "/batch");
  const std::optional<DeclusterMethod> methods[] = {DeclusterMethod::GardnerKnopoff1974,
                                                    DeclusterMethod::Reasenberg1985, std::nullopt};
  std::vector<std::size_t> events;
  for (std::size_t m = 0; m < 3; ++m) {
    const Cell& text = plan.cells[3 * m];
    const Cell& pairs = plan.cells[3 * m + 1];
    const Cell& automatic = plan.cells[3 * m + 2];
    ASSERT_TRUE(text.catalog) << text.error_message;
    ASSERT_TRUE(automatic.catalog) << automatic.error_message;
    EXPECT_EQ(text.catalog, pairs.catalog);  // one split serves both
    PrepareJob job = japan;
    job.split.completeness = {{2022, 5.0f}, {2023, 5.1f}};
    job.decluster.reset();
    if (methods[m]) job.decluster = DeclusterOptions{*methods[m]};
    const Catalog expected = RunPrepare(job).split.catalog;
    ExpectSameParts(*text.catalog, expected, "given table");
    std::size_t count = 0;
    for (const auto& part : expected.complete) count += part.rows.size();
    events.push_back(count);

    job.split.completeness.clear();
    job.completeness_auto = true;
    const PrepareReport estimated = RunPrepare(job);
    ASSERT_TRUE(estimated.completeness);
    EXPECT_FALSE(estimated.completeness->table.empty());
    EXPECT_NE(automatic.catalog, text.catalog);  // a split of its own
    ExpectSameParts(*automatic.catalog, estimated.split.catalog, "estimated table");
    ASSERT_TRUE(automatic.completeness);
    ASSERT_EQ(automatic.completeness->size(), estimated.completeness->table.size());
    for (std::size_t i = 0; i < estimated.completeness->table.size(); ++i) {
      EXPECT_EQ((*automatic.completeness)[i].first, estimated.completeness->table[i].year);
      EXPECT_EQ((*automatic.completeness)[i].second, estimated.completeness->table[i].threshold);
    }
  }
  // Declustering removes events, each method its own.
  EXPECT_LT(events[0], events[2]);
  EXPECT_LT(events[1], events[2]);
  EXPECT_NE(events[0], events[1]);
}

TEST(LogicTree, SetsCrossInOrderWithProductWeights) {
  const BatchJob job = ReadBatchJob(QEV_BATCH_DATA_DIR "/logic_tree.toml");
  const std::vector<Branch> branches = CrossBranches(job.branch_sets);
  const std::pair<const char*, double> expected[] = {
      {"ct=A;b=1.0;proc=cramer", 0.05},  {"ct=A;b=0.9;proc=cramer", 0.075},
      {"ct=A;b=1.1;proc=cramer", 0.125}, {"ct=B;b=1.0;proc=cramer", 0.15},
      {"ct=B;b=0.9;proc=cramer", 0.225}, {"ct=B;b=1.1;proc=cramer", 0.375}};
  ASSERT_EQ(branches.size(), std::size(expected));
  double total = 0.0;
  for (std::size_t i = 0; i < branches.size(); ++i) {
    EXPECT_EQ(branches[i].name, expected[i].first);
    EXPECT_NEAR(branches[i].weight, expected[i].second, 1e-15);
    total += branches[i].weight;
  }
  EXPECT_NEAR(total, 1.0, 1e-15);
  EXPECT_EQ(CrossBranches({}).front().name, "base");
}

}  // namespace
}  // namespace qev
