// Timing of the estimation engine on the full-capacity catalog.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

#include "estimation/decoded_catalog.h"
#include "estimation/engine_detail.h"
#include "estimation/likelihood.h"
#include "estimation/mmax_estimators.h"
#include "estimation/romberg.h"
#include "estimation/uncertainty.h"
#include "full_capacity.h"
#include "qev/analysis.h"
#include "qev/catalog.h"

namespace {

using namespace qev;

using bench::kBeta;
using bench::kLambda;
using bench::kMmax;
using bench::kMmin;

struct Fixture {
  Catalog catalog = bench::FullCapacityCatalog();
  DecodedCatalog decoded;
  UncertaintyPoint point;

  Fixture() {
    decoded = Decode(catalog, DataKind::ExtremesAndComplete);
    point.Beta = static_cast<float>(kBeta);
    point.Lambda = static_cast<float>(kLambda);
    point.Mmax = static_cast<float>(kMmax);
    point.Mmin = static_cast<float>(kMmin);
    point.Xmax = 7.2f;
    point.SigXmax = 0.2f;
    point.SpanT = 5000.0f;
    point.PriorBeta = 2.302585f;
    point.PriorBetaSD = 0.2302585f;
  }
  LikelihoodData Data() const { return LikelihoodDataAt(decoded, point); }
};

const Fixture& FullCatalog() {
  static const Fixture fixture;
  return fixture;
}

void BM_NegLogLikelihood(benchmark::State& state) {
  const LikelihoodData data = FullCatalog().Data();
  for (auto _ : state) benchmark::DoNotOptimize(NegLogLikelihood(data, 2.05f, 29.0f));
}
BENCHMARK(BM_NegLogLikelihood)->Unit(benchmark::kMicrosecond);

// The objective evaluated term by term, for comparison.
void BM_NegLogLikelihoodPlain(benchmark::State& state) {
  const LikelihoodData data = FullCatalog().Data();
  for (auto _ : state) benchmark::DoNotOptimize(NegLogLikelihoodPlain(data, 2.05f, 29.0f));
}
BENCHMARK(BM_NegLogLikelihoodPlain)->Unit(benchmark::kMicrosecond);

// One whole run: the starting simplex built and minimised.
void BM_Minimisation(benchmark::State& state) {
  const LikelihoodData data = FullCatalog().Data();
  std::int32_t iterations = 0;
  for (auto _ : state) {
    Simplex simplex = BuildStartingSimplex(data, 2.302585f, 10.0f);
    iterations = SimplexMinimize(simplex, data, 0.002f, 99).Iterations;
    benchmark::DoNotOptimize(simplex.Vertex[0][0]);
  }
  state.counters["iterations"] = iterations;
}
BENCHMARK(BM_Minimisation)->Unit(benchmark::kMillisecond);

// MmaxBayes with parameters whose integral runs all 20 Romberg levels.
void BM_MmaxBayesTwentyLevels(benchmark::State& state) {
  const LawState law = MakeLaw(1.0f, 30.0f, 4.0f, 7.5f);
  const float span = 10000.0f;
  std::int64_t calls = 0;
  RombergIntegrateWith(
      [&](float m) {
        ++calls;
        return BayesCdfPower(law, span, m);
      },
      law.Mmin, law.Mmax);
  if (calls != 524289) {
    state.SkipWithError("the integral converged before level 20");
    return;
  }
  for (auto _ : state) benchmark::DoNotOptimize(MmaxBayes(law, 7.2f, span));
  state.counters["integrand_calls"] = static_cast<double>(calls);
}
BENCHMARK(BM_MmaxBayesTwentyLevels)->Unit(benchmark::kMillisecond);

void BM_ParameterUncertainty(benchmark::State& state) {
  DecodedCatalog decoded = FullCatalog().decoded;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ParameterUncertainty(decoded, FullCatalog().point));
  }
}
BENCHMARK(BM_ParameterUncertainty)->Unit(benchmark::kMillisecond);

// The whole analysis as a careful user runs it: the start by program, run
// after run to the settled suggestion, then the uncertainties.
void AnalyzeWith(benchmark::State& state, MmaxProcedure procedure) {
  AnalysisOptions options;
  options.mmin = static_cast<float>(kMmin);
  options.procedure = procedure;
  options.prior_b = 1.0f;
  options.prior_b_sd = 0.1f;
  std::size_t runs = 0;
  for (auto _ : state) {
    const AnalysisResult result = Analyze(FullCatalog().catalog, options);
    runs = result.runs.size();
    benchmark::DoNotOptimize(result.uncertainties.sd_beta);
  }
  state.counters["runs"] = static_cast<double>(runs);
}

void BM_Analyze(benchmark::State& state) { AnalyzeWith(state, MmaxProcedure::Cramer); }
BENCHMARK(BM_Analyze)->Unit(benchmark::kMillisecond);

void BM_AnalyzeBayes(benchmark::State& state) { AnalyzeWith(state, MmaxProcedure::Bayes); }
BENCHMARK(BM_AnalyzeBayes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
