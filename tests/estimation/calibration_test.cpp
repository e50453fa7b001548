// Parametric-bootstrap intervals: the three constructions worked by hand on a
// small sample of replicates, and the simulation's common random numbers on
// the manual's example catalog.
#include "qev/calibration.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <string>
#include <vector>

#include "estimation/example_catalog.h"
#include "qev/errors.h"

namespace qev {
namespace {

constexpr double kBFromBeta = 0.4342944819032518;

BootstrapReplicate Replicate(double b, double sd_b, double lambda, double mmax) {
  BootstrapReplicate r;
  r.ok = true;
  r.b = b;
  r.sd_b = sd_b;
  r.lambda = lambda;
  r.sd_lambda = 1.0;
  r.mmax = mmax;
  r.sd_mmax = 0.3;
  return r;
}

// Estimate b = 0.95 (SD 0.04), Lambda 10, Mmax 7. Stage 2, from the corrected
// law b = 0.92, re-estimates b = 0.80, 0.81, ..., 1.00 (mean 0.90), each with
// SD 0.05; stage 1, from the fitted law, the same values raised by 0.03, so
// that the studentized errors of both stages are -2.4, -2.2, ..., 1.6; Mmax
// re-estimates 6.90, 6.91, ..., 7.10 alongside. Stage 3 moves b by 0.04 and
// its re-estimates by `slope` times that; it moves Lambda by 1 and Mmax by
// 0.3 and their re-estimates by as much, the b re-estimates by `cross` times
// the move of Mmax.
struct HandSample {
  BootstrapSample sample;
  AnalysisResult fit;
};

HandSample MakeHandSample(double slope, float data_sd_b, double cross = 0.0) {
  HandSample h;
  h.fit.beta = static_cast<float>(0.95 / kBFromBeta);
  h.fit.lambda = 10.0f;
  h.fit.mmax = 7.0f;
  h.fit.mmax_converged = true;
  h.fit.settings.mmin = 4.0f;
  h.fit.settings.xmax = 6.9f;
  h.fit.uncertainties.sd_beta = static_cast<float>(data_sd_b / kBFromBeta);
  h.fit.uncertainties.sd_lambda = 1.0f;
  h.fit.uncertainties.sd_mmax = 0.3f;
  BootstrapSample& s = h.sample;
  s.fitted = {0.95 / kBFromBeta, 10.0, 4.0, 7.0};
  s.corrected = {0.92 / kBFromBeta, 10.0, 4.0, 7.0};
  for (int k = 0; k <= 20; ++k) {
    const double b = 0.80 + 0.01 * k;
    const double lambda = 9.0 + 0.1 * k;
    const double mmax = 6.9 + 0.01 * k;
    s.stage1.push_back(Replicate(b + 0.03, 0.05, lambda, mmax));
    s.stage2.push_back(Replicate(b, 0.05, lambda, mmax));
  }
  s.shifts = {0.04, 1.0, 0.3};
  for (std::size_t q = 0; q < 3; ++q) s.shifted[q] = s.stage2;
  for (BootstrapReplicate& r : s.shifted[0]) r.b += slope * 0.04;
  for (BootstrapReplicate& r : s.shifted[1]) r.lambda += 1.0;
  for (BootstrapReplicate& r : s.shifted[2]) {
    r.mmax += 0.3;
    r.b += cross * 0.3;
  }
  return h;
}

CalibratedIntervals IntervalsOf(const HandSample& h, BootstrapMethod method) {
  BootstrapOptions options;
  options.method = method;
  AnalysisOptions analysis;
  analysis.mmin = 4.0f;
  return IntervalsFromSample(h.sample, analysis, h.fit, options);
}

// The bounds of b, worked by hand from the sample above (percentiles
// interpolated linearly between order statistics):
//  basic: corrected 0.95 - (0.90 - 0.92) = 0.97 less the deviations'
//    percentiles +-0.06826 (68 %) and +-0.095 (95 %);
//  inverted, slope 0.5: 0.92 + (0.95 - 0.90 - deviation) / 0.5;
//  inverted, slope 0.5 and b moving by -0.25 per unit of Mmax: the slopes'
//    inverse carries a replicate's deviations (db, dm) back as 2 db + 0.5 dm
//    = 2.5 db here, and the estimate's offset as 2 (0.95 - 0.90) + 0:
//    1.02 less 2.5 times the deviations' percentiles (the SD of the inverted
//    intervals is half the width of the 68 % one);
//  studentized: the 42 errors' percentiles 1.0 / -1.8 (84.13 / 15.87) and
//    1.595 / -2.395 (97.5 / 2.5), the estimate less them times 0.04: the long
//    lower tail of the errors lifts the interval above the estimate.
TEST(BootstrapIntervals, BoundsOfEachConstructionMatchTheHandWorkedSample) {
  const struct {
    BootstrapMethod method;
    double cross;
    double lower68, upper68, lower95, upper95, sd;
  } cases[] = {
      {BootstrapMethod::Basic, 0.0, 0.90174, 1.03826, 0.875, 1.065, 0.062048},
      {BootstrapMethod::Inverted, 0.0, 0.88348, 1.15652, 0.83, 1.21, 0.13652},
      {BootstrapMethod::Inverted, -0.25, 0.84935, 1.19065, 0.7825, 1.2575, 0.17065},
      {BootstrapMethod::Studentized, 0.0, 0.91, 1.022, 0.8862, 1.0458, 0.062048},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(BootstrapMethodName(c.method)) + " " + std::to_string(c.cross));
    const CalibratedIntervals r = IntervalsOf(MakeHandSample(0.5, 0.04f, c.cross), c.method);
    EXPECT_EQ(r.method, c.method);
    EXPECT_EQ(BootstrapMethodFromName(BootstrapMethodName(c.method)), c.method);
    EXPECT_NEAR(r.b.corrected, 0.97, 1e-6);
    EXPECT_NEAR(r.b.lower68, c.lower68, 1e-5);
    EXPECT_NEAR(r.b.upper68, c.upper68, 1e-5);
    EXPECT_NEAR(r.b.lower95, c.lower95, 1e-5);
    EXPECT_NEAR(r.b.upper95, c.upper95, 1e-5);
    EXPECT_NEAR(r.b.sd, c.sd, 1e-5);
    EXPECT_TRUE(r.calibrated) << r.warning;
  }
  EXPECT_FALSE(BootstrapMethodFromName("percentile").has_value());
}

// Every cross term of a full 3 x 3 slope matrix: b moves by -0.25 per unit of
// Mmax (as above) and the Mmax re-estimates by 0.4 per unit of b (stage 1
// moved alike, so that the linear model holds). S = [[1, 0, -0.25],
// [0, 1, 0], [0.4, 0, 1]], det S = 1 + 0.25 * 0.4 = 1.1, and the first row of
// S^-1 carries (db, dm) back as (db + 0.25 dm) / 1.1 = 1.25 / 1.1 db here;
// the middle is 0.92 + 0.05 / 1.1 (the Mmax estimate at its mean).
TEST(BootstrapIntervals, InvertedIntervalsCarryEveryCrossTermOfTheSlopes) {
  HandSample h = MakeHandSample(1.0, 0.04f, -0.25);
  for (BootstrapReplicate& r : h.sample.shifted[0]) r.mmax += 0.4 * 0.04;
  for (BootstrapReplicate& r : h.sample.stage1) r.mmax += 0.4 * 0.03;
  const CalibratedIntervals r = IntervalsOf(h, BootstrapMethod::Inverted);
  EXPECT_TRUE(r.calibrated) << r.warning;
  const double middle = 0.92 + 0.05 / 1.1;
  const double carried = 1.25 / 1.1;
  EXPECT_NEAR(r.b.lower68, middle - carried * 0.06826, 1e-5);
  EXPECT_NEAR(r.b.upper68, middle + carried * 0.06826, 1e-5);
  EXPECT_NEAR(r.b.lower95, middle - carried * 0.095, 1e-5);
  EXPECT_NEAR(r.b.upper95, middle + carried * 0.095, 1e-5);
}

// Where the construction cannot hold, the result says so: an estimate that
// hardly follows the truth (slope below 0.25, taken as 0.25), and a data SD
// the studentized errors cannot be scaled by (the basic bounds instead).
TEST(BootstrapIntervals, FlagsWhatTheConstructionCannotCorrect) {
  const CalibratedIntervals flat =
      IntervalsOf(MakeHandSample(0.1, 0.04f), BootstrapMethod::Inverted);
  EXPECT_FALSE(flat.calibrated);
  EXPECT_NE(flat.warning.find("estimate of b moves by 0.1"), std::string::npos) << flat.warning;
  EXPECT_NEAR(flat.b.upper95, 0.92 + (0.05 + 0.095) / 0.25, 1e-5);

  // Between 0.25 and 0.5 the bounds are the slope's own, the result flagged.
  const CalibratedIntervals shallow =
      IntervalsOf(MakeHandSample(0.4, 0.04f), BootstrapMethod::Inverted);
  EXPECT_FALSE(shallow.calibrated);
  EXPECT_NE(shallow.warning.find("estimate of b moves by 0.4"), std::string::npos)
      << shallow.warning;
  EXPECT_NEAR(shallow.b.upper95, 0.92 + (0.05 + 0.095) / 0.4, 1e-5);

  const HandSample noSd = MakeHandSample(1.0, std::nanf(""));
  const CalibratedIntervals studentized = IntervalsOf(noSd, BootstrapMethod::Studentized);
  const CalibratedIntervals basic = IntervalsOf(noSd, BootstrapMethod::Basic);
  EXPECT_FALSE(studentized.calibrated);
  EXPECT_NE(studentized.warning.find("reported SD of b"), std::string::npos);
  EXPECT_DOUBLE_EQ(studentized.b.lower95, basic.b.lower95);
  EXPECT_DOUBLE_EQ(studentized.b.upper68, basic.b.upper68);
}

// A spread that grows with the law: stage 3 raises b by 0.04 and its
// re-estimates by as much, their deviations from the mean by a tenth
// (growth 0.1 / 0.04 = 2.5 per unit of b). A bound is the law L where the
// estimate lies at the percentile, the deviation c (+-0.06826 at 68 %)
// scaled by 1 + 2.5 (L - 0.92), from the middle 0.92 + (0.95 - 0.90) = 0.97:
// L = 0.97 - c (1 + 2.5 (0.97 - c - 0.92) / (1 + 2.5 c)), 0.904402 below and
// 1.062594 above; without the growth 0.90174 and 1.03826. The hazard band at
// Mmin is the band of Lambda itself, from the same laws (Lambda's spread
// kept).
TEST(BootstrapIntervals, InvertedBoundsFollowASpreadThatGrowsWithTheLaw) {
  HandSample h = MakeHandSample(1.0, 0.04f);
  for (std::size_t k = 0; k < h.sample.shifted[0].size(); ++k) {
    h.sample.shifted[0][k].b += 0.1 * (h.sample.stage2[k].b - 0.90);
    // Lambda raised by a tenth, its re-estimates too: its spread on the log
    // scale unchanged.
    h.sample.shifted[1][k].lambda = 1.1 * h.sample.stage2[k].lambda;
  }
  BootstrapOptions options;
  options.hazard_magnitudes = {4.0f, 5.0f, 6.0f};
  AnalysisOptions analysis;
  analysis.mmin = 4.0f;
  const CalibratedIntervals r = IntervalsFromSample(h.sample, analysis, h.fit, options);
  EXPECT_TRUE(r.calibrated) << r.warning;
  EXPECT_NEAR(r.b.lower68, 0.904402, 1e-5);
  EXPECT_NEAR(r.b.upper68, 1.062594, 1e-5);
  ASSERT_EQ(r.hazard.size(), 3u);
  EXPECT_NEAR(r.hazard[0].lower68, r.lambda.lower68, 1e-9);
  EXPECT_NEAR(r.hazard[0].upper95, r.lambda.upper95, 1e-9);
  for (const CalibratedRate& rate : r.hazard) {
    EXPECT_LT(rate.lower95, rate.lower68);
    EXPECT_LT(rate.lower68, rate.upper68);
    EXPECT_LT(rate.upper68, rate.upper95);
  }
  EXPECT_LT(r.hazard[2].upper95, r.hazard[1].lower95);  // rates fall with magnitude

  // A spread that shrinks fast (to a fifth over the raise) is held where the
  // bounds keep their order.
  for (std::size_t k = 0; k < h.sample.shifted[0].size(); ++k) {
    h.sample.shifted[0][k].b = h.sample.stage2[k].b + 0.04 - 0.8 * (h.sample.stage2[k].b - 0.90);
  }
  const CalibratedIntervals shrinking = IntervalsFromSample(h.sample, analysis, h.fit, options);
  EXPECT_LT(shrinking.b.lower95, shrinking.b.lower68);
  EXPECT_LT(shrinking.b.lower68, shrinking.b.upper68);
  EXPECT_LT(shrinking.b.upper68, shrinking.b.upper95);
}

std::size_t Listed(const Catalog& c) {
  std::size_t n = c.extreme ? c.extreme->events.size() : 0;
  for (const CompletePart& p : c.complete) {
    for (const MagnitudeRow& row : p.rows) n += static_cast<std::size_t>(row.frequency);
  }
  return n;
}

// Thinning keeps the law: with candidates at twice Lambda, the complete part
// lists as many events on average as without (Poisson counts: the two means
// of 300 catalogs differ by less than four standard errors). And one seed
// under one envelope couples the laws: a Lambda 5 % higher adds events and
// changes no listed magnitude, so that the catalog grows by a few events.
TEST(SimulateCatalog, ThinnedCandidatesKeepTheLawAndCoupleNearbyLaws) {
  const Catalog design = testing::ExampleCatalog(false);
  const SimulationLaw law{0.9 / kBFromBeta, 10.0, 4.0, 7.0};
  constexpr int kCatalogs = 300;
  double plain = 0.0, thinned = 0.0, plainSquares = 0.0;
  for (std::uint64_t seed = 1; seed <= kCatalogs; ++seed) {
    const double a = static_cast<double>(Listed(SimulateCatalog(design, law, seed)));
    const double b = static_cast<double>(Listed(SimulateCatalog(design, law, seed, 20.0)));
    plain += a;
    plainSquares += a * a;
    thinned += b;
  }
  plain /= kCatalogs;
  thinned /= kCatalogs;
  const double se = std::sqrt(2.0 * (plainSquares / kCatalogs - plain * plain) / kCatalogs);
  EXPECT_NEAR(thinned, plain, 4.0 * se);

  SimulationLaw higher = law;
  higher.lambda *= 1.05;
  for (std::uint64_t seed = 1; seed <= 20; ++seed) {
    const Catalog a = SimulateCatalog(design, law, seed, 12.0);
    const Catalog b = SimulateCatalog(design, higher, seed, 12.0);
    const std::vector<MagnitudeRow>& rowsA = a.complete[0].rows;
    const std::vector<MagnitudeRow>& rowsB = b.complete[0].rows;
    ASSERT_GE(rowsB.size(), rowsA.size());
    // Every event listed from the lower rate is listed from the higher one.
    std::size_t matched = 0;
    for (std::size_t i = 0, j = 0; i < rowsA.size() && j < rowsB.size(); ++j) {
      if (rowsA[i].magnitude == rowsB[j].magnitude) ++matched, ++i;
    }
    EXPECT_EQ(matched, rowsA.size()) << "seed " << seed;
    EXPECT_LT(rowsB.size() - rowsA.size(), rowsA.size() / 5 + 5) << "seed " << seed;
  }
}

// On the manual's example the slopes' stage re-draws stage 2's catalogs: the
// paired changes of b scatter far less than b itself, the slopes lie in a
// sensible range, and the inverted intervals nest around the estimate.
TEST(BootstrapIntervals, InvertedIntervalsOfTheExampleFromCoupledStages) {
  const Catalog catalog = testing::ExampleCatalog(false);
  AnalysisOptions options;
  options.mmin = 4.0f;
  const AnalysisResult fit = Analyze(catalog, options);
  BootstrapOptions bootstrap;
  bootstrap.replicates = 40;
  bootstrap.threads = 2;
  const BootstrapSample sample = DrawBootstrapSample(catalog, options, fit, bootstrap);
  ASSERT_EQ(sample.stage2.size(), 40u);
  ASSERT_EQ(sample.shifted[0].size(), 20u);
  std::vector<double> b;
  std::vector<double> changes;
  for (std::size_t i = 0; i < sample.shifted[0].size(); ++i) {
    if (!sample.stage2[i].ok || !sample.shifted[0][i].ok) continue;
    b.push_back(sample.stage2[i].b);
    changes.push_back(sample.shifted[0][i].b - sample.stage2[i].b);
  }
  auto sd = [](const std::vector<double>& v) {
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
    double s = 0.0;
    for (double x : v) s += (x - mean) * (x - mean);
    return std::sqrt(s / static_cast<double>(v.size() - 1));
  };
  ASSERT_GE(b.size(), 15u);
  EXPECT_LT(sd(changes), 0.5 * sd(b));
  const CalibratedIntervals r = IntervalsFromSample(sample, options, fit, bootstrap);
  EXPECT_EQ(r.method, BootstrapMethod::Inverted);
  for (const CalibratedValue* v : {&r.b, &r.lambda, &r.mmax}) {
    EXPECT_LT(v->lower95, v->lower68);
    EXPECT_LT(v->lower68, v->upper68);
    EXPECT_LT(v->upper68, v->upper95);
  }
  BootstrapOptions studentized = bootstrap;
  studentized.method = BootstrapMethod::Studentized;
  EXPECT_TRUE(DrawBootstrapSample(catalog, options, fit, studentized).shifted[0].empty());

  // The extreme part alone: a design the intervals cannot be trusted on,
  // whatever the replicates show.
  EXPECT_FALSE(sample.extreme_alone);
  Catalog alone;
  alone.extreme = catalog.extreme;
  const AnalysisResult alone_fit = Analyze(alone, options);
  bootstrap.replicates = 20;
  const BootstrapSample alone_sample = DrawBootstrapSample(alone, options, alone_fit, bootstrap);
  EXPECT_TRUE(alone_sample.extreme_alone);
  const CalibratedIntervals flagged =
      IntervalsFromSample(alone_sample, options, alone_fit, bootstrap);
  EXPECT_FALSE(flagged.calibrated);
  EXPECT_NE(flagged.warning.find("extreme part alone"), std::string::npos) << flagged.warning;
}

}  // namespace
}  // namespace qev
