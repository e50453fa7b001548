// Window declustering: the indexed search and the all-pairs reference share
// the processing order, the window rule and the distance, so that they claim
// the same events.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>

#include "events/declustering_detail.h"

namespace qev {

namespace declustering_detail {

namespace {

constexpr std::size_t kUnclaimed = static_cast<std::size_t>(-1);

struct Prepared {
  std::vector<double> days;
  std::vector<std::size_t> by_size;  // processing order: largest first, then earliest
  std::vector<WindowSize> windows;   // per row
};

Prepared Prepare(const EventTable& events, const DeclusterOptions& options) {
  Validate(options);
  Prepared p;
  const std::size_t n = events.size();
  p.days = DaysOf(events);
  p.windows.resize(n);
  for (std::size_t i = 0; i < n; ++i) p.windows[i] = WindowOf(options.method, events.magnitude[i]);
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

// Whether e lies in the time window of a mainshock at t_main.
inline bool InTimeWindow(double t_main, double t_event, double days, double fraction) {
  const double dt = t_event - t_main;
  return dt >= 0.0 ? dt <= days : -dt <= fraction * days;
}

}  // namespace

DeclusterResult WindowDecluster(const EventTable& events, const DeclusterOptions& options) {
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
  return Finish(p.days, std::move(mainshock_of));
}

DeclusterResult WindowDeclusterAllPairs(const EventTable& events, const DeclusterOptions& options) {
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
  return Finish(p.days, std::move(mainshock_of));
}

}  // namespace declustering_detail

WindowSize WindowOf(DeclusterMethod window, double m) {
  switch (window) {
    case DeclusterMethod::GardnerKnopoff1974:
      return {std::pow(10.0, 0.1238 * m + 0.983),
              m >= 6.5 ? std::pow(10.0, 0.032 * m + 2.7389) : std::pow(10.0, 0.5409 * m - 0.547)};
    case DeclusterMethod::Uhrhammer1986:
      return {std::exp(-1.024 + 0.804 * m), std::exp(-2.87 + 1.235 * m)};
    case DeclusterMethod::Gruenthal:
      return {std::exp(1.77 + std::sqrt(0.037 + 1.02 * m)),
              m < 6.5 ? std::exp(-3.95 + std::sqrt(0.62 + 17.32 * m))
                      : std::pow(10.0, 2.8 + 0.024 * m)};
    case DeclusterMethod::Reasenberg1985:
      break;
  }
  throw Error("declustering method " + std::string(DeclusterMethodOf(window).name) +
              " has no window table");
}

}  // namespace qev
