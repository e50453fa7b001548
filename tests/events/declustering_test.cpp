// Declustering: window declustering on a sequence worked out by hand with the
// foreshock window off and at its full length, the published windows, and the
// indexed search against the all-pairs reference on random catalogs;
// Reasenberg linking on sequences worked out by hand from the formulas and on
// a synthetic catalog with known mainshocks; the method and parameter tables.
#include "qev/declustering.h"

#include <gtest/gtest.h>

#include <algorithm>
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
      const DeclusterResult r = decluster(table, {DeclusterMethod::GardnerKnopoff1974, c.fraction});
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
  EXPECT_THROW(WindowOf(DeclusterMethod::Reasenberg1985, 5.0), Error);
}

// ---------------------------------------------------------------- Reasenberg

struct Quake {
  double longitude;  // on the equator: 0.01 degree is 1.11195 km
  double depth;      // km
  double day;        // days after 1 January 2000, 00:00
  float magnitude;
};

EventTable QuakesOf(const std::vector<Quake>& quakes) {
  using namespace std::chrono;
  EventTable table;
  for (const Quake& q : quakes) {
    const auto minutes = static_cast<int>(std::lround(q.day * 1440.0));
    const year_month_day date{sys_days{2000y / January / 1} + days{minutes / 1440}};
    EventTable::Row row;
    row.date = {static_cast<int>(date.year()), static_cast<int>(unsigned(date.month())),
                static_cast<int>(unsigned(date.day()))};
    row.hour = minutes % 1440 / 60;
    row.minute = minutes % 60;
    row.longitude = q.longitude;
    row.depth = static_cast<float>(q.depth);
    row.magnitude = q.magnitude;
    table.Append(row);
  }
  return table;
}

