// Batch throughput on the full-capacity catalog: whole tasks
// (Cramer, start by program, Mmax to convergence, uncertainties, hazard
// table) on one thread, and the pool on 1 and 2 threads; what the writer and
// the ranks do with each record (its rows formatted, its bytes packed and
// unpacked).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "batch/pool.h"
#include "batch/record.h"
#include "full_capacity.h"
#include "qev/batch.h"

namespace {

using namespace qev;

// One zone, one branch, `replicates` bootstrap resamples.
const BatchPlan& Plan() {
  static const BatchPlan plan = [] {
    BatchPlan p;
    p.job.zones.emplace_back().name = "full";
    p.job.replicates = 1000000;
    p.branches = CrossBranches({});
    Cell cell;
    cell.catalog = std::make_shared<Catalog>(bench::FullCapacityCatalog());
    cell.options.mmin = 4.0f;
    cell.options.procedure = MmaxProcedure::Cramer;
    cell.hazard_spans = {50.0f, 100.0f, 1000.0f};
    p.cells.push_back(cell);
    return p;
  }();
  return plan;
}

// The catalog itself (replicate 0), with its hazard table, on one thread.
void BM_TaskOnCatalog(benchmark::State& state) {
  for (auto _ : state) {
    TaskResult r = RunTask(Plan(), 0);
    if (!r.ok()) state.SkipWithError(r.message.c_str());
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TaskOnCatalog)->Unit(benchmark::kMillisecond);

// Bootstrap resamples and their analyses, written as records, on one thread.
void BM_TaskOnResample(benchmark::State& state) {
  std::size_t replicate = 1;
  for (auto _ : state) {
    TaskRecord r = MakeRecord(Plan(), RunTask(Plan(), replicate++));
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TaskOnResample)->Unit(benchmark::kMillisecond);

// The ordered pool over 200 resamples on state.range(0) threads.
void BM_Pool(benchmark::State& state) {
  const auto threads = static_cast<unsigned>(state.range(0));
  constexpr std::size_t kTasks = 200;
  for (auto _ : state) {
    std::vector<std::size_t> indices;
    for (std::size_t i = 1; i <= kTasks; ++i) indices.push_back(i);
    OrderedPool pool(indices, threads, ResolveWindow(0, threads),
                     [](std::size_t i) { return MakeRecord(Plan(), RunTask(Plan(), i)); });
    while (auto record = pool.Next()) benchmark::DoNotOptimize(*record);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kTasks));
}
BENCHMARK(BM_Pool)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// The rows of one task's record (results.csv, results.jsonl, hazard.csv), as
// the writer formats them for every task: a resample's record, and the
// catalog's with its hazard table (state.range(0) = replicate).
void BM_RecordRows(benchmark::State& state) {
  const TaskRecord record = MakeRecord(Plan(), RunTask(Plan(), state.range(0)));
  std::size_t bytes = 0;
  for (auto _ : state) {
    std::string csv = ResultsCsvRow(Plan(), record);
    std::string json = ResultsJsonLine(Plan(), record);
    std::string hazard = HazardCsvRows(Plan(), record);
    bytes += csv.size() + json.size() + hazard.size();
    benchmark::DoNotOptimize(csv);
    benchmark::DoNotOptimize(json);
    benchmark::DoNotOptimize(hazard);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_RecordRows)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

// A record packed on one rank and unpacked on rank 0.
void BM_RecordBytes(benchmark::State& state) {
  const TaskRecord record = MakeRecord(Plan(), RunTask(Plan(), 1));
  for (auto _ : state) {
    TaskRecord back = UnpackRecord(PackRecord(record));
    benchmark::DoNotOptimize(back);
  }
}
BENCHMARK(BM_RecordBytes)->Unit(benchmark::kMicrosecond);

}  // namespace
