// The library on catalog files named by the environment, so that another
// caller (bench/python_bench.py, timing the Python package) can be compared
// with it on the same input:
//   QEV_BENCH_CLASSIC  a folder with ext.dat and c1.dat... (layout 1) and
//   QEV_BENCH_MMIN     the threshold: BM_AnalyzeClassicFiles times Analyze
//                      (Cramer, start by program) on that catalog;
//   QEV_BENCH_CSV      a CSV catalog: BM_ReadCsvEvents times ReadCsvFile.
// Without them the benchmarks report that they were skipped.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "qev/analysis.h"
#include "qev/classic_files.h"
#if __has_include("qev/events.h")
#include "qev/events.h"
#endif

namespace {

void BM_AnalyzeClassicFiles(benchmark::State& state) {
  const char* folder = std::getenv("QEV_BENCH_CLASSIC");
  const char* mmin = std::getenv("QEV_BENCH_MMIN");
  if (folder == nullptr || mmin == nullptr) {
    state.SkipWithError("QEV_BENCH_CLASSIC and QEV_BENCH_MMIN not set");
    return;
  }
  const std::filesystem::path dir(folder);
  qev::Catalog catalog;
  {
    std::ifstream in(dir / "ext.dat");
    catalog.extreme =
        qev::ReadExtremeFile(in, (dir / "ext.dat").string(), qev::ExtremeLayout::PerEventSd).part;
  }
  for (int k = 1; std::filesystem::exists(dir / ("c" + std::to_string(k) + ".dat")); ++k) {
    const auto path = dir / ("c" + std::to_string(k) + ".dat");
    std::ifstream in(path);
    catalog.complete.push_back(
        qev::ReadCompleteFile(in, path.string(), qev::CompleteLayout::PerEventSd).part);
  }
  qev::AnalysisOptions options;
  options.mmin = std::stof(mmin);
  for (auto _ : state) benchmark::DoNotOptimize(qev::Analyze(catalog, options));
}
BENCHMARK(BM_AnalyzeClassicFiles)->Unit(benchmark::kMillisecond);

#if __has_include("qev/events.h")
void BM_ReadCsvEvents(benchmark::State& state) {
  const char* path = std::getenv("QEV_BENCH_CSV");
  if (path == nullptr) {
    state.SkipWithError("QEV_BENCH_CSV not set");
    return;
  }
  qev::ReadOptions options;
  options.default_sd = 0.1f;
  for (auto _ : state) benchmark::DoNotOptimize(qev::ReadCsvFile(path, options));
}
BENCHMARK(BM_ReadCsvEvents)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
