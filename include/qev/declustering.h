// Window declustering after Gardner and Knopoff (1974): events taken from the
// largest magnitude down; each event not yet claimed is a mainshock and claims
// every unclaimed event within its distance window (great-circle distance on a
// sphere of radius 6371 km) and its time window: up to T days after it, and
// up to foreshock_fraction * T days before it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "qev/events.h"

namespace qev {

enum class DeclusterWindow {
  GardnerKnopoff1974,  // L = 10^(0.1238 M + 0.983) km, T = 10^(0.032 M + 2.7389) d (M >= 6.5),
                       // else 10^(0.5409 M - 0.547) d
  Uhrhammer1986,       // L = e^(-1.024 + 0.804 M) km, T = e^(-2.87 + 1.235 M) d
  Gruenthal,           // L = e^(1.77 + sqrt(0.037 + 1.02 M)) km,
              // T = e^(-3.95 + sqrt(0.62 + 17.32 M)) d (M < 6.5), else 10^(2.8 + 0.024 M) d
};

struct WindowSize {
  double distance_km = 0.0;
  double days = 0.0;
};
WindowSize WindowOf(DeclusterWindow window, double magnitude);

struct DeclusterOptions {
  DeclusterWindow window = DeclusterWindow::GardnerKnopoff1974;
  double foreshock_fraction = 0.0;  // 0..1 of the aftershock window
};

struct DeclusterResult {
  std::vector<std::size_t> mainshocks;    // rows of the table, in time order
  std::vector<std::size_t> removed;       // per mainshock: events it claimed besides itself
  std::vector<std::size_t> mainshock_of;  // per row: the row of the mainshock that claimed it
  std::size_t removed_total() const;
};

// Events sorted by time in cells of a latitude-longitude grid; each
// mainshock searches only the cells its distance window reaches and, within
// them, only the events of its time window. Throws Error for a fraction
// outside 0..1.
DeclusterResult Decluster(const EventTable& events, const DeclusterOptions& options);

// The same result by comparing each mainshock with every event (reference for
// tests and benchmarks; time grows with the square of the events).
DeclusterResult DeclusterAllPairs(const EventTable& events, const DeclusterOptions& options);

// Great-circle distance in km between two points given in degrees.
double DistanceKm(double longitude1, double latitude1, double longitude2, double latitude2);

}  // namespace qev
