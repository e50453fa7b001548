// Timing of the estimation engine on a catalog at the classic program's full
// capacity: 500 extreme events and 5 complete parts of 1500 rows, simulated from Beta 2, Lambda 30
// a year above Mmin 4 and Mmax 7.5, with magnitudes given to 0.1 and SDs to
// 0.05 as real catalogs give them.
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
#include "qev/analysis.h"
#include "qev/catalog.h"

namespace {

using namespace qev;

constexpr double kBeta = 2.0;
constexpr double kLambda = 30.0;
constexpr double kMmin = 4.0;
constexpr double kMmax = 7.5;

class Simulator {
 public:
  explicit Simulator(std::uint32_t seed) : engine_(seed) {}
  double Uniform() { return (static_cast<double>(engine_()) + 0.5) / 4294967296.0; }
  double Normal() {
    const double u = Uniform();
    const double v = Uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }
  double Magnitude(double lowest) {
    const double u = Uniform();
    return lowest - std::log(1.0 - u * (1.0 - std::exp(-kBeta * (kMmax - lowest)))) / kBeta;
  }
  // A value given to the step of the catalog, as a file gives it.
  static float Rounded(double value, double step) {
    return static_cast<float>(std::round(value / step) * step);
  }

 private:
  std::mt19937 engine_;
};

// Capacities of the classic program: the largest catalog it reads.
constexpr int kExtremeEvents = 500;
constexpr int kParts = 5;
constexpr int kRows = 1500;

struct Fixture {
  qev::Catalog catalog;
  DecodedCatalog decoded;
  UncertaintyPoint point;

  Fixture() {
    Simulator sim(2024u);
    float end = 2000.0f;
    catalog.complete.resize(kParts);
    for (int p = kParts - 1; p >= 0; --p) {
      CompletePart& part = catalog.complete[static_cast<std::size_t>(p)];
      part.threshold = static_cast<float>(kMmin + 0.3 * p);
      part.sd = 0.1f + 0.05f * static_cast<float>(p);
      // The period in which 1500 events above the threshold are expected.
      const double rate = kLambda * std::exp(-kBeta * (part.threshold - kMmin));
      part.end = end;
      part.start = end - static_cast<float>(std::round(kRows / rate));
      end = part.start;
      for (int j = 0; j < kRows; ++j) {
        const double sd = part.sd + 0.05 * (sim.Uniform() < 0.3 ? 1.0 : 0.0);
        const double apparent = sim.Magnitude(part.threshold) + sd * sim.Normal();
        part.rows.push_back({Simulator::Rounded(apparent, 0.1), Simulator::Rounded(sd, 0.05), 1});
      }
    }
    ExtremePart extreme;
    extreme.start = end - 10.0f * kExtremeEvents;
    extreme.end = end;
    for (int k = 0; k < kExtremeEvents; ++k) {
      // The largest of about 300 events of a 10-year interval.
      double largest = kMmin;
      for (int i = 0; i < 300; ++i) largest = std::fmax(largest, sim.Magnitude(kMmin));
      const double sd = sim.Uniform() < 0.5 ? 0.2 : 0.3;
      const double apparent = largest + sd * sim.Normal();
      extreme.events.push_back({extreme.start + 10.0f * static_cast<float>(k + 1),
                                Simulator::Rounded(apparent, 0.1), Simulator::Rounded(sd, 0.05)});
    }
    catalog.extreme = extreme;
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
  LikelihoodData Data() const {
    LikelihoodData data;
    data.catalog = &decoded;
    data.Mmin = point.Mmin;
    data.Mmax = point.Mmax;
    data.PriorBeta = point.PriorBeta;
    data.PriorBetaSD = point.PriorBetaSD;
    return data;
  }
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
