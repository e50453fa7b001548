#include "setup/starting_point.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "estimation/likelihood.h"
#include "harness/harness.h"

namespace qev {
namespace {

using testing::CountOf;
using testing::Lines;
using testing::ProcedureRun;

// Screen feed of the prior and starting-point screens.
constexpr int kClearLines = 30;
// Relative agreement of a start computed in single precision with the same
// formula in double precision: a few roundings of single precision.
constexpr double kSingleRounding = 2e-6;

void AddRow(CompletePart& part, int magHundredths, int sdHundredths, int frequency) {
  MagnitudeRow& row = part.Rows[static_cast<std::size_t>(part.RowCount)];
  row = MagnitudeRow{magHundredths, sdHundredths, frequency};
  part.RowCount += 1.0f;
  part.EventCount += static_cast<float>(frequency);
}

// One complete part 1900-2000 above 4.0: ten events of 4.5 and three of 5.0.
void OneCompletePart(Session& s) {
  s.settings.Units = 1;
  s.settings.DataKind = 2;
  s.settings.RunNumber = 1;
  s.settings.Mmin = 4.0f;
  s.settings.Xmax = 6.3f;
  CompletePart& part = s.catalog.Parts[0];
  part.Start = 1900.0f;
  part.End = 2000.0f;
  part.Threshold = 4.0f;
  part.Sd = 0.1f;
  AddRow(part, 450, 10, 10);
  AddRow(part, 500, 20, 3);
  s.catalog.PartCount = 1;
}

// Two extreme events: 6.0 (SD 0.2) after 30 years and 6.5 (SD 0.3) after 45.5.
// The only complete part replaced by `frequency` events of one magnitude.
void OnlyRow(Session& s, float threshold, int magHundredths, int frequency) {
  OneCompletePart(s);
  CompletePart& part = s.catalog.Parts[0];
  part = CompletePart{};
  part.Start = 1900.0f;
  part.End = 2000.0f;
  part.Threshold = threshold;
  part.Sd = 0.1f;
  AddRow(part, magHundredths, 10, frequency);
}

void TwoExtremeEvents(Session& s, float xmax) {
  s.settings.Units = 1;
  s.settings.DataKind = 1;
  s.settings.RunNumber = 1;
  s.settings.Mmin = 5.0f;
  s.settings.Xmax = xmax;
  ExtremeCatalog& ex = s.catalog.Extreme;
  ex.Start = 1900.0f;
  ex.End = 1975.5f;
  ex.Events[0] = Event{600, 20, 30000};
  ex.Events[1] = Event{650, 30, 45500};
  ex.EventCount = 2.0f;
}

TEST(StartingPoint, KeyboardStartBuildsTheSimplexAroundThePrior) {
  ProcedureRun h("1.0 0.1\n2\n0.2\n7.0\n");
  OneCompletePart(h.session);
  ASSERT_FALSE(h.Run(PrepareStartingPoint));
  const SessionSettings& set = h.session.settings;
  const ModelParameters& model = h.session.model;
  EXPECT_EQ(set.PriorBeta, 2.302585f);
  EXPECT_FLOAT_EQ(set.PriorBetaSD, 0.2302585f);
  EXPECT_EQ(set.StartBeta, set.PriorBeta);
  EXPECT_EQ(set.StartLambda, 0.2f);
  EXPECT_EQ(model.Beta, set.StartBeta);
  EXPECT_EQ(model.Lambda, 0.2f);
  EXPECT_EQ(model.Mmax, 7.0f);

  const Simplex& simplex = h.session.simplex;
  const float beta0 = set.StartBeta;
  EXPECT_EQ(simplex.Vertex[0], (std::array<float, 2>{beta0, 0.2f}));
  EXPECT_EQ(simplex.Vertex[1], (std::array<float, 2>{1.05f * beta0, 0.2f}));
  EXPECT_EQ(simplex.Vertex[2], (std::array<float, 2>{beta0, 1.05f * 0.2f}));
  const LikelihoodData data = MakeLikelihoodData(h.session.catalog, set, model);
  EXPECT_EQ(simplex.Value[0], NegLogLikelihood(data, beta0, 0.2f));
}

TEST(StartingPoint, PriorSdIsRaisedToTheFloor) {
  struct Case {
    const char* answer;
    float priorBetaSD;
    const char* fileLine;
  };
  for (const Case& c :
       {Case{"1.0 0\n", 0.001f, "  PRIOR b-value & SD[of PRIOR b] = 1.00      .000\r\n"},
        Case{"0.9 0.0004\n", 0.001f, "  PRIOR b-value & SD[of PRIOR b] =  .90      .000\r\n"},
        Case{"1.1 -0.2\n", 0.001f, "  PRIOR b-value & SD[of PRIOR b] = 1.10     -.200\r\n"},
        Case{"1.0 0.001\n", 0.001f * 2.302585f,
             "  PRIOR b-value & SD[of PRIOR b] = 1.00      .001\r\n"}}) {
    SCOPED_TRACE(c.answer);
    ProcedureRun h(std::string(c.answer) + "2\n0.2\n7.0\n");
    OneCompletePart(h.session);
    ASSERT_FALSE(h.Run(PrepareStartingPoint));
    EXPECT_EQ(h.session.settings.PriorBetaSD, c.priorBetaSD);
    EXPECT_EQ(h.File(), c.fileLine);
  }
}

// Below Xmax the keyboard Mmax is used as typed; one not above Mmin leaves the
// law no range and is asked again, silently.
TEST(StartingPoint, KeyboardMmaxBelowXmaxIsUsedAndOneNotAboveMminIsAskedAgain) {
  for (const char* answers : {"5.5\n", "4.0\n0\n5.5\n"}) {
    SCOPED_TRACE(answers);
    ProcedureRun h(std::string("1.0 0.1\n2\n0.2\n") + answers);
    OneCompletePart(h.session);
    ASSERT_FALSE(h.Run(PrepareStartingPoint));
    const ModelParameters& model = h.session.model;
    EXPECT_EQ(model.Mmax, 5.5f);
    EXPECT_EQ(model.ExpMax, std::exp(-(5.5f * model.Beta)));
    EXPECT_EQ(model.ExpMin, std::exp(-(model.Beta * 4.0f)));
    EXPECT_EQ(CountOf(h.Console(), " Enter Mmax (NOT LESS than  6.30)"),
              answers[0] == '4' ? 3u : 1u);
  }
}

TEST(StartingPoint, LaterRunsStartFromTheSamePointAgainstTheNewMmax) {
  ProcedureRun h("1.0 0.1\n1\n");
  OneCompletePart(h.session);
  ASSERT_FALSE(h.Run(PrepareStartingPoint));
  const float beta0 = h.session.settings.StartBeta;
  const float lambda0 = h.session.settings.StartLambda;
  const float firstValue = h.session.simplex.Value[0];
  const std::size_t firstRunConsole = h.Console().size();

  // The run's estimates and the next Mmax; no answers are left to read.
  h.session.model.Beta = 3.0f;
  h.session.model.Lambda = 9.0f;
  h.session.model.Mmax = 7.5f;
  h.session.settings.RunNumber = 2;
  ASSERT_FALSE(h.Run(PrepareStartingPoint));

  EXPECT_EQ(h.session.settings.StartBeta, beta0);
  EXPECT_EQ(h.session.settings.StartLambda, lambda0);
  EXPECT_EQ(h.session.model.Beta, beta0);
  EXPECT_EQ(h.session.model.Lambda, lambda0);
  EXPECT_EQ(h.session.model.Mmax, 7.5f);
  EXPECT_EQ(h.session.simplex.Vertex[0], (std::array<float, 2>{beta0, lambda0}));
  EXPECT_NE(h.session.simplex.Value[0], firstValue);  // evaluated with Mmax 7.5
  EXPECT_EQ(h.Console().substr(firstRunConsole), Lines().Empty(kClearLines).str());
  EXPECT_EQ(CountOf(h.File(), "PRIOR b-value"), 1u);
}

TEST(StartingPoint, ByProgramFromExtremesUsesFixedBetaAndTheIntervals) {
  struct Case {
    int units;
    float beta;
  };
  for (const Case& c : {Case{1, 1.9f}, Case{2, 1.0f}, Case{3, 1.9f}}) {
    SCOPED_TRACE(c.units);
    ProcedureRun h("1.0 0.1\n1\n");
    TwoExtremeEvents(h.session, 6.5f);
    h.session.settings.Units = c.units;
    ASSERT_FALSE(h.Run(PrepareStartingPoint));

    const double beta = c.beta;
    const double expMin = std::exp(-beta * 5.0);
    const double expMax = std::exp(-beta * 7.0);
    const double s1 = (30.0 + 45.5) / 2.0;
    const double s2 = (std::exp(-beta * 6.0) * 30.0 + std::exp(-beta * 6.5) * 45.5) / 2.0;
    const double c0 = beta * beta * 0.2 * 0.2 / 2.0;  // SD of the first event
    const double lambda = (expMax - expMin) / ((expMax * s1 - s2) * std::exp(c0));

    EXPECT_EQ(h.session.model.Mmax, 7.0f);
    EXPECT_EQ(h.session.settings.StartBeta, c.beta);
    EXPECT_NEAR(h.session.settings.StartLambda, lambda, lambda * kSingleRounding * 10);
    EXPECT_GT(h.session.settings.StartLambda, 0.0f);
  }
}

TEST(StartingPoint, ByProgramMmaxIsXmaxPlusHalfCappedAt12001) {
  struct Case {
    float xmax;
    float mmax;
  };
  for (const Case& c : {Case{11.7f, 12.001f}, Case{11.5f, 12.0f}, Case{6.3f, 6.8f}}) {
    SCOPED_TRACE(c.xmax);
    ProcedureRun h("1.0 0.1\n1\n");
    TwoExtremeEvents(h.session, c.xmax);
    ASSERT_FALSE(h.Run(PrepareStartingPoint));
    EXPECT_EQ(h.session.model.Mmax, c.mmax);
  }
}

TEST(StartingPoint, ByProgramFromCompletePartsUsesThePartReadLast) {
  ProcedureRun h("1.0 0.1\n3\n");
  Session& s = h.session;
  OneCompletePart(s);
  s.settings.DataKind = 3;
  s.settings.Mmin = 3.0f;
  s.settings.Xmax = 6.0f;
  // The last part moves to slot 2; slot 1 gets a part of quite other data.
  s.catalog.Parts[1] = s.catalog.Parts[0];
  s.catalog.Parts[0] = CompletePart{};
  s.catalog.Parts[0].Start = 1950.0f;
  s.catalog.Parts[0].End = 1960.0f;
  s.catalog.Parts[0].Threshold = 3.0f;
  s.catalog.Parts[0].Sd = 0.3f;
  AddRow(s.catalog.Parts[0], 380, 30, 40);
  s.catalog.PartCount = 2;
  ASSERT_FALSE(h.Run(PrepareStartingPoint));

  const double beta = 1.0 / ((10 * 4.5 + 3 * 5.0) / 13.0 - 4.0);
  const double expMin = std::exp(-beta * 3.0);
  const double expMax = std::exp(-beta * 6.5);
  const double cdfAtThreshold = (expMin - std::exp(-beta * 4.0)) / (expMin - expMax);
  const double c = beta * beta * 0.1 * 0.1 / 2.0;
  const double lambda = 13.0 / 100.0 / ((1.0 - cdfAtThreshold) * std::exp(c));

  EXPECT_EQ(s.model.Mmax, 6.5f);
  EXPECT_NEAR(s.settings.StartBeta, beta, beta * kSingleRounding);
  EXPECT_NEAR(s.settings.StartLambda, lambda, lambda * kSingleRounding * 10);
  EXPECT_EQ(s.simplex.Vertex[0],
            (std::array<float, 2>{s.settings.StartBeta, s.settings.StartLambda}));
}

// A start by program that cannot be computed (a division by zero) stops with
// a message box naming the reason.
TEST(StartingPoint, ByProgramThatCannotBeComputedIsRefusedWithAMessageBox) {
  struct Case {
    const char* what;
    void (*prepare)(Session&);
    const char* reason;
  };
  const Case cases[] = {
      {"no complete part at all",
       [](Session& s) {
         OneCompletePart(s);
         s.catalog.PartCount = 0;
       },
       "   (there is no COMPLETE part)"},
      {"threshold of the last part above Mmax",
       [](Session& s) {
         OnlyRow(s, 5.0f, 550, 2);
         s.settings.Xmax = 4.0f;  // Mmax 4.5
       },
       "   (no events expected above the threshold of the last part)"},
      {"no extreme events",
       [](Session& s) {
         TwoExtremeEvents(s, 6.5f);
         s.catalog.Extreme.EventCount = 0.0f;
       },
       "   (there are no EXTREME events)"},
      {"every extreme event at Mmax",
       [](Session& s) {
         TwoExtremeEvents(s, 6.0f);  // Mmax 6.5
         s.catalog.Extreme.Events[0] = Event{650, 20, 30000};
         s.catalog.Extreme.EventCount = 1.0f;
       },
       "   (the EXTREME intervals give a zero denominator)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ProcedureRun h("1.0 0.1\n1\n");
    c.prepare(h.session);
    EXPECT_EQ(h.Run(PrepareStartingPoint)->ExitStatus, kExitError);
    EXPECT_NE(h.Console().find("\r\n" + std::string(c.reason) + "\r\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace qev
