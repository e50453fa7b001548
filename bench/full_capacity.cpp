#include "full_capacity.h"

#include <cmath>
#include <cstdint>
#include <random>

namespace qev::bench {

namespace {

// Capacities of the classic program: the largest catalog it reads.
constexpr int kExtremeEvents = 500;
constexpr int kParts = 5;
constexpr int kRows = 1500;

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

}  // namespace

Catalog FullCapacityCatalog() {
  Simulator sim(2024u);
  Catalog catalog;
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
      const double magnitude = sim.Magnitude(part.threshold);
      const double apparent = magnitude + sd * sim.Normal();
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
  return catalog;
}

}  // namespace qev::bench
