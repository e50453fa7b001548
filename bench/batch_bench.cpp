// Batch throughput on a catalog at the classic program's full capacity (500
// extreme events, 5 complete parts of 1500 rows, drawn from Beta 2, Lambda 30
// above Mmin 4 and Mmax 7.5 as bench/engine_bench.cpp draws it): whole tasks
// (Cramer, start by program, Mmax to convergence, uncertainties, hazard
// table) on one thread, and the pool on 1 and 2 threads.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <random>

#include "qev/batch.h"

namespace {

using namespace qev;

qev::Catalog FullCapacityCatalog() {
  constexpr double kBeta = 2.0, kLambda = 30.0, kMmin = 4.0, kMmax = 7.5;
  std::mt19937 engine(2024u);
  auto uniform = [&] { return (static_cast<double>(engine()) + 0.5) / 4294967296.0; };
  auto normal = [&] {
    const double u = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * uniform());
  };
  auto magnitude = [&](double lowest) {
    return lowest - std::log(1.0 - uniform() * (1.0 - std::exp(-kBeta * (kMmax - lowest)))) / kBeta;
  };
  auto rounded = [](double v, double step) {
    return static_cast<float>(std::round(v / step) * step);
  };
  Catalog catalog;
  float end = 2000.0f;
  catalog.complete.resize(5);
  for (int p = 4; p >= 0; --p) {
    CompletePart& part = catalog.complete[static_cast<std::size_t>(p)];
    part.threshold = static_cast<float>(kMmin + 0.3 * p);
    part.sd = 0.1f + 0.05f * static_cast<float>(p);
    const double rate = kLambda * std::exp(-kBeta * (part.threshold - kMmin));
    part.end = end;
    part.start = end - static_cast<float>(std::round(1500 / rate));
    end = part.start;
    for (int j = 0; j < 1500; ++j) {
      const double sd = part.sd + 0.05 * (uniform() < 0.3 ? 1.0 : 0.0);
      part.rows.push_back(
          {rounded(magnitude(part.threshold) + sd * normal(), 0.1), rounded(sd, 0.05), 1});
    }
  }
  ExtremePart extreme;
  extreme.start = end - 10.0f * 500;
  extreme.end = end;
  for (int k = 0; k < 500; ++k) {
    double largest = kMmin;
    for (int i = 0; i < 300; ++i) largest = std::fmax(largest, magnitude(kMmin));
    const double sd = uniform() < 0.5 ? 0.2 : 0.3;
    extreme.events.push_back({extreme.start + 10.0f * static_cast<float>(k + 1),
                              rounded(largest + sd * normal(), 0.1), rounded(sd, 0.05)});
  }
  catalog.extreme = extreme;
  return catalog;
}

// One zone, one branch, `replicates` bootstrap resamples.
const BatchPlan& Plan() {
  static const BatchPlan plan = [] {
    BatchPlan p;
    p.job.zones.emplace_back().name = "full";
    p.job.replicates = 1000000;
    p.branches = CrossBranches({});
    Cell cell;
    cell.catalog = std::make_shared<Catalog>(FullCapacityCatalog());
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

}  // namespace
