// The job file: every refusal names the file, the line and the key; the logic
// tree crosses the branch sets in order with product weights.
#include <gtest/gtest.h>

#include <string>

#include "qev/batch.h"

namespace qev {
namespace {

constexpr const char* kZone = "[[zone]]\nname = \"a\"\ncomplete = [\"cp1900_l1.dat\"]\n";
constexpr const char* kSet =
    "[[branch_set]]\nname = \"b\"\n[[branch_set.alternative]]\nname = \"x\"\nweight = 0.5\n"
    "[[branch_set.alternative]]\nname = \"y\"\n";

struct Refusal {
  const char* what;
  std::string job;
  const char* where;    // "line N" of the job
  const char* message;  // part of the message
};

// Each job ends invalid: read, or (plan) once its zones are looked at.
TEST(BatchJob, BadJobsAreRefusedWithFileLineAndKey) {
  const std::string z = kZone;
  const std::string s = kSet;
  const Refusal refusals[] = {
      {"TOML syntax", "seed = = 1\n" + z, "line 1", "expected TOML ("},
      {"unknown key", "sed = 1\n" + z, "line 1", "\"sed\", expected one of the keys output, seed"},
      {"unknown zone key", z + "procedur = \"cramer\"\n", "line 4", "zone.procedur"},
      {"unknown alternative key", z + s + "weight = 0.5\nprior = 1\n", "line 12",
       "branch_set.alternative.prior"},
      {"wrong type", "replicates = \"ten\"\n" + z, "line 1",
       "for 'replicates' a whole number from 0 to 1000000"},
      {"out of range", z + "sig_xmax = -0.1\n", "line 4",
       "read -0.1, expected for 'zone.sig_xmax' an SD from 0 to 10"},
      {"unknown procedure", z + "procedure = \"crammer\"\n", "line 4",
       "one of cramer, bayes, none"},
      {"weights not summing to 1", z + s + "weight = 0.4\n", "line 4",
       "read weights summing to 0.9, expected weights of branch set b summing to 1"},
      {"no zone", "seed = 3\n", "job.toml", "at least one [[zone]] table"},
      {"zone twice", z + z, "line 4", "zone names unique"},
      {"classic files and a prepare job", z + "prepare = \"p.toml\"\n", "line 1",
       "either classic files"},
      {"separator in a name", z + s + "weight = 0.5\n" + "[[branch_set]]\nname = \"c;d\"\n",
       "line 13", "for 'branch_set.name' a name"},
      {"completeness out of order",
       "[[zone]]\nname = \"a\"\nprepare = \"p.toml\"\ncompleteness = [[1990, 5.0], [1980, 4.5]]\n",
       "line 4", "years increasing"},
      {"completeness of an unknown zone",
       z + s + "weight = 0.5\ncompleteness = { nowhere = [[1990, 5.0]] }\n", "job.toml",
       "a zone of the job in the completeness of b=y"},
      {"alternative without weight", z + s, "line 9", "the key 'weight'"},
      // The plan: settings a zone's tasks cannot do without.
      {"no Mmin for classic files", z, "line 1", "an Mmin ('mmin' in [defaults]"},
      {"completeness for classic files",
       z + "mmin = 3.4\n" + s + "weight = 0.5\ncompleteness = [[1990, 5.0]]\n", "line 1",
       "a completeness table only for zones read from a catalog"},
      {"given start without its values", z + "mmin = 3.4\nstart = \"given\"\n", "line 1",
       "'start_lambda' and 'start_mmax'"},
      {"no procedure and no Mmax list", z + "mmin = 3.4\nprocedure = \"none\"\n", "line 1",
       "a list of 'mmax' values with procedure = \"none\""},
  };
  for (const Refusal& r : refusals) {
    try {
      PlanBatch(ParseBatchJob(r.job, "job.toml", QEV_EXAMPLES_DIR));
      ADD_FAILURE() << r.what << ": accepted";
    } catch (const ReadingError& e) {
      const std::string message = e.what();
      EXPECT_EQ(message.rfind(std::string("job.toml"), 0), 0u) << r.what << ": " << message;
      EXPECT_NE(message.find(r.where), std::string::npos) << r.what << ": " << message;
      EXPECT_NE(message.find(r.message), std::string::npos) << r.what << ": " << message;
    }
  }
}

TEST(BatchJob, SettingsOfLaterLevelsReplaceEarlierOnes) {
  const BatchPlan plan = PlanBatch(
      ParseBatchJob("[defaults]\nmmin = 3.4\nprior_b = 1.1\nsig_xmax = 0.3\n" + std::string(kZone) +
                        "prior_b = 0.9\n" + kSet + "weight = 0.5\nsig_xmax = 0.1\n",
                    "job.toml", QEV_EXAMPLES_DIR));
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

TEST(LogicTree, SetsCrossInOrderWithProductWeights) {
  const BatchJob job =
      ParseBatchJob(std::string(kZone) +
                        "[[branch_set]]\nname = \"ct\"\n"
                        "[[branch_set.alternative]]\nname = \"A\"\nweight = 0.25\n"
                        "[[branch_set.alternative]]\nname = \"B\"\nweight = 0.75\n"
                        "[[branch_set]]\nname = \"b\"\n"
                        "[[branch_set.alternative]]\nname = \"1.0\"\nweight = 0.2\n"
                        "[[branch_set.alternative]]\nname = \"0.9\"\nweight = 0.3\n"
                        "[[branch_set.alternative]]\nname = \"1.1\"\nweight = 0.5\n"
                        "[[branch_set]]\nname = \"proc\"\n"
                        "[[branch_set.alternative]]\nname = \"cramer\"\nweight = 1.0\n",
                    "job.toml", ".");
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
