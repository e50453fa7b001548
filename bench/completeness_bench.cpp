// Timing of the completeness estimate: 1,000,000 events over 125 years with a
// known completeness history (Mc 6.0 from 1900, 5.0 from 1964, 4.0 from 1990,
// a soft detection edge), the whole estimate (Mc in 5-year windows with 200
// bootstrap samples each, the Stepp analysis, both tables) by each Mc method,
// and all four in one go. The catalog is generated here with a fixed seed.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

#include "qev/completeness.h"
#include "qev/events.h"

namespace {

using namespace qev;

const EventTable& Catalog() {
  static const EventTable table = [] {
    constexpr std::size_t kEvents = 1000000;
    std::mt19937_64 random(19);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    EventTable t;
    t.Reserve(kEvents);
    while (t.size() < kEvents) {
      const double year = 1900.0 + 125.0 * unit(random);
      const double mc = year < 1964.0 ? 6.0 : year < 1990.0 ? 5.0 : 4.0;
      const double m = 3.0 - std::log10(1.0 - unit(random));
      // Detected with probability Phi((m - (Mc - 0.2)) / 0.1).
      if (unit(random) >= 0.5 * std::erfc(-(m - mc + 0.2) / (0.1 * std::sqrt(2.0)))) continue;
      EventTable::Row row;
      const int whole = static_cast<int>(year);
      const double day = (year - whole) * 365.0;
      row.date = {whole, static_cast<int>(day / 30.5) + 1,
                  static_cast<int>(std::fmod(day, 28.0)) + 1};
      row.magnitude = static_cast<float>(std::round(m * 10.0) / 10.0);
      row.sd = 0.1f;
      t.Append(row);
    }
    return t;
  }();
  return table;
}

void BM_CompletenessByMethod(benchmark::State& state) {
  const EventTable& events = Catalog();
  CompletenessOptions options;
  options.mc.method = static_cast<McMethod>(state.range(0));
  options.mc.bootstrap = 200;
  for (auto _ : state) {
    const CompletenessEstimate e = EstimateCompleteness(events, options, CivilDate{2024, 12, 31});
    benchmark::DoNotOptimize(e.table.data());
  }
  state.SetLabel(std::string(McMethodName(options.mc.method)));
}
BENCHMARK(BM_CompletenessByMethod)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// Every method on the same 1,000,000 events: the target is 10 s of CPU.
void BM_CompletenessEveryMethod(benchmark::State& state) {
  const EventTable& events = Catalog();
  for (auto _ : state) {
    for (int method = 0; method < 4; ++method) {
      CompletenessOptions options;
      options.mc.method = static_cast<McMethod>(method);
      options.mc.bootstrap = 200;
      const CompletenessEstimate e = EstimateCompleteness(events, options, CivilDate{2024, 12, 31});
      benchmark::DoNotOptimize(e.table.data());
    }
  }
}
BENCHMARK(BM_CompletenessEveryMethod)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

}  // namespace
