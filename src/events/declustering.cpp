// Window declustering: the indexed search and the all-pairs reference share
// the processing order, the window rule and the distance, so that they claim
// the same events.
#include "qev/declustering.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>

namespace qev {

namespace {

constexpr double kEarthRadiusKm = 6371.0;
constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr double kKmPerDegree = kEarthRadiusKm * kDegree;
constexpr std::size_t kUnclaimed = static_cast<std::size_t>(-1);

// Cell size of the grid, in degrees: about the largest distance window, but
// at least kSmallestCell so that the grid stays small.
constexpr double kSmallestCell = 0.25;
constexpr double kLargestCell = 30.0;

struct Prepared {
  std::vector<double> days;
  std::vector<std::size_t> by_size;  // processing order: largest first, then earliest
  std::vector<WindowSize> windows;   // per row
};

Prepared Prepare(const EventTable& events, const DeclusterOptions& options) {
  if (!(options.foreshock_fraction >= 0.0 && options.foreshock_fraction <= 1.0)) {
    throw Error("the foreshock window must be a fraction 0..1 of the aftershock window, not " +
                std::to_string(options.foreshock_fraction));
  }
  Prepared p;
  const std::size_t n = events.size();
  p.days.resize(n);
  p.windows.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    p.days[i] = events.days(i);
    p.windows[i] = WindowOf(options.window, events.magnitude[i]);
  }
  p.by_size.resize(n);
  std::iota(p.by_size.begin(), p.by_size.end(), std::size_t{0});
  std::sort(p.by_size.begin(), p.by_size.end(), [&](std::size_t a, std::size_t b) {
    if (events.magnitude[a] != events.magnitude[b])
      return events.magnitude[a] > events.magnitude[b];
    if (p.days[a] != p.days[b]) return p.days[a] < p.days[b];
    return a < b;
  });
  return p;
}

// Whether event e lies in the time window of mainshock m.
inline bool InTimeWindow(double t_main, double t_event, double days, double fraction) {
  const double dt = t_event - t_main;
  return dt >= 0.0 ? dt <= days : -dt <= fraction * days;
}

DeclusterResult Finish(const EventTable& events, const Prepared& p,
                       std::vector<std::size_t>&& mainshock_of) {
  DeclusterResult result;
  std::vector<std::size_t> claimed(events.size(), 0);
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (mainshock_of[i] == i) {
      result.mainshocks.push_back(i);
    } else {
      ++claimed[mainshock_of[i]];
    }
  }
  std::stable_sort(result.mainshocks.begin(), result.mainshocks.end(),
                   [&](std::size_t a, std::size_t b) { return p.days[a] < p.days[b]; });
  for (std::size_t m : result.mainshocks) result.removed.push_back(claimed[m]);
  result.mainshock_of = std::move(mainshock_of);
  return result;
}

// The events of a grid of cells, each cell's events in time order.
class Grid {
 public:
  Grid(const EventTable& events, const std::vector<double>& days, double largest_km) {
    cell_ = std::clamp(largest_km / kKmPerDegree, kSmallestCell, kLargestCell);
    rows_ = static_cast<std::size_t>(std::ceil(180.0 / cell_));
    columns_ = static_cast<std::size_t>(std::ceil(360.0 / cell_));
    const std::size_t n = events.size();
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return days[a] < days[b]; });
    std::vector<std::uint32_t> cell_of(n);
    start_.assign(rows_ * columns_ + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
      cell_of[i] = static_cast<std::uint32_t>(Row(events.latitude[i]) * columns_ +
                                              Column(events.longitude[i]));
      ++start_[cell_of[i] + 1];
    }
    std::partial_sum(start_.begin(), start_.end(), start_.begin());
    std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
    members_.resize(n);
    member_days_.resize(n);
    for (std::size_t i : order) {
      const std::size_t slot = next[cell_of[i]]++;
      members_[slot] = i;
      member_days_[slot] = days[i];
    }
  }

  std::size_t Row(double latitude) const {
    const auto r = static_cast<std::ptrdiff_t>(std::floor((latitude + 90.0) / cell_));
    return static_cast<std::size_t>(
        std::clamp<std::ptrdiff_t>(r, 0, static_cast<std::ptrdiff_t>(rows_) - 1));
  }
  std::size_t Column(double longitude) const {
    double x = std::fmod(longitude + 180.0, 360.0);
    if (x < 0.0) x += 360.0;
    const auto c = static_cast<std::size_t>(std::floor(x / cell_));
    return std::min(c, columns_ - 1);
  }

  // Calls visit(row) for every event in the cells within `km` of the point
  // whose time lies in [t_first, t_last].
  template <typename Visit>
  void ForEachNear(double longitude, double latitude, double km, double t_first, double t_last,
                   Visit&& visit) const {
    const double dlat = km / kKmPerDegree;
    const std::size_t row_first = Row(latitude - dlat);
    const std::size_t row_last = Row(latitude + dlat);
    // Width in longitude of the window at the latitude farthest from the equator.
    const double far = std::min(90.0, std::fabs(latitude) + dlat);
    const double cosine = std::cos(far * kDegree);
    const bool all_columns = far >= 89.999 || dlat / cosine >= 180.0 - cell_;
    const double dlon = all_columns ? 180.0 : dlat / cosine;
    const std::size_t span =
        all_columns
            ? columns_
            : std::min(columns_, static_cast<std::size_t>(std::ceil(2.0 * dlon / cell_)) + 2);
    const std::size_t column_first = all_columns ? 0 : Column(longitude - dlon);
    for (std::size_t r = row_first; r <= row_last; ++r) {
      for (std::size_t k = 0; k < span; ++k) {
        const std::size_t cell = r * columns_ + (column_first + k) % columns_;
        const auto begin = member_days_.begin() + static_cast<std::ptrdiff_t>(start_[cell]);
        const auto end = member_days_.begin() + static_cast<std::ptrdiff_t>(start_[cell + 1]);
        for (auto it = std::lower_bound(begin, end, t_first); it != end && *it <= t_last; ++it) {
          visit(members_[static_cast<std::size_t>(it - member_days_.begin())]);
        }
      }
    }
  }

 private:
  double cell_ = 1.0;
  std::size_t rows_ = 0;
  std::size_t columns_ = 0;
  std::vector<std::size_t> start_;
  std::vector<std::size_t> members_;
  std::vector<double> member_days_;
};

}  // namespace

