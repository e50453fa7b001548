// The analysis steps of the public API: the starting point by program and
// the catalogs that give none, the settings resolved from the catalog, the
// runs of Analyze and what ends them, and the errors as types.
#include "qev/analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "qev/classic_files.h"
#include "qev/errors.h"

namespace qev {
namespace {

// One complete part 1900-2000 above 4.0: ten events of 4.5 and three of 5.0.
Catalog OneCompletePart() {
  Catalog catalog;
  catalog.complete.push_back({1900.0f, 2000.0f, 4.0f, 0.1f, {{4.5f, 0.1f, 10}, {5.0f, 0.2f, 3}}});
  return catalog;
}

// Two extreme events: 6.0 (SD 0.2) after 30 years and 6.5 (SD 0.3) after 45.5.
Catalog TwoExtremeEvents() {
  Catalog catalog;
  catalog.extreme = ExtremePart{1900.0f, 1975.5f, {{1930.0f, 6.0f, 0.2f}, {1975.5f, 6.5f, 0.3f}}};
  return catalog;
}

// The bundled example region: the extreme part and both complete parts.
Catalog ExampleRegion() {
  const std::string dir = QEV_EXAMPLES_DIR;
  Catalog catalog;
  std::ifstream extreme(dir + "/ext_l1.dat");
  catalog.extreme = ReadExtremeFile(extreme, "ext_l1.dat", ExtremeLayout::PerEventSd).part;
  for (const char* name : {"cp1900_l2.dat", "cp1960_l2.dat"}) {
    std::ifstream part(dir + "/" + name);
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

TEST(StartingPoint, GivenStartTakesBetaFromThePriorAndNeedsAnMmaxAboveMmin) {
  AnalysisOptions options = Options(4.0f, 6.3f);
  options.start = StartingPointKind::Given;
  options.start_lambda = 0.2f;
  options.start_mmax = 5.5f;  // below Xmax: taken as given
  const StartingValues start = StartingPoint(OneCompletePart(), options);
  EXPECT_EQ(start.beta, 1.0f * 2.302585f);
  EXPECT_EQ(start.lambda, 0.2f);
  EXPECT_EQ(start.mmax, 5.5f);
  options.start_mmax = 4.0f;
  EXPECT_THROW(StartingPoint(OneCompletePart(), options), InvalidOptions);
}

// Every division by zero of the start by program is refused with its reason.
TEST(StartingPoint, CatalogsThatGiveNoStartAreRefusedWithTheReason) {
  struct Case {
    std::function<Catalog()> catalog;
    float xmax;
    const char* reason;
    DataKind kind = DataKind::ExtremesAndComplete;  // starts from the complete parts
  };
  const Case cases[] = {
      {[] {
         Catalog c = OneCompletePart();
         c.complete[0].end = 1900.0f;
         return c;
       },
       6.3f, "the time span of the last COMPLETE part is zero"},
      {[] {
         Catalog c = OneCompletePart();
         for (MagnitudeRow& row : c.complete[0].rows) row.frequency = 0;
         return c;
       },
       6.3f, "the last COMPLETE part has no events"},
      {[] {
         Catalog c = TwoExtremeEvents();
         c.complete.clear();
         return c;
       },
       6.3f, "there is no COMPLETE part"},
      {[] {
         Catalog c = OneCompletePart();
         c.complete[0].threshold = 4.5f;
         c.complete[0].rows = {{4.5f, 0.1f, 7}};
         return c;
       },
       6.3f, "mean magnitude of the last COMPLETE part = its threshold"},
      {[] {
         Catalog c = OneCompletePart();
         c.complete[0].threshold = 5.0f;
         c.complete[0].rows = {{5.5f, 0.1f, 2}};
         return c;
       },
       4.0f, "no events expected above the threshold of the last part"},
      {[] {
         Catalog c = TwoExtremeEvents();
         c.extreme->events.clear();
         return c;
       },
       6.5f, "there are no EXTREME events", DataKind::Extremes},
      {[] {
         Catalog c = TwoExtremeEvents();
         c.extreme->events = {{1930.0f, 6.5f, 0.2f}};
         return c;
       },
       6.0f, "the EXTREME intervals give a zero denominator", DataKind::Extremes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    AnalysisOptions options = Options(4.0f, c.xmax);
    options.data_kind = c.kind;
    try {
      StartingPoint(c.catalog(), options);
      ADD_FAILURE() << "a starting point was computed";
    } catch (const NoEstimate& none) {
      EXPECT_EQ(none.reason(), c.reason);
      EXPECT_EQ(std::string(none.what()),
                std::string("no starting point can be formed from this catalog: ") + c.reason);
    }
  }
}

TEST(Resolve, DefaultsComeFromThePartsInUse) {
  Catalog catalog = ExampleRegion();
  struct Case {
    DataKind kind;
    float xmax;
    float span;
  };
  const float extremeSpan = catalog.extreme->end - catalog.extreme->start;
  const float completeSpan = catalog.complete.back().end - catalog.complete.front().start;
  for (const Case& c :
       {Case{DataKind::Extremes, 6.7f, extremeSpan}, Case{DataKind::Complete, 6.7f, completeSpan},
        Case{DataKind::ExtremesAndComplete, 6.7f,
             extremeSpan + catalog.complete.back().end - catalog.complete.front().start}}) {
    AnalysisOptions options;
    options.data_kind = c.kind;
    const ResolvedSettings settings = Resolve(catalog, options);
    EXPECT_EQ(settings.kind, c.kind);
    EXPECT_EQ(settings.xmax, c.xmax);
    EXPECT_EQ(settings.span_t, c.span);
  }
  catalog.complete[0].rows.push_back({7.1f, 0.2f, 1});
  AnalysisOptions options;
  options.data_kind = DataKind::Extremes;  // the complete parts' 7.1 is not in use
  EXPECT_EQ(Resolve(catalog, options).xmax, 6.7f);
  EXPECT_EQ(Resolve(catalog, AnalysisOptions{}).xmax, 7.1f);
  EXPECT_EQ(Resolve(catalog, AnalysisOptions{}).kind, DataKind::ExtremesAndComplete);
}

TEST(Resolve, PriorSdIsRaisedToTheFloor) {
  for (const auto& [sd, beta] : {std::pair{0.0f, 0.001f}, std::pair{0.0004f, 0.001f},
                                 std::pair{-0.2f, 0.001f}, std::pair{0.001f, 0.001f * 2.302585f}}) {
    AnalysisOptions options;
    options.prior_b_sd = sd;
    EXPECT_EQ(Resolve(OneCompletePart(), options).prior_beta_sd, beta) << sd;
  }
}

TEST(Analyze, EachRunTakesThePreviousSuggestionUntilItSettles) {
  const Catalog catalog = ExampleRegion();
  AnalysisOptions options;
  options.mmin = 3.4f;
  const AnalysisResult result = Analyze(catalog, options);
  const std::vector<RunResult>& runs = result.runs;
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
  EXPECT_EQ(result.beta, runs.back().beta);
  EXPECT_EQ(result.mmax, runs.back().mmax);

  // The steps one by one give the same floats (the classic dialog calls them).
  const StartingValues start = StartingPoint(catalog, options);
  EXPECT_EQ(start.lambda, result.start.lambda);
  const RunResult last = EstimateRun(catalog, options, start, runs.back().mmax);
  EXPECT_EQ(last.beta, result.beta);
  EXPECT_EQ(last.lambda, result.lambda);
  EXPECT_EQ(last.iterations, runs.back().iterations);
  const Uncertainties u =
      EstimateUncertainties(catalog, options, last.beta, last.lambda, last.mmax);
  EXPECT_EQ(u.sd_beta, result.uncertainties.sd_beta);
  EXPECT_EQ(u.sd_lambda, result.uncertainties.sd_lambda);
  EXPECT_EQ(u.contributions.size(), 3u);
}

TEST(Analyze, RunLimitListsAndNoProcedureMakeExactlyTheirRuns) {
  const Catalog catalog = ExampleRegion();
  AnalysisOptions options;
  options.mmin = 3.4f;
  options.mmax_tolerance = 0.0f;  // never settles
  options.max_runs = 3;
  AnalysisResult result = Analyze(catalog, options);
  EXPECT_EQ(result.runs.size(), 3u);
  EXPECT_FALSE(result.mmax_converged);

  options.mmax_values = {7.5f, 7.0f};
  result = Analyze(catalog, options);
  ASSERT_EQ(result.runs.size(), 2u);
  EXPECT_EQ(result.runs[1].mmax, 7.0f);
  EXPECT_EQ(result.mmax, 7.0f);

  options.mmax_values.clear();
  options.procedure = MmaxProcedure::None;
  result = Analyze(catalog, options);
  ASSERT_EQ(result.runs.size(), 1u);
  EXPECT_EQ(result.runs[0].mmax, result.start.mmax);
  EXPECT_FALSE(result.runs[0].suggested_mmax);
  EXPECT_FALSE(result.mmax_converged);
}

TEST(Analyze, ErrorsAreTypedAndSayWhatIsWrong) {
  const auto messageOf = [](const std::function<void()>& call) -> std::string {
    try {
      call();
    } catch (const Error& error) {
      return error.what();
    }
    return "no error";
  };
  AnalysisOptions options = Options(4.0f, 6.3f);
  Catalog unordered = TwoExtremeEvents();
  std::swap(unordered.extreme->events[0], unordered.extreme->events[1]);
  Catalog negative = OneCompletePart();
  negative.complete[0].rows[1].sd = -0.2f;
  AnalysisOptions noRuns = options;
  noRuns.max_runs = 0;
  AnalysisOptions negativeLambda = options;
  negativeLambda.start = StartingPointKind::Given;
  negativeLambda.start_lambda = -1.0f;
  negativeLambda.start_mmax = 7.0f;
  AnalysisOptions undefinedPrior = options;
  undefinedPrior.prior_b = std::numeric_limits<float>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<void()> call;
    std::string message;
  };
  const Case cases[] = {
      {"events out of order", [&] { Analyze(unordered, options); },
       "extreme event 2 is not at least 0.001 year after the event before it"},
      {"negative SD", [&] { Analyze(negative, options); },
       "complete part 1, row 2: standard deviation -0.2 is below 0"},
      {"no part at all", [&] { Analyze(Catalog{}, options); },
       "the catalog has neither an extreme part nor a complete part"},
      {"no run", [&] { Analyze(OneCompletePart(), noRuns); }, "max_runs 0 is below 1"},
      {"undefined prior", [&] { Analyze(OneCompletePart(), undefinedPrior); },
       "the prior b-value nan is not a finite number"},
      {"negative Lambda", [&] { Analyze(OneCompletePart(), negativeLambda); },
       "the trial point Beta = 2.302585, Lambda = -1.000000 is not positive: the data do not "
       "determine the parameters"},
  };
  for (const Case& c : cases) EXPECT_EQ(messageOf(c.call), c.message) << c.what;
  EXPECT_THROW(Analyze(unordered, options), CatalogError);
  EXPECT_THROW(Analyze(OneCompletePart(), noRuns), InvalidOptions);
  EXPECT_THROW(Analyze(OneCompletePart(), negativeLambda), TrialPointNotPositive);
}

}  // namespace
}  // namespace qev