// Sequences worked out by hand with the published parameters (tau_min 1 d,
// tau_max 10 d, p1 0.99, xk 0.5, rfact 10, 30 km of crust). Source radii
// r0 = 0.011 * 10^(0.4 M): zones of 10 r0 are 0.694 km (M2), 1.743 (M3),
// 2.763 (M3.5), 4.379 (M4), 11.00 (M5), 27.63 (M6) and 69.4 km for M7,
// cut to 30. Look-ahead tau = 4.605 t / 10^(2 (dM - 1) / 3) with
// dM = 0.5 Mb - xmeff: 4.605 t for Mb 6 and xmeff 2, 9.921 t for Mb 5
// and xmeff 2, 4.605 t for Mb 5 and xmeff 1.5; always within 1 to 10 days.
TEST(Reasenberg, HandWorkedSequencesLinkWhatTheFormulasSay) {
  struct Case {
    const char* what;
    double xmeff;
    double crust_km;
    std::vector<Quake> quakes;
    std::vector<std::size_t> mainshock_of;
  };
  const Case cases[] = {
      // 0 does not link 1 (1.11 km, but 1.5 d: beyond tau_min); 1, alone,
      // looks 1 d ahead and links 2 (1.11 km, 0.7 d later); of the equal
      // two the earlier stands for both.
      {"a lone event looks tau_min ahead",
       2.0,
       30.0,
       {{0.00, 0, 0.0, 3.0f}, {0.01, 0, 1.5, 3.0f}, {0.02, 0, 2.2, 3.0f}},
       {0, 1, 1}},
      // M4 at 0 links 1 at 4.337 km (inside 4.379) but not 2 at 4.448 km;
      // 1 (M2, 0.694 km) and its cluster's largest (0) do not reach 2.
      {"the zone is rfact source radii",
       2.0,
       30.0,
       {{0.000, 0, 0.0, 4.0f}, {0.039, 0, 0.2, 2.0f}, {-0.040, 0, 0.3, 2.0f}},
       {0, 0, 2}},
      // 0 (M6) links 1 (11.12 km, 0.5 d). 1 looks 4.605 * 0.5 = 2.303 d
      // ahead: 2 (2.6 d) lies in the zone of the largest event (22.24 km of
      // 27.63) and is linked; 3 (2.9 d) is beyond 1's look-ahead but 2 looks
      // 4.605 * 2.6 -> 10 d ahead and links it (11.12 km from 0); 4 at 13 d
      // is beyond every look-ahead (3's reaches 12.9 d).
      {"the largest event's zone and the Omori look-ahead",
       2.0,
       30.0,
       {{0.0, 0, 0.0, 6.0f},
        {0.1, 0, 0.5, 3.0f},
        {0.2, 0, 2.6, 3.0f},
        {-0.1, 0, 2.9, 3.0f},
        {0.0, 0, 13.0, 3.0f}},
       {0, 0, 0, 0, 4}},
      // 0 (M5) links 1 (5.56 km, 0.2 d). With xmeff 2, dM = 0.5 and 1 looks
      // 9.921 * 0.2 = 1.984 d ahead: 2 at 2.1 d, 5.56 km from 0, is linked.
      {"xmeff 2 lengthens the look-ahead",
       2.0,
       30.0,
       {{0.0, 0, 0.0, 5.0f}, {0.05, 0, 0.2, 2.0f}, {0.05, 0, 2.1, 2.0f}},
       {0, 0, 0}},
      // The same with xmeff 1.5: dM = 1, 1 looks 4.605 * 0.2 = 0.92 d ahead.
      {"xmeff 1.5 shortens it",
       1.5,
       30.0,
       {{0.0, 0, 0.0, 5.0f}, {0.05, 0, 0.2, 2.0f}, {0.05, 0, 2.1, 2.0f}},
       {0, 0, 2}},
      // M7: 69.4 km cut to 30: 1 at 28.91 km is linked, 2 at 31.13 km not.
      {"the zone ends at the crust",
       2.0,
       30.0,
       {{0.0, 0, 0.0, 7.0f}, {0.26, 0, 0.1, 3.0f}, {-0.28, 0, 0.2, 3.0f}},
       {0, 0, 2}},
      {"a thicker crust reaches further",
       2.0,
       100.0,
       {{0.0, 0, 0.0, 7.0f}, {0.26, 0, 0.1, 3.0f}, {-0.28, 0, 0.2, 3.0f}},
       {0, 0, 0}},
      // M4 at 10 km depth: 1 (3.336 km away, same depth) is linked; 2 above
      // 1 but 3.5 km deeper is hypot(3.336, 3.5) = 4.835 km from 0.
      {"distances are hypocentral",
       2.0,
       30.0,
       {{0.0, 10, 0.0, 4.0f}, {0.03, 10, 0.1, 2.0f}, {0.03, 13.5, 0.2, 2.0f}},
       {0, 0, 2}},
      // 0 (M3) links 2 (1.668 km, 0.8 d) but not 1 (M3.5, 3.336 km); 1,
      // alone, links 2 (1.668 km of 2.763): the clusters join and the M3.5
      // stands for all three.
      {"clusters join and the largest stands for them",
       2.0,
       30.0,
       {{0.0, 0, 0.0, 3.0f}, {0.03, 0, 0.5, 3.5f}, {0.015, 0, 0.8, 3.0f}},
       {1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const EventTable table = QuakesOf(c.quakes);
    DeclusterOptions options;
    options.method = DeclusterMethod::Reasenberg1985;
    options.reasenberg.xmeff = c.xmeff;
    options.reasenberg.crust_km = c.crust_km;
    for (const auto& decluster : {Decluster, DeclusterAllPairs}) {
      const DeclusterResult r = decluster(table, options);
      EXPECT_EQ(r.mainshock_of, c.mainshock_of);
      std::size_t removed = 0;
      for (std::size_t i = 0; i < c.mainshock_of.size(); ++i) removed += c.mainshock_of[i] != i;
      EXPECT_EQ(r.removed_total(), removed);
    }
  }
}

// The look-ahead formula at its bounds and between, against values computed
// by hand (4.60517 = -ln 0.01).
TEST(Reasenberg, LookAheadFollowsOmoriBetweenItsBounds) {
  const ReasenbergParameters p;
  struct Row {
    double xmeff, largest, t, tau;
  };
  const Row rows[] = {{2.0, 6.0, 0.0, 1.0},      {2.0, 6.0, 0.5, 2.302585}, {2.0, 6.0, 3.0, 10.0},
                      {2.0, 5.0, 0.2, 1.984308}, {2.5, 5.0, 0.2, 4.275061}, {2.0, 6.0, -1.0, 1.0}};
  for (const Row& r : rows) {
    EXPECT_NEAR(ReasenbergLookAheadDays(p, r.xmeff, r.largest, r.t), r.tau, 1e-6) << r.t;
  }
  EXPECT_NEAR(ReasenbergSourceRadiusKm(5.0), 1.1, 1e-12);
}

// Mainshocks of M5.5 to 6.5 far apart in space and time, each followed by 30
// aftershocks within a third of its zone at Omori times (c = 0.05 d,
// p = 1.2) within 10 days, over a thin background. By the method's rules
// every aftershock is linked (the first within tau_min of its mainshock with
// near certainty, each later one within the look-ahead of the one before:
// tau = 9.9 t for Mb 6 and xmeff 2.5, at least 1 day, and no gap exceeds
// the 10 days of tau_max) and nothing else is: the mainshocks are given back
// with exactly their aftershocks, the background stands.
TEST(Reasenberg, SyntheticCatalogGivesBackItsMainshocksAndTheirAftershocks) {
  constexpr double kC = 0.05;
  constexpr double kP = 1.2;
  constexpr double kLastDay = 10.0;
  std::mt19937 random(11);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<Quake> quakes;
  std::vector<std::size_t> truth;  // the mainshock of each event
  const double q = 1.0 - std::pow(1.0 + kLastDay / kC, 1.0 - kP);
  for (int s = 0; s < 40; ++s) {
    const double lon = -170.0 + 8.5 * s;
    const double day = 200.0 * s + 50.0 * unit(random);
    const auto m = static_cast<float>(5.5 + unit(random));
    const std::size_t main = quakes.size();
    const double reach = 10.0 * ReasenbergSourceRadiusKm(m) / 3.0 / 111.195;
    quakes.push_back({lon, 10.0, day, m});
    truth.push_back(main);
    for (int k = 0; k < 30; ++k) {
      const double t = kC * (std::pow(1.0 - unit(random) * q, 1.0 / (1.0 - kP)) - 1.0);
      quakes.push_back({lon + reach * (2.0 * unit(random) - 1.0), 10.0, day + t,
                        static_cast<float>(2.5 + 2.0 * unit(random))});
      truth.push_back(main);
    }
  }
  for (int k = 0; k < 400; ++k) {
    truth.push_back(quakes.size());
    quakes.push_back({-175.0 + 350.0 * unit(random), 10.0, 8000.0 * unit(random),
                      static_cast<float>(2.5 + unit(random))});
  }
  const EventTable table = QuakesOf(quakes);
  DeclusterOptions options(DeclusterMethod::Reasenberg1985);
  options.completeness_magnitude = 2.5;
  const DeclusterResult r = Decluster(table, options);
  EXPECT_EQ(r.mainshock_of, truth);
  EXPECT_EQ(r.mainshocks.size(), 440u);
  EXPECT_EQ(r.mainshock_of, DeclusterAllPairs(table, options).mainshock_of);
}

// The name table: every method by its name and aliases, the names in order,
// unknown names and parameters refused with the list.
TEST(DeclusterMethods, NamesAndParametersComeFromTheTable) {
  for (const DeclusterMethodInfo& m : DeclusterMethods()) {
    EXPECT_EQ(FindDeclusterMethod(m.name), m.method);
    EXPECT_EQ(&DeclusterMethodOf(m.method), &m);
  }
  EXPECT_EQ(FindDeclusterMethod(" Gardner-Knopoff "), DeclusterMethod::GardnerKnopoff1974);
  EXPECT_EQ(FindDeclusterMethod("reasenberg"), DeclusterMethod::Reasenberg1985);
  EXPECT_FALSE(FindDeclusterMethod("none"));
  EXPECT_EQ(DeclusterMethodNames(), "gk, uhrhammer, gruenthal or reasenberg");
  EXPECT_EQ(DeclusterMethodNames("|"), "gk|uhrhammer|gruenthal|reasenberg");
  EXPECT_THROW(ParseDeclusterMethod("rasenberg", "x"), ReadingError);
  DeclusterOptions options;
  SetDeclusterParameter(options, "tau_max", 5.0, "x");
  SetDeclusterParameter(options, "xmeff", 2.5, "x");
  EXPECT_EQ(options.reasenberg.tau_max_days, 5.0);
  EXPECT_EQ(options.reasenberg.xmeff, 2.5);
  EXPECT_THROW(SetDeclusterParameter(options, "taumax", 5.0, "x"), ReadingError);
  EXPECT_THROW(SetDeclusterParameter(options, "p1", 1.0, "x"), ReadingError);
  options.reasenberg.tau_min_days = 6.0;
  EXPECT_THROW(Validate(options), Error);
}

}  // namespace
}  // namespace qev
