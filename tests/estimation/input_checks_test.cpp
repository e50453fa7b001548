// Weichert's estimator on a hand-worked case and on synthetic catalogs with a
// known b, and the input checks as a table: each catalog or analysis gives
// exactly the warnings of its row.
#include "qev/input_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "estimation/worked_catalog.h"
#include "qev/weichert.h"

namespace qev {
namespace {

CompletePart Part(float start, float end, float threshold, std::vector<MagnitudeRow> rows) {
  CompletePart part;
  part.start = start;
  part.end = end;
  part.threshold = threshold;
  part.rows = std::move(rows);
  part.sd = MeanSd(part.rows);
  return part;
}

// Two bins of one period: Beta = ln(n1 / n2) / width, the rate N / T, and
// var(Beta) = (1 + r)^2 / (N r width^2) with r = n2 / n1.
TEST(Weichert, TwoBinsOfOnePeriodGiveTheClosedForms) {
  Catalog catalog;
  catalog.complete.push_back(Part(1950.0f, 2000.0f, 5.0f, {{5.0f, 0.1f, 30}, {5.1f, 0.1f, 10}}));
  const WeichertResult w = Weichert(catalog, {5.0f});
  EXPECT_NEAR(w.beta, std::log(3.0) / 0.1, 1e-6);
  EXPECT_NEAR(w.sd_beta, std::sqrt((16.0 / 9.0) / (40.0 / 3.0 * 0.01)), 1e-6);
  EXPECT_NEAR(w.b, w.beta / std::log(10.0), 1e-9);
  EXPECT_NEAR(w.rate, 40.0 / 50.0, 1e-9);
  EXPECT_NEAR(w.sd_rate, 0.8 / std::sqrt(40.0), 1e-9);
  EXPECT_EQ(w.events, 40u);
  EXPECT_EQ(w.bins, 2u);
  // Carried down to Mmin 4.8: exp(Beta 0.2) more, the SD of Beta added.
  const WeichertResult down = Weichert(catalog, {4.8f});
  EXPECT_NEAR(down.rate, 0.8 * std::exp(w.beta * (5.0 - static_cast<double>(4.8f))), 1e-6);
  EXPECT_GT(down.sd_rate / down.rate, w.sd_rate / w.rate);
}

// Catalogs drawn from b = 1 (Poisson counts, the law ending at 7.0, the top of
// a class) over two periods of different completeness: over 200 of them the
// mean b and rate above 5.0 lie within three standard errors of the truth, and
// the scatter of b and of the rate agrees with the SDs the estimator gives
// (within 15 %, the sampling error of 200 SDs being 5 %). (Drawn from a law
// without end, b comes out 1 % low, 0.990 +- 0.002: the classes end with the
// largest event.)
TEST(Weichert, RecoversAKnownBValueAcrossUnequalPeriods) {
  constexpr double kBeta = 2.302585;
  constexpr double kRateAbove5 = 20.0;  // events a year at or above 5.0
  constexpr int kCatalogs = 200;
  constexpr double kMmax = 7.0;  // the top of a class of 0.1 from 5.0
  testing::Draws draws(2024);
  double sum_b = 0, sum_b2 = 0, sum_sd_b = 0, sum_rate = 0, sum_rate2 = 0, sum_sd_rate = 0;
  for (int k = 0; k < kCatalogs; ++k) {
    Catalog catalog;
    // 1900-2000 complete above 6.0 (2 a year), 2000-2030 above 5.0 (20 a year).
    const struct {
      float start, end, mc;
    } periods[] = {{1900.0f, 2000.0f, 6.0f}, {2000.0f, 2030.0f, 5.0f}};
    for (const auto& p : periods) {
      const double rate = kRateAbove5 * (std::exp(-kBeta * p.mc) - std::exp(-kBeta * kMmax)) /
                          (std::exp(-kBeta * 5.0) - std::exp(-kBeta * kMmax));
      // A Poisson number of events: arrivals until the period is over.
      int n = 0;
      for (double t = -std::log(draws.Uniform()) / rate; t < p.end - p.start;
           t -= std::log(draws.Uniform()) / rate) {
        ++n;
      }
      std::vector<MagnitudeRow> rows;
      rows.reserve(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) {
        const double u = draws.Uniform() * (1.0 - std::exp(-kBeta * (kMmax - p.mc)));
        rows.push_back({static_cast<float>(p.mc - std::log(1.0 - u) / kBeta), 0.1f, 1});
      }
      catalog.complete.push_back(Part(p.start, p.end, p.mc, rows));
    }
    const WeichertResult w = Weichert(catalog, {5.0f});
    sum_b += w.b;
    sum_b2 += w.b * w.b;
    sum_sd_b += w.sd_b;
    sum_rate += w.rate;
    sum_rate2 += w.rate * w.rate;
    sum_sd_rate += w.sd_rate;
  }
  const double n = kCatalogs;
  const double spread_b = std::sqrt(sum_b2 / n - (sum_b / n) * (sum_b / n));
  const double spread_rate = std::sqrt(sum_rate2 / n - (sum_rate / n) * (sum_rate / n));
  EXPECT_NEAR(sum_b / n, 1.0, 3.0 * spread_b / std::sqrt(n));
  EXPECT_NEAR(spread_b / (sum_sd_b / n), 1.0, 0.15);
  EXPECT_NEAR(sum_rate / n, kRateAbove5, 3.0 * spread_rate / std::sqrt(n));
  EXPECT_NEAR(spread_rate / (sum_sd_rate / n), 1.0, 0.15);
}

TEST(Weichert, RefusesWhatGivesNoEstimate) {
  Catalog none;
  EXPECT_THROW(Weichert(none, {4.0f}), NoEstimate);
  Catalog one_bin;
  one_bin.complete.push_back(Part(1950.0f, 2000.0f, 5.0f, {{5.02f, 0.1f, 30}}));
  EXPECT_THROW(Weichert(one_bin, {5.0f}), NoEstimate);
  one_bin.complete[0].rows.push_back({5.3f, 0.1f, 1});
  EXPECT_THROW(Weichert(one_bin, {5.0f, 0.0f}), InvalidOptions);
  EXPECT_NO_THROW(Weichert(one_bin, {5.0f}));
}

std::vector<MagnitudeRow> Spread(int n, float from) {
  std::vector<MagnitudeRow> rows;
  rows.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) rows.push_back({from + 0.1f * static_cast<float>(i % 4), 0.1f, 1});
  return rows;
}

TEST(InputChecks, EachFindingGivesItsWarning) {
  using K = InputWarningKind;
  Catalog clean;
  clean.complete.push_back(Part(1960.0f, 2000.0f, 5.0f, Spread(40, 5.0f)));
  clean.complete.push_back(Part(2000.0f, 2020.0f, 4.5f, Spread(40, 4.5f)));
  Catalog gap = clean;  // 40 events, none within 0.5 of Mc 4.0
  gap.complete[1].threshold = 4.0f;
  Catalog rising = clean;
  std::swap(rising.complete[0].threshold, rising.complete[1].threshold);
  rising.complete[0].rows = Spread(40, 4.5f);  // the data still fit their Mc
  rising.complete[1].rows = Spread(40, 5.0f);
  Catalog few = clean;
  few.complete[0].rows.resize(9);
  Catalog empty = clean;
  empty.complete[1].rows.clear();
  Catalog zero = clean;
  zero.complete[0].rows[3].sd = 0.0f;
  zero.complete[0].rows[4] = {5.0f, 0.0f, 2};

  AnalysisResult prior;
  prior.uncertainties.data_share_beta = 30.0f;
  prior.uncertainties.b = 1.0f;
  prior.uncertainties.sd_b = 0.05f;
  AnalysisResult data = prior;
  data.uncertainties.data_share_beta = 80.0f;
  WeichertResult near;
  near.b = 1.1;
  near.sd_b = 0.05;
  WeichertResult far = near;
  far.b = 1.3;

  const auto with = [&](const Catalog& c) {
    InputCheckData d;
    d.catalog = &c;
    return d;
  };
  struct Case {
    const char* what;
    InputCheckData data;
    std::vector<K> expected;
  };
  std::vector<Case> cases = {{"clean", with(clean), {}},
                             {"Mc below the data", with(gap), {K::CompletenessBelowData}},
                             {"Mc rising", with(rising), {K::CompletenessRising}},
                             {"few events", with(few), {K::FewEvents}},
                             {"empty period", with(empty), {K::EmptyPeriod}},
                             {"zero SDs", with(zero), {K::ZeroSd}}};
  cases.push_back({"two types", with(clean), {K::MixedMagnitudeTypes}});
  cases.back().data.magnitude_types = {{"mb", 30}, {"Mw", 50}, {"ML", 0}};
  cases.push_back({"two types converted", with(clean), {}});
  cases.back().data.magnitude_types = {{"mb", 30}, {"Mw", 50}};
  cases.back().data.magnitudes_converted = true;
  cases.push_back({"empty windows", with(clean), {K::EmptyExtremeWindows}});
  cases.back().data.extreme_windows = 10;
  cases.back().data.empty_extreme_windows = 4;
  cases.push_back({"prior dominates", with(clean), {K::PriorDominates}});
  cases.back().data.analysis = &prior;
  cases.push_back({"Weichert near", with(clean), {}});
  cases.back().data.analysis = &data;
  cases.back().data.weichert = &near;
  cases.push_back({"Weichert far", with(clean), {K::WeichertDiffers}});
  cases.back().data.analysis = &data;
  cases.back().data.weichert = &far;
  cases.push_back({"table rising", with(clean), {K::CompletenessRising}});
  cases.back().data.completeness = {{1900, 6.0f}, {1960, 5.0f}, {2000, 5.5f}};

  for (const Case& c : cases) {
    std::vector<K> kinds;
    for (const InputWarning& w : CheckInputs(c.data)) {
      kinds.push_back(w.kind);
      EXPECT_FALSE(w.text.empty());
    }
    EXPECT_EQ(kinds, c.expected) << c.what;
  }
  // The texts name the part and the figures.
  EXPECT_EQ(CheckInputs(cases[1].data)[0].text,
            "complete part 2: Mc 4.00 lies below its smallest magnitude 4.50 (40 events): is the "
            "part complete down to Mc, or is Mc too low?");
  EXPECT_EQ(CheckInputs(cases[6].data)[0].text,
            "2 magnitude types without a conversion to one scale: mb 30, Mw 50");
  try {
    RefuseWarnings(CheckInputs(cases[3].data));
    ADD_FAILURE() << "strict mode let a warning pass";
  } catch (const InputWarningsError& e) {
    EXPECT_EQ(std::string(e.what()),
              "the inputs do not pass their checks (strict): complete part 1 holds 9 events "
              "(fewer than 10)");
  }
  EXPECT_NO_THROW(RefuseWarnings({}));
}

// The data's share of the information on Beta: a tight prior takes most of it.
TEST(InputChecks, TheDataShareOfBetaFallsAsThePriorTightens) {
  Catalog catalog;
  catalog.complete.push_back(Part(1900.0f, 2000.0f, 4.0f, {{4.5f, 0.1f, 10}, {5.0f, 0.2f, 3}}));
  AnalysisOptions options;
  options.mmin = 4.0f;
  options.procedure = MmaxProcedure::None;
  options.mmax_values = {7.0f};
  options.prior_b_sd = 1.0f;
  const float loose = Analyze(catalog, options).uncertainties.data_share_beta;
  options.prior_b_sd = 0.01f;
  const float tight = Analyze(catalog, options).uncertainties.data_share_beta;
  EXPECT_GT(loose, 90.0f);
  EXPECT_LT(tight, 50.0f);
  EXPECT_GT(tight, 0.0f);
}

}  // namespace
}  // namespace qev
