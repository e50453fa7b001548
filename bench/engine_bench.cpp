// Timing of the estimation engine on a catalog at full capacity: 500 extreme
// events and 5 complete parts of 1500 rows, simulated from Beta 2, Lambda 30
// a year above Mmin 4 and Mmax 7.5, with magnitudes given to 0.1 and SDs to
// 0.05 as real catalogs give them.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>

#include "catalog/catalog.h"
#include "estimation/engine_detail.h"
#include "estimation/likelihood.h"
#include "estimation/mmax_estimators.h"
#include "estimation/romberg.h"
#include "estimation/uncertainty.h"
#include "model/records.h"

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
  // A value given to the step of the catalog, as integer hundredths.
  static std::int32_t Rounded(double value, double step) {
    return static_cast<std::int32_t>(std::lround(std::round(value / step) * step * 100.0));
  }

 private:
  std::mt19937 engine_;
};

struct Fixture {
  std::unique_ptr<Catalog> catalog = std::make_unique<Catalog>();
  SessionSettings settings;
  ModelParameters model;

  Fixture() {
    Simulator sim(2024u);
    catalog->PartCount = ncpx;
    float end = 2000.0f;
    for (int p = 0; p < ncpx; ++p) {
      CompletePart& part = catalog->Parts[p];
      part.Threshold = static_cast<float>(kMmin + 0.3 * p);
      part.Sd = 0.1f + 0.05f * static_cast<float>(p);
      // The period in which 1500 events above the threshold are expected.
      const double rate = kLambda * std::exp(-kBeta * (part.Threshold - kMmin));
      part.End = end;
      part.Start = end - static_cast<float>(std::round(nfx / rate));
      end = part.Start;
      for (int j = 0; j < nfx; ++j) {
        const double sd = part.Sd + 0.05 * (sim.Uniform() < 0.3 ? 1.0 : 0.0);
        const double apparent = sim.Magnitude(part.Threshold) + sd * sim.Normal();
        part.Rows[j] = {Simulator::Rounded(apparent, 0.1), Simulator::Rounded(sd, 0.05), 1};
      }
      part.RowCount = static_cast<float>(nfx);
      part.EventCount = static_cast<float>(nfx);
    }
    ExtremeCatalog& extreme = catalog->Extreme;
    for (int k = 0; k < nex; ++k) {
      // The largest of about 300 events of a 10-year interval.
      double largest = kMmin;
      for (int i = 0; i < 300; ++i) largest = std::fmax(largest, sim.Magnitude(kMmin));
      const double sd = sim.Uniform() < 0.5 ? 0.2 : 0.3;
      const double apparent = largest + sd * sim.Normal();
      extreme.Events[k] = {Simulator::Rounded(apparent, 0.1), Simulator::Rounded(sd, 0.05), 10000};
      extreme.SmallestMagnitude =
          std::fmin(extreme.SmallestMagnitude, static_cast<float>(apparent));
    }
    extreme.EventCount = static_cast<float>(nex);
    settings.DataKind = 3;
    settings.Mmin = static_cast<float>(kMmin);
    settings.PriorBeta = 2.302585f;
    settings.PriorBetaSD = 0.2302585f;
    settings.SpanT = 5000.0f;
    settings.Xmax = 7.2f;
    settings.SigXmax = 0.2f;
    model.Mmax = static_cast<float>(kMmax);
    model.Beta = static_cast<float>(kBeta);
    model.Lambda = static_cast<float>(kLambda);
  }
  LikelihoodData Data() const { return MakeLikelihoodData(*catalog, settings, model); }
};

const Fixture& Catalog() {
  static const Fixture fixture;
  return fixture;
}

void BM_NegLogLikelihood(benchmark::State& state) {
  const LikelihoodData data = Catalog().Data();
  for (auto _ : state) benchmark::DoNotOptimize(NegLogLikelihood(data, 2.05f, 29.0f));
}
BENCHMARK(BM_NegLogLikelihood)->Unit(benchmark::kMicrosecond);

// The objective evaluated term by term, for comparison.
void BM_NegLogLikelihoodPlain(benchmark::State& state) {
  const LikelihoodData data = Catalog().Data();
  for (auto _ : state) benchmark::DoNotOptimize(NegLogLikelihoodPlain(data, 2.05f, 29.0f));
}
BENCHMARK(BM_NegLogLikelihoodPlain)->Unit(benchmark::kMicrosecond);

// One whole run: the starting simplex built and minimised.
void BM_Minimisation(benchmark::State& state) {
  const LikelihoodData data = Catalog().Data();
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
  Fixture fixture;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        ParameterUncertainty(*fixture.catalog, fixture.settings, fixture.model));
  }
}
BENCHMARK(BM_ParameterUncertainty)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
