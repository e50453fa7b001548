// Completeness from the data: the b-value and Mc methods on hand-worked
// histograms, the merge into falling steps, the option table, and the
// recovery of known completeness histories from synthetic catalogs (through
// the library and through qev-synth and qev-prepare).
#include "qev/completeness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "companion/synth_history.h"
#include "events/temp_folder.h"
#include "qev/prepare.h"

namespace qev {
namespace {

// Magnitudes of a histogram given as (centre, count) pairs.
std::vector<float> Magnitudes(const std::vector<std::pair<double, int>>& bins) {
  std::vector<float> m;
  for (const auto& [centre, count] : bins) m.insert(m.end(), count, static_cast<float>(centre));
  return m;
}

// Gutenberg-Richter counts with b = 1 from 3.0 to 6.9 (10,000 events in the
// bin 3.0 and one tenth of that per magnitude unit), each bin below `mc`
// detected with the share `detected` per bin below.
std::vector<float> Truncated(double mc, double detected) {
  std::vector<std::pair<double, int>> bins;
  for (int k = 0; k < 40; ++k) {
    const double m = 3.0 + 0.1 * k;
    double count = 10000.0 * std::pow(10.0, -(m - 3.0));
    for (double below = mc - m; below > 1e-9; below -= 0.1) count *= detected;
    bins.emplace_back(m, static_cast<int>(std::lround(count)));
  }
  return Magnitudes(bins);
}

// Mc and b to the printed hundredth.
constexpr double kHundredth = 0.005;

// Aki-Utsu b and the Shi & Bolt SD worked by hand: 4 x 5.0, 3 x 5.1, 2 x 5.2,
// 1 x 5.3; mean 5.10, b = 0.43429 / (5.10 - 4.95) = 2.8953, SD = 2.30 b^2
// sqrt(0.1 / 90) = 0.6427.
TEST(Completeness, BValueOfAHandWorkedHistogram) {
  const std::vector<float> m = Magnitudes({{5.0, 4}, {5.1, 3}, {5.2, 2}, {5.3, 1}});
  const MagnitudeHistogram h = BinMagnitudes(m, 0.1);
  ASSERT_EQ(h.counts.size(), 4u);
  EXPECT_EQ(h.first, 50);
  const BValue b = MaximumLikelihoodB(h, 0);
  EXPECT_NEAR(b.b, 2.8953, 1e-4);
  EXPECT_NEAR(b.sd, 0.6427, 1e-4);
  EXPECT_EQ(b.events, 10.0);
  // From the second bin: 3 x 5.1, 2 x 5.2, 1 x 5.3, mean 5.1667, b = 0.43429 / 0.1167.
  EXPECT_NEAR(MaximumLikelihoodB(h, 1).b, 0.43429 / (5.1 + 1.0 / 15.0 - 5.05), 1e-4);
  EXPECT_TRUE(std::isnan(MaximumLikelihoodB(h, 3).b));  // one event
}

// Each method on a b = 1 law cut at a known Mc with a soft edge below it.
TEST(Completeness, EveryMethodFindsAKnownCut) {
  struct Case {
    McMethod method;
    double cut;
    double detected;
    double expected;
  };
  const Case cases[] = {
      // The most events lie in the bin of the cut; the correction adds 0.2.
      {McMethod::MaxCurvature, 4.0, 0.3, 4.2},
      // At 3.9 (three tenths detected) the fit explains 91.4 %: enough for 90 %.
      {McMethod::GoodnessOfFit90, 4.0, 0.3, 3.9},
      {McMethod::GoodnessOfFit95, 4.0, 0.3, 4.0},
      {McMethod::BValueStability, 4.0, 0.3, 4.0},
      {McMethod::GoodnessOfFit95, 3.5, 0.5, 3.5},
      {McMethod::BValueStability, 3.5, 0.5, 3.5},
  };
  for (const Case& c : cases) {
    McOptions options;
    options.method = c.method;
    options.bootstrap = 0;
    const McEstimate e = EstimateMc(Truncated(c.cut, c.detected), options);
    EXPECT_NEAR(e.mc, c.expected, kHundredth) << McMethodName(c.method) << " cut " << c.cut;
    EXPECT_FALSE(e.fallback);
    if (e.mc >= c.cut - kHundredth) {
      EXPECT_NEAR(e.b.b, 1.0, 0.05) << McMethodName(c.method);
    }
  }
}

// Fewer events than a trial Mc needs: goodness of fit stands back for the
// maximum curvature and says so.
TEST(Completeness, TooFewEventsFallBackToMaximumCurvature) {
  McOptions options;
  options.method = McMethod::GoodnessOfFit95;
  options.bootstrap = 0;
  const McEstimate e = EstimateMc(Magnitudes({{4.0, 10}, {4.1, 20}, {4.2, 5}}), options);
  EXPECT_TRUE(e.fallback);
  EXPECT_NEAR(e.mc, 4.1 + 0.2, kHundredth);
}

TEST(Completeness, BootstrapIsSeededAndMeasuresTheSpread) {
  McOptions options;
  options.bootstrap = 200;
  const std::vector<float> m = Truncated(4.0, 0.8);
  const McEstimate a = EstimateMc(m, options);
  const McEstimate b = EstimateMc(m, options);
  EXPECT_EQ(a.mc_sd, b.mc_sd);
  EXPECT_EQ(a.mc_mean, b.mc_mean);
  // A flat top (bins 3.9 and 4.0 nearly equal) makes the maximum move.
  EXPECT_GT(a.mc_sd, 0.01);
  EXPECT_LT(a.mc_sd, 0.2);
  options.seed = 7;
  EXPECT_NE(EstimateMc(m, options).mc_sd, a.mc_sd);
}

TEST(Completeness, StepsOnlyFallAndCloseStepsJoin) {
  struct Case {
    std::vector<CompletenessStep> slices;
    std::vector<CompletenessStep> table;
  };
  const Case cases[] = {
      {{{1900, 6.0f}, {1905, 6.1f}, {1964, 5.0f}, {1969, 5.2f}, {1990, 4.5f}},
       {{1900, 6.1f}, {1964, 5.2f}, {1990, 4.5f}}},
      // A rise with time lifts the earlier steps.
      {{{1900, 5.0f}, {1950, 6.0f}, {1990, 4.0f}}, {{1900, 6.0f}, {1990, 4.0f}}},
      {{{2000, 4.0f}}, {{2000, 4.0f}}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    const std::vector<CompletenessStep> table = MergeSteps(c.slices, 0.25);
    ASSERT_EQ(table.size(), c.table.size());
    for (std::size_t k = 0; k < table.size(); ++k) {
      EXPECT_EQ(table[k].year, c.table[k].year);
      EXPECT_EQ(table[k].threshold, c.table[k].threshold);
    }
    // The printed table reads back as the split takes it.
    if (!table.empty()) {
      const auto back = ParseCompleteness(FormatCompletenessOption(table), "printed");
      ASSERT_EQ(back.size(), table.size());
      for (std::size_t k = 0; k < table.size(); ++k) {
        EXPECT_EQ(back[k].threshold, table[k].threshold);
      }
    }
  }
  EXPECT_EQ(FormatCompletenessToml({{1900, 6.0f}, {1964, 5.25f}}), "[[1900, 6.0], [1964, 5.25]]");
}

TEST(Completeness, OptionsByNameAreCheckedWithTheirName) {
  CompletenessOptions o;
  SetCompletenessOption(o, "mc_method", "GFT95", "x");
  SetCompletenessOption(o, "bootstrap", "500", "x");
  SetCompletenessOption(o, "window_years", "2.5", "x");
  EXPECT_EQ(o.mc.method, McMethod::GoodnessOfFit95);
  EXPECT_EQ(o.mc.bootstrap, 500u);
  EXPECT_EQ(o.window_years, 2.5);
  struct Bad {
    const char* key;
    const char* value;
    const char* expected;
  };
  const Bad bad[] = {
      {"colour", "1", "one of the keys table, mc_method, bin, maxc_correction"},
      {"bootstrap", "1.5", "a whole number"},
      {"bin", "0.1x", "a number"},
      {"mc_method", "gft99", "maxc, gft90, gft95 or mbs"},
      {"table", "stepps", "windows or stepp"},
  };
  for (const auto& [key, value, expected] : bad) {
    try {
      SetCompletenessOption(o, key, value, "[completeness]");
      ADD_FAILURE() << key;
    } catch (const InvalidOptions& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
  o.window_years = 0.0;
  EXPECT_THROW(o.Validate(), InvalidOptions);
  EXPECT_THROW(EstimateCompleteness(EventTable{}, CompletenessOptions{}), NoEstimate);
  // A magnitude typed 55 among magnitudes near 5 would ask for 500 bins a unit.
  EXPECT_THROW(EstimateMc(std::vector<float>{5.0f, 5.1f, 55.0f}, McOptions{}), InvalidOptions);
}

// The job file's "auto" and [completeness] table, and a bad key with its line.
TEST(Completeness, JobFileAsksForTheEstimateWithItsOptions) {
  const PrepareJob job = ParsePrepareToml(
      "catalog = \"c.csv\"\n[split]\ncompleteness = \"auto\"\n[completeness]\n"
      "mc_method = \"mbs\"\nbootstrap = 20\nwindow_years = 2.5\ntable = \"stepp\"\n"
      "figures = \"fig\"\n",
      "job.toml", "/base");
  EXPECT_TRUE(job.completeness_auto);
  EXPECT_EQ(job.completeness.mc.method, McMethod::BValueStability);
  EXPECT_EQ(job.completeness.mc.bootstrap, 20u);
  EXPECT_EQ(job.completeness.window_years, 2.5);
  EXPECT_EQ(job.completeness.table, CompletenessTableMethod::Stepp);
  EXPECT_EQ(job.completeness_figures, "/base/fig");
  const std::pair<const char*, const char*> bad[] = {
      {"[completeness]\nwindow = 5\n", "job.toml, line 2"},
      {"[completeness]\nbin = 0\n", "for 'completeness.bin' a number from 0.001 to 1"},
      {"[split]\ncompleteness = \"automatic\"\n", "or \"auto\""},
  };
  for (const auto& [text, expected] : bad) {
    try {
      ParsePrepareToml(text, "job.toml", "/base");
      ADD_FAILURE() << text;
    } catch (const ReadingError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
}

// ------------------------------------------------------------ known histories

struct History {
  std::vector<companion::HistoryStep> steps;
  std::uint64_t seed;
};

EventTable Synthetic(const History& h) {
  companion::SynthPlan plan;
  plan.Beta = 2.302585f;  // b = 1
  plan.Mmin = 4.0f;
  plan.Mmax = 8.5f;
  plan.Lambda = 3000.0f;  // 30 a year at or above 6
  plan.Sd = 0.1f;
  plan.Step = 0.1f;
  plan.Seed = h.seed;
  companion::HistoryPlan history;
  history.Steps = h.steps;
  history.EndYear = 2024;
  history.Edge = 0.1f;
  const companion::HistoryCatalog c = companion::GenerateHistory(plan, history);
  return ReadCsvText(c.Text, "synthetic", {}).events;
}

// Every true step has an estimated step within 0.2 of its Mc and 5 years of
// its year, and there are no others.
void ExpectRecovered(const std::vector<CompletenessStep>& table, const History& h,
                     const std::string& what) {
  ASSERT_EQ(table.size(), h.steps.size()) << what << ": " << FormatCompletenessOption(table);
  for (std::size_t k = 0; k < table.size(); ++k) {
    EXPECT_NEAR(table[k].threshold, h.steps[k].Mc, 0.2 + 1e-6)
        << what << ": " << FormatCompletenessOption(table);
    EXPECT_LE(std::abs(table[k].year - h.steps[k].Year), 5)
        << what << ": " << FormatCompletenessOption(table);
  }
}

TEST(Completeness, KnownHistoriesAreRecoveredByEveryMethod) {
  const History histories[] = {
      {{{1900, 6.0f}, {1964, 5.0f}, {1990, 4.5f}}, 1},
      {{{1920, 5.5f}, {1973, 4.8f}}, 2},
  };
  for (const History& h : histories) {
    const EventTable events = Synthetic(h);
    const CivilDate end{2024, 12, 31};
    for (McMethod method : {McMethod::MaxCurvature, McMethod::GoodnessOfFit90,
                            McMethod::GoodnessOfFit95, McMethod::BValueStability}) {
      CompletenessOptions o;
      o.mc.method = method;
      o.mc.bootstrap = 20;
      const CompletenessEstimate e = EstimateCompleteness(events, o, end);
      ExpectRecovered(e.windows_table, h, std::string(McMethodName(method)));
      if (method == McMethod::MaxCurvature) ExpectRecovered(e.stepp_table, h, "stepp");
      for (const McWindow& w : e.windows) EXPECT_GE(w.estimate.mc_sd, 0.0);
    }
  }
}

// From qev-synth's catalog file to the table qev-prepare prints and uses,
// and the figures it writes.
// What a figure draws lies inside its frame (the second rectangle: the plot),
// every point of a line and every dot, and the rows of its legend, right of
// the frame, do not overlap.
void ExpectDrawnInsideTheFrame(const std::string& svg, const std::string& figure) {
  std::smatch m;
  ASSERT_TRUE(std::regex_search(
      svg, m,
      std::regex(R"re(<rect x="([-\d.]+)" y="([-\d.]+)" width="([\d.]+)" height="([\d.]+)")re")))
      << figure;
  const double left = std::stod(m[1]), top = std::stod(m[2]);
  const double right = left + std::stod(m[3]), bottom = top + std::stod(m[4]);
  // The points of the lines, then the centres of the dots.
  std::string drawn;
  const std::regex attribute(R"re(points="([^"]*)"|cx="([-\d.]+)" cy="([-\d.]+)")re");
  for (std::sregex_iterator a(svg.begin(), svg.end(), attribute), end; a != end; ++a) {
    drawn += (*a)[1].matched ? (*a)[1].str() + " " : (*a)[2].str() + "," + (*a)[3].str() + " ";
  }
  const std::regex pair(R"re((-?[\d.]+),(-?[\d.]+))re");
  int points = 0;
  for (std::sregex_iterator p(drawn.begin(), drawn.end(), pair), end; p != end; ++p, ++points) {
    const double x = std::stod((*p)[1]), y = std::stod((*p)[2]);
    EXPECT_TRUE(x >= left - 0.1 && x <= right + 0.1 && y >= top - 0.1 && y <= bottom + 0.1)
        << figure << ": " << p->str() << " outside the frame";
  }
  EXPECT_GT(points, 0) << figure;
  std::set<std::string> rows;
  const std::regex legend(R"re(<text x="([\d.]+)" y="([\d.]+)">)re");
  for (std::sregex_iterator t(svg.begin(), svg.end(), legend), end; t != end; ++t) {
    if (std::stod((*t)[1]) > right) {
      EXPECT_TRUE(rows.insert((*t)[2]).second) << figure << ": " << t->str();
    }
  }
  EXPECT_GE(rows.size(), 2u) << figure;
}

TEST(Completeness, ToolsRecoverAHistoryAndDrawIt) {
  events_testing::TempFolder folder;
  const auto synth = folder.Run(std::string("'") + QEV_SYNTH_BINARY +
                                "' --b 1 --mmin 4 --mmax 8.5 --lambda 1000 --sd 0.1 --step 0.1"
                                " --history 1900:6.0,1964:5.0,1990:4.5 --history-end 2024"
                                " --csv h.csv --seed 3");
  ASSERT_EQ(synth.status, 0) << synth.out;
  const auto run = folder.Run(std::string("'") + QEV_PREPARE_BINARY +
                              "' --completeness auto --completeness-set bootstrap=50"
                              " --completeness-figures figures h.csv");
  ASSERT_EQ(run.status, 0) << run.out;
  const std::size_t used = run.out.find("used (windows): --completeness ");
  ASSERT_NE(used, std::string::npos) << run.out;
  const std::string option = run.out.substr(used + 31, run.out.find('\n', used) - used - 31);
  ExpectRecovered(ParseCompleteness(option, "printed"),
                  {{{1900, 6.0f}, {1964, 5.0f}, {1990, 4.5f}}, 3}, "qev-prepare");
  EXPECT_NE(run.out.find("complete part 3 1990-01-01"), std::string::npos) << run.out;
  for (const char* figure :
       {"completeness_cumulative.svg", "completeness_stepp.svg", "completeness_mc.svg"}) {
    const std::string svg = folder.Read(std::string("figures/") + figure);
    EXPECT_EQ(svg.rfind("<svg", 0), 0u) << figure;
    ExpectDrawnInsideTheFrame(svg, figure);
  }
  const auto bad = folder.Run(std::string("'") + QEV_PREPARE_BINARY +
                              "' --completeness 1900:6 --mc-method gft95 h.csv");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("need --completeness auto"), std::string::npos) << bad.out;
}

}  // namespace
}  // namespace qev