WindowSize WindowOf(DeclusterWindow window, double m) {
  switch (window) {
    case DeclusterWindow::GardnerKnopoff1974:
      return {std::pow(10.0, 0.1238 * m + 0.983),
              m >= 6.5 ? std::pow(10.0, 0.032 * m + 2.7389) : std::pow(10.0, 0.5409 * m - 0.547)};
    case DeclusterWindow::Uhrhammer1986:
      return {std::exp(-1.024 + 0.804 * m), std::exp(-2.87 + 1.235 * m)};
    case DeclusterWindow::Gruenthal:
      return {std::exp(1.77 + std::sqrt(0.037 + 1.02 * m)),
              m < 6.5 ? std::exp(-3.95 + std::sqrt(0.62 + 17.32 * m))
                      : std::pow(10.0, 2.8 + 0.024 * m)};
  }
  return {};
}

double DistanceKm(double longitude1, double latitude1, double longitude2, double latitude2) {
  const double phi1 = latitude1 * kDegree;
  const double phi2 = latitude2 * kDegree;
  const double s_phi = std::sin((phi2 - phi1) / 2.0);
  const double s_lambda = std::sin((longitude2 - longitude1) * kDegree / 2.0);
  const double a = s_phi * s_phi + std::cos(phi1) * std::cos(phi2) * s_lambda * s_lambda;
  return 2.0 * kEarthRadiusKm * std::asin(std::min(1.0, std::sqrt(a)));
}

std::size_t DeclusterResult::removed_total() const {
  std::size_t total = 0;
  for (std::size_t r : removed) total += r;
  return total;
}

DeclusterResult Decluster(const EventTable& events, const DeclusterOptions& options) {
  const Prepared p = Prepare(events, options);
  double largest_km = 0.0;
  for (const WindowSize& w : p.windows) largest_km = std::max(largest_km, w.distance_km);
  const Grid grid(events, p.days, largest_km);
  std::vector<std::size_t> mainshock_of(events.size(), kUnclaimed);
  for (std::size_t m : p.by_size) {
    if (mainshock_of[m] != kUnclaimed) continue;
    mainshock_of[m] = m;
    const WindowSize w = p.windows[m];
    const double t = p.days[m];
    const double lon = events.longitude[m];
    const double lat = events.latitude[m];
    grid.ForEachNear(
        lon, lat, w.distance_km, t - options.foreshock_fraction * w.days, t + w.days,
        [&](std::size_t e) {
          if (mainshock_of[e] != kUnclaimed) return;
          if (!InTimeWindow(t, p.days[e], w.days, options.foreshock_fraction)) return;
          if (DistanceKm(lon, lat, events.longitude[e], events.latitude[e]) <= w.distance_km) {
            mainshock_of[e] = m;
          }
        });
  }
  return Finish(events, p, std::move(mainshock_of));
}

DeclusterResult DeclusterAllPairs(const EventTable& events, const DeclusterOptions& options) {
  const Prepared p = Prepare(events, options);
  std::vector<std::size_t> mainshock_of(events.size(), kUnclaimed);
  for (std::size_t m : p.by_size) {
    if (mainshock_of[m] != kUnclaimed) continue;
    mainshock_of[m] = m;
    const WindowSize w = p.windows[m];
    for (std::size_t e = 0; e < events.size(); ++e) {
      if (mainshock_of[e] != kUnclaimed) continue;
      if (!InTimeWindow(p.days[m], p.days[e], w.days, options.foreshock_fraction)) continue;
      if (DistanceKm(events.longitude[m], events.latitude[m], events.longitude[e],
                     events.latitude[e]) <= w.distance_km) {
        mainshock_of[e] = m;
      }
    }
  }
  return Finish(events, p, std::move(mainshock_of));
}

}  // namespace qev
