// The analysis steps of the public API: the starting point by program and
// the catalogs that give none, the settings resolved from the catalog, the
// runs of Analyze and what ends them, and the errors as types.
#include "qev/analysis.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "qev/classic_files.h"
#include "qev/errors.h"
#include "qev/settings.h"

namespace qev {
namespace {

// One complete part 1900-2000 above 4.0: ten events of 4.5 and three of 5.0.
Catalog OneCompletePart() {
  return {std::nullopt, {{1900.0f, 2000.0f, 4.0f, 0.1f, {{4.5f, 0.1f, 10}, {5.0f, 0.2f, 3}}}}};
}

// Two extreme events: 6.0 (SD 0.2) after 30 years and 6.5 (SD 0.3) after 45.5.
Catalog TwoExtremeEvents() {
  return {ExtremePart{1900.0f, 1975.5f, {{1930.0f, 6.0f, 0.2f}, {1975.5f, 6.5f, 0.3f}}}, {}};
}

// The bundled example region: the extreme part and both complete parts.
Catalog ExampleRegion() {
  Catalog catalog;
  std::ifstream extreme(QEV_EXAMPLES_DIR "/ext_l1.dat");
  catalog.extreme = ReadExtremeFile(extreme, "ext_l1.dat", ExtremeLayout::PerEventSd).part;
  for (const char* name : {"cp1900_l2.dat", "cp1960_l2.dat"}) {
    std::ifstream part(std::string(QEV_EXAMPLES_DIR "/") + name);
    catalog.complete.push_back(ReadCompleteFile(part, name, CompleteLayout::CommonSd).part);
  }
  return catalog;
}

AnalysisOptions Options(float mmin, float xmax) {
  AnalysisOptions options;
  options.mmin = mmin;
  options.xmax = xmax;
  return options;
}

// The start by program from the extremes: Beta fixed by the units, Mmax half a
// unit above Xmax but not above 12.001. (Its Lambda and the start from the
// complete parts are pinned by the transcripts.)
TEST(StartingPoint, ByProgramFromExtremesFixesBetaByTheUnitsAndMmaxByXmax) {
  const struct {
    Units units;
    float xmax, beta, mmax;
  } cases[] = {{Units::Magnitude, 6.5f, 1.9f, 7.0f},
               {Units::Intensity, 6.5f, 1.0f, 7.0f},
               {Units::Magnitude, 11.7f, 1.9f, 12.001f},
               {Units::Magnitude, 11.5f, 1.9f, 12.0f},
               {Units::Magnitude, 6.3f, 1.9f, 6.8f}};
  for (const auto& c : cases) {
    AnalysisOptions options = Options(5.0f, c.xmax);
    options.units = c.units;
    const StartingValues start = StartingPoint(TwoExtremeEvents(), options);
    EXPECT_EQ(start.beta, c.beta) << c.xmax;
    EXPECT_EQ(start.mmax, c.mmax) << c.xmax;
  }
}

Catalog Only(const CompletePart& part) { return Catalog{std::nullopt, {part}}; }
Catalog Only(const ExtremePart& part) { return Catalog{part, {}}; }

// Every division by zero of the start by program is refused with its reason.
TEST(StartingPoint, CatalogsThatGiveNoStartAreRefusedWithTheReason) {
  const std::vector<MagnitudeRow> rows = {{4.5f, 0.1f, 10}, {5.0f, 0.2f, 3}};
  struct Case {
    Catalog catalog;
    float xmax;
    const char* reason;
    DataKind kind = DataKind::ExtremesAndComplete;  // starts from the complete parts
  };
  const Case cases[] = {
      {Only(CompletePart{1900.0f, 1900.0f, 4.0f, 0.1f, rows}), 6.3f,
       "the time span of the last COMPLETE part is zero"},
      {Only(CompletePart{1900.0f, 2000.0f, 4.0f, 0.1f, {{4.5f, 0.1f, 0}, {5.0f, 0.2f, 0}}}), 6.3f,
       "the last COMPLETE part has no events"},
      {TwoExtremeEvents(), 6.3f, "there is no COMPLETE part"},
      {Only(CompletePart{1900.0f, 2000.0f, 4.5f, 0.1f, {{4.5f, 0.1f, 7}}}), 6.3f,
       "mean magnitude of the last COMPLETE part = its threshold"},
      {Only(CompletePart{1900.0f, 2000.0f, 5.0f, 0.1f, {{5.5f, 0.1f, 2}}}), 4.0f,
       "no events expected above the threshold of the last part"},
      {Only(ExtremePart{1900.0f, 1975.5f, {}}), 6.5f, "there are no EXTREME events",
       DataKind::Extremes},
      {Only(ExtremePart{1900.0f, 1975.5f, {{1930.0f, 6.5f, 0.2f}}}), 6.0f,
       "the EXTREME intervals give a zero denominator", DataKind::Extremes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    AnalysisOptions options = Options(4.0f, c.xmax);
    options.data_kind = c.kind;
    try {
      StartingPoint(c.catalog, options);
      ADD_FAILURE() << "a starting point was computed";
    } catch (const NoEstimate& none) {
      EXPECT_EQ(none.reason(), c.reason);
      EXPECT_EQ(std::string(none.what()),
                std::string("no starting point can be formed from this catalog: ") + c.reason);
    }
  }
}

// Xmax from the parts in use, the span of extremes and complete parts together
// (the span of each data kind: ThresholdDialog.FullSpanFollowsTheDataKind).
TEST(Resolve, DefaultsComeFromThePartsInUseAndThePriorSdHasAFloor) {
  Catalog catalog = ExampleRegion();
  catalog.complete[0].rows.push_back({7.1f, 0.2f, 1});
  AnalysisOptions options;
  options.data_kind = DataKind::Extremes;  // the complete parts' 7.1 is not in use
  EXPECT_EQ(Resolve(catalog, options).xmax, 6.7f);
  const ResolvedSettings all = Resolve(catalog, AnalysisOptions{});
  EXPECT_EQ(all.kind, DataKind::ExtremesAndComplete);
  EXPECT_EQ(all.xmax, 7.1f);
  EXPECT_EQ(all.span_t, (catalog.extreme->end - catalog.extreme->start) +
                            catalog.complete.back().end - catalog.complete.front().start);
  // A prior SD of b below 0.001 is raised to it.
  for (const auto& [sd, beta] : {std::pair{0.0f, 0.001f}, std::pair{0.0004f, 0.001f},
                                 std::pair{-0.2f, 0.001f}, std::pair{0.001f, 0.001f * 2.302585f}}) {
    AnalysisOptions prior;
    prior.prior_b_sd = sd;
    EXPECT_EQ(Resolve(OneCompletePart(), prior).prior_beta_sd, beta) << sd;
  }
}

TEST(Analyze, EachRunTakesThePreviousSuggestionUntilItSettles) {
  const Catalog catalog = ExampleRegion();
  AnalysisOptions options;
  options.mmin = 3.4f;
  AnalysisResult result = Analyze(catalog, options);
  const std::vector<RunResult> runs = result.runs;
  ASSERT_GE(runs.size(), 2u);
  EXPECT_LT(runs.size(), 20u);
  EXPECT_EQ(runs[0].mmax, result.start.mmax);
  for (std::size_t k = 1; k < runs.size(); ++k)
    EXPECT_EQ(runs[k].mmax, *runs[k - 1].suggested_mmax);
  EXPECT_GE(std::fabs(runs[runs.size() - 2].mmax - runs[runs.size() - 2].suggested_mmax.value()),
            options.mmax_tolerance);
  EXPECT_LT(std::fabs(runs.back().mmax - runs.back().suggested_mmax.value()),
            options.mmax_tolerance);
  EXPECT_TRUE(result.mmax_converged);
  EXPECT_EQ(result.mmax_status, MmaxStatus::Settled);
  EXPECT_EQ(result.beta, runs.back().beta);
  EXPECT_EQ(result.mmax, runs.back().mmax);

  // The run limit, a list of Mmax values and no procedure make exactly their runs.
  options.mmax_tolerance = 0.0f;  // never settles
  options.max_runs = 3;
  result = Analyze(catalog, options);
  EXPECT_EQ(result.runs.size(), 3u);
  EXPECT_FALSE(result.mmax_converged);
  EXPECT_EQ(result.mmax_status, MmaxStatus::Unsettled);
  // A cap ends the unsettled runs with one run at the cap: Mmax fixed there.
  options.mmax_cap = 7.2f;
  result = Analyze(catalog, options);
  ASSERT_EQ(result.runs.size(), 4u);
  EXPECT_EQ(result.mmax, 7.2f);
  EXPECT_EQ(result.mmax_status, MmaxStatus::Fixed);
  options.mmax_cap.reset();

  options.mmax_values = {7.5f, 7.0f};
  result = Analyze(catalog, options);
  ASSERT_EQ(result.runs.size(), 2u);
  EXPECT_EQ(result.runs[1].mmax, 7.0f);
  EXPECT_EQ(result.mmax, 7.0f);
  EXPECT_EQ(result.mmax_status, MmaxStatus::Fixed);  // given, whatever the suggestion

  options.mmax_values.clear();
  options.procedure = MmaxProcedure::None;
  result = Analyze(catalog, options);
  ASSERT_EQ(result.runs.size(), 1u);
  EXPECT_EQ(result.runs[0].mmax, result.start.mmax);
  EXPECT_FALSE(result.runs[0].suggested_mmax);
  EXPECT_FALSE(result.mmax_converged);
  EXPECT_EQ(result.mmax_status, MmaxStatus::Fixed);
}

TEST(Analyze, ErrorsAreTypedAndSayWhatIsWrong) {
  const auto with = [](const std::function<void(AnalysisOptions&)>& change) {
    AnalysisOptions options = Options(4.0f, 6.3f);
    change(options);
    return options;
  };
  Catalog unordered = TwoExtremeEvents();
  std::swap(unordered.extreme->events[0], unordered.extreme->events[1]);
  Catalog negative = OneCompletePart();
  negative.complete[0].rows[1].sd = -0.2f;
  const struct {
    Catalog catalog;
    AnalysisOptions options;
    std::string message;
  } cases[] = {
      {unordered, Options(4.0f, 6.3f),
       "extreme event 2 is not at least 0.001 year after the event before it"},
      {negative, Options(4.0f, 6.3f), "complete part 1, row 2: standard deviation -0.2 is below 0"},
      {Catalog{}, Options(4.0f, 6.3f),
       "the catalog has neither an extreme part nor a complete part"},
      {OneCompletePart(), with([](auto& o) { o.max_runs = 0; }),
       "max_runs is 0, expected a whole number from 1 to 1000"},
      {OneCompletePart(), with([](auto& o) { o.prior_b = std::nanf(""); }),
       "prior_b is nan, expected a number above 0, at most 3"},
      {OneCompletePart(), with([](auto& o) {
         o.start = StartingPointKind::Given, o.start_lambda = -1.0f, o.start_mmax = 7.0f;
       }),
       "start_lambda is -1, expected a number from 1e-30 to 1e+30"},
      // The rate above the part's threshold must not pass for the rate above Mmin.
      {OneCompletePart(), Options(4.2f, 6.3f),
       "Mmin 4.20 lies above the lowest completeness threshold 4.00 (complete part 1): the rate "
       "above that threshold would pass for the rate above Mmin; give an Mmin at or below 4.00"},
      {OneCompletePart(), with([](auto& o) { o.mmax_cap = 3.0f; }),
       "the cap on Mmax 3.000000 is not a finite number above Mmin 4.000000"},
  };
  for (const auto& c : cases) {
    try {
      Analyze(c.catalog, c.options);
      ADD_FAILURE() << c.message << ": no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.what(), c.message);
    }
  }
  EXPECT_THROW(Analyze(cases[0].catalog, cases[0].options), CatalogError);
  EXPECT_THROW(Analyze(cases[3].catalog, cases[3].options), InvalidOptions);
  EXPECT_THROW(Analyze(cases[5].catalog, cases[5].options), InvalidSetting);
  EXPECT_THROW(Analyze(cases[6].catalog, cases[6].options), InvalidOptions);
  // At the threshold, and with the complete parts out of use, Mmin is sound.
  EXPECT_NO_THROW(Resolve(OneCompletePart(), Options(4.0f, 6.3f)));
  AnalysisOptions extremes = Options(6.2f, 6.3f);
  extremes.data_kind = DataKind::Extremes;
  Catalog both = TwoExtremeEvents();
  both.complete = OneCompletePart().complete;
  EXPECT_NO_THROW(Resolve(both, extremes));
}

// An analysis that ends with figures that are no estimate fails with the
// figure named, never returns them; a raised cancellation flag ends it.
TEST(Analyze, FiguresThatAreNoEstimateAreAFailureNotAResult) {
  const struct {
    Catalog catalog;
    AnalysisOptions options;
    std::string figure;
    std::string message;
  } cases[] = {
      // (A SIG(Xmax) whose square leaves single precision is refused by the
      // settings' bounds before any run: tests/settings.)
      // A given Xmax below Mmin: the run at Xmax + 0.5 has no range above Mmin.
      {OneCompletePart(),
       [] {
         AnalysisOptions o = Options(4.0f, 3.0f);
         o.procedure = MmaxProcedure::None;
         return o;
       }(),
       "Mmax", "the analysis gives no usable estimate: Mmax 3.5 is not above Mmin 4"},
  };
  for (const auto& c : cases) {
    try {
      const AnalysisResult r = Analyze(c.catalog, c.options);
      ADD_FAILURE() << c.message << ": returned Beta " << r.beta << ", SD "
                    << r.uncertainties.sd_beta;
    } catch (const UnusableEstimate& e) {
      EXPECT_EQ(e.what(), c.message);
      EXPECT_EQ(e.figure(), c.figure);
    } catch (const Error& e) {
      ADD_FAILURE() << c.message << ": " << e.what();
    }
  }
  // The check itself, on a result made by hand: each figure in turn.
  AnalysisResult good = Analyze(ExampleRegion(), Options(3.4f, 6.3f));
  EXPECT_NO_THROW(CheckEstimates(good));
  const std::vector<std::pair<std::string, std::function<void(AnalysisResult&)>>> spoiled = {
      {"Beta", [](AnalysisResult& r) { r.beta = 1e-40f; }},
      {"Lambda", [](AnalysisResult& r) { r.lambda = 0.0f; }},
      {"SD(Beta)", [](AnalysisResult& r) { r.uncertainties.sd_beta = std::nanf(""); }},
      {"SD(Lambda)", [](AnalysisResult& r) { r.uncertainties.sd_lambda = INFINITY; }},
      {"the transmission coefficient",
       [](AnalysisResult& r) { r.uncertainties.transmission_coefficient = std::nanf(""); }},
      {"the contribution of part 2 to Lambda",
       [](AnalysisResult& r) { r.uncertainties.contributions.at(1).lambda = std::nanf(""); }},
      {"the data share of Beta",
       [](AnalysisResult& r) { r.uncertainties.data_share_beta = std::nanf(""); }},
      {"Mmax", [](AnalysisResult& r) { r.mmax = r.settings.mmin; }},
      {"Xmax", [](AnalysisResult& r) { r.settings.xmax = std::nanf(""); }},
  };
  for (const auto& [figure, spoil] : spoiled) {
    AnalysisResult r = good;
    spoil(r);
    try {
      CheckEstimates(r);
      ADD_FAILURE() << figure << ": passed";
    } catch (const UnusableEstimate& e) {
      EXPECT_EQ(e.figure(), figure) << e.what();
    }
  }
  std::atomic<bool> cancel{true};
  AnalysisOptions cancelled = Options(3.4f, 6.3f);
  cancelled.cancel = &cancel;
  EXPECT_THROW(Analyze(ExampleRegion(), cancelled), Cancelled);
}

// The hazard for the tools: models, spans and magnitudes that give no hazard
// are refused with the value and the bound; the classic table over a sound
// range is built as before.
TEST(Hazard, ModelsThatGiveNoHazardAreRefusedWithTheBound) {
  const HazardModel sound{2.3f, 10.0f, 0.5f, 3.0f, 7.0f};
  const std::vector<float> spans{50.0f, 100.0f};
  const struct {
    HazardModel model;
    std::vector<float> spans;
    std::vector<float> magnitudes;  // empty: the classic table
    std::string words;
  } cases[] = {
      {{std::nanf(""), 10.0f, 0.5f, 3.0f, 7.0f},
       spans,
       {},
       "the hazard's Beta nan is not a finite"},
      {{2.3f, 0.0f, 0.5f, 3.0f, 7.0f},
       spans,
       {},
       "the hazard's Lambda 0 is not a finite number at or above 1.18e-38"},
      {{2.3f, 1e-45f, 0.5f, 3.0f, 7.0f}, spans, {}, "the hazard's Lambda 1.401298e-45"},
      {sound, {50.0f, 1e-45f}, {}, "the hazard span 2 (years) 1.401298e-45"},
      {sound, {-1.0f}, {}, "the hazard span 1 (years) -1"},
      {{2.3f, 10.0f, -0.5f, 3.0f, 7.0f},
       spans,
       {},
       "SD of Lambda -0.5 is not a finite number at or above 0"},
      {{2.3f, 10.0f, 0.5f, 7.0f, 7.0f}, spans, {}, "the hazard's Mmax 7 is not above its Mmin 7"},
      {{2.3f, 10.0f, 0.5f, 3.0f, INFINITY}, spans, {}, "must be finite numbers"},
      {{2.3f, 10.0f, 0.5f, -1e6f, 7.0f},
       spans,
       {},
       "the hazard table from Mmin -1000000 to Mmax 7 in steps of 0.1 would have 10000071 rows, "
       "more than the 10000"},
      {{1e30f, 10.0f, 0.5f, 3.0f, 7.0f}, spans, {4.0f}, "gives no finite hazard at magnitude 4"},
      {sound, spans, {4.0f, std::nanf("")}, "the hazard magnitude nan is not a finite number"},
      {sound, spans, std::vector<float>(10001, 4.0f),
       "the list of hazard magnitudes would have 10001 rows"},
  };
  for (const auto& c : cases) {
    try {
      if (c.magnitudes.empty()) {
        HazardTable(c.model, c.spans);
      } else {
        CheckedHazard(c.model, c.magnitudes, c.spans);
      }
      ADD_FAILURE() << c.words << ": accepted";
    } catch (const InvalidOptions& e) {
      EXPECT_NE(std::string(e.what()).find(c.words), std::string::npos) << e.what();
    }
  }
  // The bound counts the rows the table has.
  EXPECT_EQ(HazardTableRows(sound), HazardTable(sound, spans).size());
  EXPECT_EQ(CheckedHazard(sound, {4.0f}, spans).front().annual_rate,
            Hazard(sound, {4.0f}, spans).front().annual_rate);
}

}  // namespace
}  // namespace qev
