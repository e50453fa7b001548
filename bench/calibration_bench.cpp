// Timing of the calibration study (qev-calibrate) and of the parametric-
// bootstrap intervals on the design of qev-synth's manual example.
#include <benchmark/benchmark.h>

#include <sstream>

#include "companion/calibration_study.h"
#include "companion/synth_command.h"
#include "qev/analysis.h"
#include "qev/calibration.h"
#include "qev/classic_files.h"

namespace {

using namespace qev;
using namespace qev::companion;

SynthPlan ExampleDesign() {
  return ParseSynthCommand({"--b", "0.9", "--lambda", "10", "--mmin", "4", "--mmax", "7",
                            "--extreme", "1600:1899,window=3,threshold=4.6,sd=0.3", "--complete",
                            "1900:1959,threshold=5,sd=0.2", "--complete",
                            "1960:1999,threshold=4.5,sd=0.1"})
      .Plan;
}

AnalysisOptions ExampleAnalysis() {
  AnalysisOptions options;
  options.mmin = 4.0f;
  options.sig_xmax = 0.3f;
  return options;
}

// Catalogs of the study per second: the items processed are catalogs, each
// analysed with Cramer's procedure; the second argument is the threads.
void BM_CalibrationStudy(benchmark::State& state) {
  StudyOptions study;
  study.Design = ExampleDesign();
  study.Catalogs = static_cast<std::int32_t>(state.range(0));
  study.Threads = static_cast<std::int32_t>(state.range(1));
  study.Analysis = ExampleAnalysis();
  study.Procedures = {"cramer"};
  for (auto _ : state) benchmark::DoNotOptimize(RunStudy(study));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_CalibrationStudy)->Args({200, 1})->Args({200, 2})->Unit(benchmark::kMillisecond);

// One set of bootstrap intervals (200 replicates) for one catalog of the
// design; the arguments are the threads and the construction (0 inverted,
// with its slopes' stage; 2 basic, as studentized, without).
void BM_BootstrapIntervals(benchmark::State& state) {
  SynthPlan plan = ExampleDesign();
  const GeneratedCatalog generated = GenerateCatalog(plan);
  Catalog catalog;
  std::istringstream extreme(generated.Extreme->Text);
  catalog.extreme = ReadExtremeFile(extreme, "extreme.dat", ExtremeLayout::PerEventSd).part;
  for (const GeneratedPart& part : generated.Complete) {
    std::istringstream text(part.Text);
    catalog.complete.push_back(
        ReadCompleteFile(text, part.FileName, CompleteLayout::CommonSd).part);
  }
  const AnalysisOptions options = ExampleAnalysis();
  const AnalysisResult fit = Analyze(catalog, options);
  BootstrapOptions bootstrap;
  bootstrap.replicates = 200;
  bootstrap.threads = static_cast<std::int32_t>(state.range(0));
  bootstrap.method = static_cast<BootstrapMethod>(state.range(1));
  for (auto _ : state)
    benchmark::DoNotOptimize(BootstrapIntervals(catalog, options, fit, bootstrap));
  state.SetItemsProcessed(state.iterations() * bootstrap.replicates);
}
BENCHMARK(BM_BootstrapIntervals)
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({1, 2})
    ->Unit(benchmark::kMillisecond);

}  // namespace
