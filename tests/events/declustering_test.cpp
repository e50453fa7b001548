// Window declustering: a sequence worked out by hand with the foreshock
// window off and at its full length, the published windows, and the indexed
// search against the all-pairs reference on random catalogs.
#include "qev/declustering.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <random>

namespace qev {
namespace {

// Events at a longitude and latitude, so many days after 1 January 1990.
EventTable TableOf(const std::vector<std::tuple<double, double, int, float>>& events) {
  using namespace std::chrono;
  EventTable table;
  for (const auto& [longitude, latitude, day_of_1990, magnitude] : events) {
    const year_month_day date{sys_days{1990y / January / 1} + days{day_of_1990 - 1}};
    EventTable::Row row;
    row.date = {static_cast<int>(date.year()), static_cast<int>(unsigned(date.month())),
                static_cast<int>(unsigned(date.day()))};
    row.longitude = longitude;
    row.latitude = latitude;
    row.magnitude = magnitude;
    table.Append(row);
  }
  return table;
}

// Gardner-Knopoff windows: M6.0 53.19 km and 499.4 days; M5.0 39.99 km;
// M4.0 30.08 km and 41.36 days. One degree of longitude on the equator is
// 111.195 km.
//   row  event  M    day  longitude  from A          from B
//   0    A      6.0  100  0.00       -               11.12 km
//   1    B      4.0   90  0.10       11.12 km, -10 d -
//   2    C      5.0  150  0.30       33.36 km, +50 d 22.24 km, +60 d
//   3    D      4.0  700  0.00       0 km, +600 d    (beyond every window)
//   4    E      4.0  110  1.00       111.2 km         (beyond every distance)
//   5    G      4.0   95  0.45       50.04 km, -5 d  38.92 km, +5 d
// Order: A, C, then the M4.0 events earliest first (B, G, E, D).
// Fraction 0: A claims C (inside 53.19 km and 499 days after); B, G, E, D
// claim nothing (G is 38.92 km from B, beyond B's 30.08 km), so the
// mainshocks in time order are B, G, A, E, D with A removing one event.
// Fraction 1: A also reaches 499 days back and claims B and G, so the
// mainshocks are A (three removed), E and D.
TEST(Declustering, HandWorkedSequenceWithAndWithoutForeshockWindow) {
  const EventTable table = TableOf({{0.00, 0.0, 100, 6.0f},
                                    {0.10, 0.0, 90, 4.0f},
                                    {0.30, 0.0, 150, 5.0f},
                                    {0.00, 0.0, 700, 4.0f},
                                    {1.00, 0.0, 110, 4.0f},
                                    {0.45, 0.0, 95, 4.0f}});
  struct Case {
    double fraction;
    std::vector<std::size_t> mainshocks;
    std::vector<std::size_t> removed;
  };
  for (const Case& c :
       {Case{0.0, {1, 5, 0, 4, 3}, {0, 0, 1, 0, 0}}, Case{1.0, {0, 4, 3}, {3, 0, 0}}}) {
    SCOPED_TRACE(c.fraction);
    for (const auto& decluster : {Decluster, DeclusterAllPairs}) {
      const DeclusterResult r = decluster(table, {DeclusterWindow::GardnerKnopoff1974, c.fraction});
      EXPECT_EQ(r.mainshocks, c.mainshocks);
      EXPECT_EQ(r.removed, c.removed);
      EXPECT_EQ(r.mainshock_of[2], 0u);  // C belongs to A either way
    }
  }
}

// The window tables against figures computed separately from the published
// formulas (in double precision, rounded to four digits).
TEST(Declustering, WindowsMatchThePublishedFormulas) {
  constexpr double kRelativeTolerance = 5e-4;  // four printed digits
  struct Row {
    DeclusterWindow window;
    double magnitude, km, days;
  };
  const Row rows[] = {{DeclusterWindow::GardnerKnopoff1974, 5.0, 39.99, 143.7},
                      {DeclusterWindow::GardnerKnopoff1974, 7.0, 70.73, 918.1},
                      {DeclusterWindow::Uhrhammer1986, 5.0, 20.01, 27.25},
                      {DeclusterWindow::Gruenthal, 5.0, 56.63, 219.0},
                      {DeclusterWindow::Gruenthal, 7.0, 85.54, 929.0}};
  for (const Row& r : rows) {
    const WindowSize w = WindowOf(r.window, r.magnitude);
    EXPECT_NEAR(w.distance_km / r.km, 1.0, kRelativeTolerance) << r.magnitude;
    EXPECT_NEAR(w.days / r.days, 1.0, kRelativeTolerance) << r.magnitude;
  }
}

// Clusters scattered over the globe, near the poles and across the
// antimeridian: the grid search must claim exactly what the all-pairs loop
// claims.
TEST(Declustering, IndexedSearchClaimsWhatTheAllPairsLoopClaims) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  EventTable table;
  for (int cluster = 0; cluster < 120; ++cluster) {
    const double lon0 = cluster % 3 == 0 ? 179.8 : -180.0 + 360.0 * unit(random);
    const double lat0 =
        cluster % 5 == 0 ? 89.0 * (unit(random) < 0.5 ? -1 : 1) : -80.0 + 160.0 * unit(random);
    for (int k = 0; k < 20; ++k) {
      EventTable::Row row;
      row.date = {2000 + static_cast<int>(3 * unit(random)),
                  1 + static_cast<int>(12 * unit(random)), 1 + static_cast<int>(28 * unit(random))};
      row.hour = static_cast<int>(24 * unit(random));
      row.latitude = std::clamp(lat0 + 1.5 * (unit(random) - 0.5), -90.0, 90.0);
      row.longitude = lon0 + 1.5 * (unit(random) - 0.5);
      if (row.longitude > 180.0) row.longitude -= 360.0;
      row.magnitude = static_cast<float>(3.0 - std::log10(1.0 - unit(random) * 0.9999));
      table.Append(row);
    }
  }
  for (DeclusterWindow window : {DeclusterWindow::GardnerKnopoff1974,
                                 DeclusterWindow::Uhrhammer1986, DeclusterWindow::Gruenthal}) {
    for (double fraction : {0.0, 0.5}) {
      const DeclusterResult fast = Decluster(table, {window, fraction});
      const DeclusterResult plain = DeclusterAllPairs(table, {window, fraction});
      EXPECT_EQ(fast.mainshock_of, plain.mainshock_of);
      EXPECT_GT(fast.removed_total(), 0u);
    }
  }
  EXPECT_THROW(Decluster(table, {DeclusterWindow::Gruenthal, 1.5}), Error);
}

}  // namespace
}  // namespace qev
