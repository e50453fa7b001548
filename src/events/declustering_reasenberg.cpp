// Reasenberg (1985) cluster linking. Events are taken in time order; event i,
// alone or in a cluster whose largest event b has magnitude Mb, looks ahead
// tau days (tau_min alone, else the Omori-law time of ReasenbergLookAheadDays
// at t_i - t_b) and links every later event j of that time into its cluster
// that lies within min(rfact r0(Mi), crust_km) of i or, in a cluster,
// within min(rfact r0(Mb), crust_km) of b; r0 is the source radius and the
// distance hypocentral where both depths are known. Linked clusters merge;
// each cluster is replaced by its largest event (the earliest of equals).
#include <algorithm>
#include <cmath>
#include <numeric>

#include "events/declustering_detail.h"

namespace qev {

double ReasenbergSourceRadiusKm(double magnitude) {
  // Kanamori and Anderson (1975): a circular crack with a stress drop of
  // 30 bar, log M0 = 1.2 M + 17.0 (dyne cm), gives r = 0.011 * 10^(0.4 M) km.
  return 0.011 * std::pow(10.0, 0.4 * magnitude);
}

double ReasenbergLookAheadDays(const ReasenbergParameters& p, double xmeff, double largest,
                               double days_after_largest) {
  // The Omori-law rate of the cluster's events above the effective cut-off at
  // t days after its largest event is 10^(2 (dM - 1) / 3) / t a day; tau is
  // the time in which the next one is seen with probability p1.
  const double dm = (1.0 - p.xk) * largest - xmeff;
  const double tau = -std::log(1.0 - p.p1) * std::max(days_after_largest, 0.0) /
                     std::pow(10.0, 2.0 * (dm - 1.0) / 3.0);
  return std::clamp(tau, p.tau_min_days, p.tau_max_days);
}

namespace declustering_detail {

namespace {

// Clusters as disjoint sets: each root knows its size and largest event.
class Clusters {
 public:
  explicit Clusters(std::size_t n) : parent_(n), largest_(n), size_(n, 1) {
    std::iota(parent_.begin(), parent_.end(), std::size_t{0});
    std::iota(largest_.begin(), largest_.end(), std::size_t{0});
  }
  std::size_t Find(std::size_t i) {
    while (parent_[i] != i) {
      parent_[i] = parent_[parent_[i]];
      i = parent_[i];
    }
    return i;
  }
  // `larger(x, y)`: whether event x outranks event y as the largest.
  template <typename Larger>
  void Join(std::size_t a, std::size_t b, const Larger& larger) {
    a = Find(a);
    b = Find(b);
    if (a == b) return;
    if (size_[a] < size_[b]) std::swap(a, b);
    parent_[b] = a;
    size_[a] += size_[b];
    if (larger(largest_[b], largest_[a])) largest_[a] = largest_[b];
  }
  std::size_t size(std::size_t root) const { return size_[root]; }
  std::size_t largest(std::size_t root) const { return largest_[root]; }

 private:
  std::vector<std::size_t> parent_;
  std::vector<std::size_t> largest_;
  std::vector<std::size_t> size_;
};

// The effective magnitude cut-off: given, else the catalog's completeness
// magnitude, else the lowest magnitude of the table.
double EffectiveCutOff(const EventTable& events, const DeclusterOptions& options) {
  if (options.reasenberg.xmeff) return *options.reasenberg.xmeff;
  if (options.completeness_magnitude) return *options.completeness_magnitude;
  const auto lowest = std::min_element(events.magnitude.begin(), events.magnitude.end());
  return lowest == events.magnitude.end() ? 0.0 : static_cast<double>(*lowest);
}

double Distance(const EventTable& events, std::size_t a, std::size_t b) {
  const double surface =
      DistanceKm(events.longitude[a], events.latitude[a], events.longitude[b], events.latitude[b]);
  const double dz = static_cast<double>(events.depth[a]) - static_cast<double>(events.depth[b]);
  return std::isfinite(dz) ? std::hypot(surface, dz) : surface;
}

// The linking, with `near(row, km, t_first, t_last, visit)` calling visit(j)
// for at least every event within km of the row's epicentre in the time span.
template <typename Near>
DeclusterResult Link(const EventTable& events, const DeclusterOptions& options, Near&& near) {
  Validate(options);
  const ReasenbergParameters& p = options.reasenberg;
  const std::size_t n = events.size();
  const std::vector<double> days = DaysOf(events);
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return days[a] < days[b]; });
  std::vector<std::size_t> rank(n);
  for (std::size_t k = 0; k < n; ++k) rank[order[k]] = k;
  const double xmeff = EffectiveCutOff(events, options);
  const auto zone = [&](std::size_t row) {
    return std::min(p.rfact * ReasenbergSourceRadiusKm(events.magnitude[row]), p.crust_km);
  };
  const auto larger = [&](std::size_t a, std::size_t b) {
    if (events.magnitude[a] != events.magnitude[b])
      return events.magnitude[a] > events.magnitude[b];
    return rank[a] < rank[b];
  };
  Clusters clusters(n);

  for (std::size_t i : order) {
    const std::size_t root = clusters.Find(i);
    const bool clustered = clusters.size(root) > 1;
    const std::size_t b = clusters.largest(root);
    const double tau =
        clustered ? ReasenbergLookAheadDays(p, xmeff, events.magnitude[b], days[i] - days[b])
                  : p.tau_min_days;
    const auto link_within = [&](std::size_t centre, double km) {
      near(centre, km, days[i], days[i] + tau, [&](std::size_t j) {
        if (rank[j] <= rank[i] || clusters.Find(j) == clusters.Find(i)) return;
        if (Distance(events, centre, j) <= km) clusters.Join(i, j, larger);
      });
    };
    link_within(i, zone(i));
    if (clustered && b != i) link_within(b, zone(b));
  }

  std::vector<std::size_t> mainshock_of(n);
  for (std::size_t i = 0; i < n; ++i) mainshock_of[i] = clusters.largest(clusters.Find(i));
  return Finish(days, std::move(mainshock_of));
}

}  // namespace

DeclusterResult ReasenbergDecluster(const EventTable& events, const DeclusterOptions& options) {
  Validate(options);
  const std::vector<double> days = DaysOf(events);
  double largest_km = 0.0;
  for (float m : events.magnitude) {
    largest_km = std::max(largest_km, options.reasenberg.rfact * ReasenbergSourceRadiusKm(m));
  }
  const Grid grid(events, days, std::min(largest_km, options.reasenberg.crust_km));
  return Link(events, options,
              [&](std::size_t row, double km, double t_first, double t_last, auto&& visit) {
                grid.ForEachNear(events.longitude[row], events.latitude[row], km, t_first, t_last,
                                 visit);
              });
}

DeclusterResult ReasenbergDeclusterAllPairs(const EventTable& events,
                                            const DeclusterOptions& options) {
  const std::vector<double> days = DaysOf(events);
  return Link(events, options,
              [&](std::size_t, double, double t_first, double t_last, auto&& visit) {
                for (std::size_t j = 0; j < events.size(); ++j) {
                  if (days[j] >= t_first && days[j] <= t_last) visit(j);
                }
              });
}

}  // namespace declustering_detail

}  // namespace qev
