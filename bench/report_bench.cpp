// What the outputs written at the end cost: the OpenQuake job folder and
// report.html of 50 zones x 24 branches x 100 replicates, against streaming
// the same 121,200 rows without them. Each zone is the example catalog of
// classic files (an extreme part and two complete parts); the records are
// the catalog's own analysis under each branch, the replicates' estimates
// spread about it.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>

#include "batch/record.h"
#include "batch/writer.h"
#include "qev/batch.h"

namespace {

using namespace qev;

constexpr int kZones = 50;
constexpr int kReplicates = 100;

const BatchPlan& ReportPlan() {
  static const BatchPlan plan = [] {
    const std::string dir = QEV_BENCH_EXAMPLES_DIR;
    std::string job = "replicates = " + std::to_string(kReplicates) +
                      "\n[defaults]\nmmin = 3.4\nhazard_spans = [50, 475, 2475]\n";
    for (int z = 0; z < kZones; ++z) {
      job += "[[zone]]\nname = \"z" + std::to_string(z) + "\"\nextreme = \"" + dir +
             "/ext_l1.dat\"\ncomplete = [\"" + dir + "/cp1900_l1.dat\", { file = \"" + dir +
             "/cp1960_l3.dat\", layout = 3 }]\n[zone.openquake]\nlocation = [" +
             std::to_string(z % 10) + ", " + std::to_string(z / 10) + "]\n";
    }
    // 2 x 3 x 4 = 24 branches.
    job +=
        "[[branch_set]]\nname = \"proc\"\n"
        "[[branch_set.alternative]]\nname = \"cramer\"\nweight = 0.6\nprocedure = \"cramer\"\n"
        "[[branch_set.alternative]]\nname = \"bayes\"\nweight = 0.4\nprocedure = \"bayes\"\n"
        "[[branch_set]]\nname = \"b\"\n";
    for (const char* b : {"0.9", "1.0", "1.1"}) {
      job += "[[branch_set.alternative]]\nname = \"" + std::string(b) +
             "\"\nweight = " + (std::string(b) == "1.1" ? "0.333334" : "0.333333") +
             "\nprior_b = " + b + "\n";
    }
    job += "[[branch_set]]\nname = \"sig\"\n";
    for (const char* s : {"0.1", "0.2", "0.3", "0.4"}) {
      job += "[[branch_set.alternative]]\nname = \"" + std::string(s) +
             "\"\nweight = 0.25\nsig_xmax = " + s + "\n";
    }
    return PlanBatch(ParseBatchJob(job, "report-bench.toml", "."));
  }();
  return plan;
}

// Every record of the job: the catalog's analysis of each branch (zone 0),
// the replicates' estimates moved by a few per cent in turn.
const std::vector<TaskRecord>& Records() {
  static const std::vector<TaskRecord> records = [] {
    const BatchPlan& plan = ReportPlan();
    const std::size_t per = plan.tasks_per_cell();
    std::vector<TaskRecord> own;
    for (std::size_t b = 0; b < plan.branches.size(); ++b) {
      own.push_back(MakeRecord(plan, RunTask(plan, b * per)));
    }
    std::vector<TaskRecord> all;
    for (std::size_t i = 0; i < plan.task_count(); ++i) {
      const std::size_t cell = i / per;
      const std::size_t r = i % per;
      TaskRecord record = own[cell % plan.branches.size()];
      record.index = i;
      if (r > 0) {
        const float f = 1.0f + 0.01f * static_cast<float>(static_cast<int>(r % 11) - 5);
        record.estimate.replicate = static_cast<std::int32_t>(r);
        record.estimate.beta *= f;
        record.estimate.b *= f;
        record.estimate.lambda *= 2.0f - f;
        record.estimate.mmax += 0.05f * static_cast<float>(static_cast<int>(r % 7) - 3);
        record.hazard.clear();
      }
      all.push_back(std::move(record));
    }
    return all;
  }();
  return records;
}

// state.range(0): 0 streams the rows only, 1 also writes the OpenQuake
// folder and report.html (Finish).
void BM_Outputs50Zones24Branches100Replicates(benchmark::State& state) {
  const BatchPlan& plan = ReportPlan();
  const std::vector<TaskRecord>& records = Records();
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "qev-report-bench";
  for (auto _ : state) {
    BatchWriter writer(plan, folder);
    for (const TaskRecord& r : records) writer.Add(r);
    if (state.range(0) == 1) writer.Finish();
  }
  if (state.range(0) == 1) {
    state.counters["report_bytes"] =
        static_cast<double>(std::filesystem::file_size(folder / "report.html"));
  }
  std::filesystem::remove_all(folder);
  state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(records.size()));
}
BENCHMARK(BM_Outputs50Zones24Branches100Replicates)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
