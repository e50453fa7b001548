// Weichert's (1980) estimator for bins observed over unequal periods.
#include "qev/weichert.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "qev/errors.h"

namespace qev {

namespace {

// Magnitudes and thresholds agree to half a hundredth (as in the split).
constexpr double kTolerance = 0.005;
// Beta is looked for in this range (b from about -22 to 43).
constexpr double kLowestBeta = -50.0;
constexpr double kHighestBeta = 100.0;
constexpr int kBisections = 200;

struct Bins {
  double edge = 0.0;
  double width = 0.1;
  std::vector<double> time;   // years of observation
  std::vector<double> count;  // events
  double centre(std::size_t i) const { return edge + (static_cast<double>(i) + 0.5) * width; }
};

Bins Fill(const Catalog& catalog, double width) {
  Bins bins;
  bins.width = width;
  bins.edge = catalog.complete.front().threshold;
  for (const CompletePart& part : catalog.complete) {
    bins.edge = std::min(bins.edge, static_cast<double>(part.threshold));
  }
  for (const CompletePart& part : catalog.complete) {
    // The first bin whose lower edge is at or above the part's threshold.
    const auto first = static_cast<std::size_t>(
        std::max(0.0, std::ceil((part.threshold - bins.edge) / width - kTolerance / width)));
    for (const MagnitudeRow& row : part.rows) {
      const double k = std::floor((row.magnitude - bins.edge) / width + kTolerance / width);
      if (k < static_cast<double>(first) || row.frequency <= 0) continue;
      const auto bin = static_cast<std::size_t>(k);
      if (bin >= bins.count.size()) bins.count.resize(bin + 1, 0.0);
      bins.count[bin] += row.frequency;
    }
  }
  bins.time.assign(bins.count.size(), 0.0);
  for (const CompletePart& part : catalog.complete) {
    const double years = static_cast<double>(part.end) - static_cast<double>(part.start);
    for (std::size_t i = 0; i < bins.time.size(); ++i) {
      if (bins.edge + static_cast<double>(i) * width >= part.threshold - kTolerance) {
        bins.time[i] += years;
      }
    }
  }
  return bins;
}

// Sums of t m^k exp(-Beta (m - edge)) for k = 0, 1, 2 (the shift keeps the
// exponentials in range and cancels in every ratio).
struct Moments {
  double a0 = 0.0, a1 = 0.0, a2 = 0.0, e = 0.0;  // e: sum of exp(-Beta (m - edge))
};

Moments MomentsAt(const Bins& bins, double beta) {
  Moments s;
  for (std::size_t i = 0; i < bins.time.size(); ++i) {
    const double m = bins.centre(i) - bins.edge;
    const double e = std::exp(-beta * m);
    s.a0 += bins.time[i] * e;
    s.a1 += bins.time[i] * m * e;
    s.a2 += bins.time[i] * m * m * e;
    s.e += e;
  }
  return s;
}

}  // namespace

WeichertResult Weichert(const Catalog& catalog, const WeichertOptions& options) {
  if (!(options.bin_width > 0.0f) || !std::isfinite(options.bin_width)) {
    throw InvalidOptions("the bin width " + std::to_string(options.bin_width) +
                         " of the Weichert estimate is not a positive number");
  }
  if (catalog.complete.empty()) throw NoEstimate("the Weichert estimate needs complete parts");
  const Bins bins = Fill(catalog, options.bin_width);
  double events = 0.0;
  double sum_m = 0.0;
  std::size_t occupied = 0;
  for (std::size_t i = 0; i < bins.count.size(); ++i) {
    events += bins.count[i];
    sum_m += bins.count[i] * (bins.centre(i) - bins.edge);
    occupied += bins.count[i] > 0.0;
  }
  if (events == 0.0) throw NoEstimate("the complete parts hold no events for a Weichert estimate");
  if (occupied < 2) {
    throw NoEstimate(
        "the events of the complete parts lie in one magnitude bin: no Weichert b-value");
  }
  for (double t : bins.time) {
    if (!(t > 0.0)) throw NoEstimate("a magnitude bin has no observation time");
  }
  // The likelihood equation sum t m e / sum t e = mean m falls with Beta.
  const double mean = sum_m / events;
  double low = kLowestBeta;
  double high = kHighestBeta;
  for (int k = 0; k < kBisections && high - low > 1e-12; ++k) {
    const double mid = 0.5 * (low + high);
    const Moments s = MomentsAt(bins, mid);
    (s.a1 / s.a0 > mean ? low : high) = mid;
  }
  WeichertResult r;
  r.beta = 0.5 * (low + high);
  const Moments s = MomentsAt(bins, r.beta);
  const double spread = s.a0 * s.a2 - s.a1 * s.a1;
  r.sd_beta = std::sqrt(s.a0 * s.a0 / (events * spread));
  r.b = r.beta * std::log10(std::exp(1.0));
  r.sd_b = r.sd_beta * std::log10(std::exp(1.0));
  r.lowest_edge = bins.edge;
  const double at_edge = events * s.e / s.a0;
  const double down = bins.edge - static_cast<double>(options.mmin);
  r.rate = at_edge * std::exp(r.beta * down);
  r.sd_rate = r.rate * std::sqrt(1.0 / events + down * down * r.sd_beta * r.sd_beta);
  r.events = static_cast<std::size_t>(events);
  r.bins = bins.count.size();
  return r;
}

}  // namespace qev
