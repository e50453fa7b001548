#include "setup/starting_point.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "catalog/catalog.h"
#include "estimation/likelihood.h"
#include "estimation/math_functions.h"
#include "textio/stop.h"

namespace qev {
namespace {

// Screen feed of this dialog: 29 slashes, 30 empty records.
constexpr const char* kClearing = "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

// Factor from a decimal b-value to Beta (ln 10).
constexpr float kLn10 = 2.302585f;
// Smallest standard deviation of the prior Beta.
constexpr float kSmallestPriorBetaSD = 0.001f;

void Clear(ReportSink& sink) { sink.Format(Dest::Console, kClearing); }

// The starting point cannot be computed from this catalog (a time span or an
// event count of zero, a mean magnitude at the threshold, a zero denominator
// from the extreme intervals): say so and suggest the keyboard start, instead
// of handing an infinity or an undefined value to the estimation.
[[noreturn]] void StartingPointUnusable(Session& session, const std::string& reason) {
  ReportSink& sink = session.io.Sink();
  const std::string ruler = " " + std::string(56, '*');
  Clear(sink);
  sink.ConsoleLine(ruler);
  sink.ConsoleLine(" STARTING point CANNOT be computed from this catalog !!!");
  sink.ConsoleLine("   " + reason);
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Run the program again and choose the starting point");
  sink.ConsoleLine("   from keyboard ................... (2)");
  sink.ConsoleLine(ruler);
  sink.ConsoleEmpty();
  StopWithError();
}

void SetExponentials(Session& session) {
  ModelParameters& model = session.model;
  model.ExpMin = std::exp(-(model.Beta * session.settings.Mmin));
  model.ExpMax = std::exp(-(model.Mmax * model.Beta));
}

void AskPrior(Session& session) {
  ReportSink& sink = session.io.Sink();
  SessionSettings& settings = session.settings;
  Clear(sink);
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine("  PRIOR INFORMATION ON b-value of Gutenberg-Richter");
  sink.ConsoleLine(" ---------------------------------------------------");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine(" ENTER: Prior b-value of Gutenberg-Richter and its STANDARD DEVIATION ...");
  sink.ConsoleLine("        (SUGGESTED VALUES: b = 1.0  and  SD[b] = 0.1)");
  sink.ConsoleEmpty();
  float b = 0.0f;
  float sdB = 0.0f;
  session.io.ReadConsole({&b, &sdB});
  sink.Format(Dest::File, "('  PRIOR b-value & SD[of PRIOR b] = ',F4.2,'   ',F7.3)", {b, sdB});

  settings.PriorBeta = b * kLn10;
  settings.PriorBetaSD = sdB * kLn10;
  if (!(settings.PriorBetaSD >= kSmallestPriorBetaSD)) settings.PriorBetaSD = kSmallestPriorBetaSD;
}

void StartFromKeyboard(Session& session) {
  ReportSink& sink = session.io.Sink();
  ModelParameters& model = session.model;
  model.Beta = session.settings.PriorBeta;
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Enter first approximation of LAMBDA = ");
  sink.Format(Dest::Console, "(' (LAMBDA should be given for Mmin=',F4.1,')')",
              {session.settings.Mmin});
  sink.ConsoleEmpty();
  session.io.ReadConsole({&model.Lambda});
  sink.ConsoleEmpty();
  // Taken as typed, even below Xmax. An Mmax not above Mmin leaves no
  // magnitude range for the law at all: the prompt is asked again, silently,
  // as the other bounded entries of the dialogs are.
  do {
    sink.Format(Dest::Console, "('  Enter Mmax (NOT LESS than ',F5.2,')')",
                {session.settings.Xmax});
    sink.ConsoleEmpty();
    session.io.ReadConsole({&model.Mmax});
  } while (!(model.Mmax > session.settings.Mmin));
  SetExponentials(session);
}

// Only extremes: Beta fixed by the units, Lambda from the mean interval and
// the mean of exp(-Beta m) weighted by the intervals.
void StartFromExtremes(Session& session) {
  const ExtremeCatalog& extreme = session.catalog.Extreme;
  ModelParameters& model = session.model;
  const std::int32_t count =
      static_cast<std::int32_t>(std::clamp(extreme.EventCount, 0.0f, float(nex)));
  if (count < 1) StartingPointUnusable(session, "(there are no EXTREME events)");

  model.Beta = session.settings.Units == 2 ? 1.0f : 1.9f;
  SetExponentials(session);
  // The first event's SD stands for all.
  const float s = static_cast<float>(extreme.Events[0].SdHundredths) * 0.01f;
  const float c = model.Beta * model.Beta * s * s / 2.0f;

  float s1 = 0.0f;
  float s2 = 0.0f;
  for (std::int32_t i = 0; i < count; ++i) {
    const Event& event = extreme.Events[static_cast<std::size_t>(i)];
    const float m = static_cast<float>(event.MagHundredths) * 0.01f;
    const float d = static_cast<float>(event.IntervalThousandths) * 0.001f;
    s1 = s1 + d;
    s2 = s2 + std::exp(-model.Beta * m) * d;
  }
  s1 = s1 / extreme.EventCount;
  s2 = s2 / extreme.EventCount;

  const float denominator = (model.ExpMax * s1 - s2) * std::exp(c);
  if (denominator == 0.0f) {
    StartingPointUnusable(session, "(the EXTREME intervals give a zero denominator)");
  }
  model.Lambda = (model.ExpMax - model.ExpMin) / denominator;
}

// Complete parts: Beta from the mean magnitude of the part read last, Lambda
// from its rate carried down to Mmin and corrected for the magnitude errors.
void StartFromLastCompletePart(Session& session) {
  const Catalog& catalog = session.catalog;
  ModelParameters& model = session.model;
  if (catalog.PartCount < 1 || catalog.PartCount > ncpx) {
    StartingPointUnusable(session, "(there is no COMPLETE part)");
  }
  const CompletePart& part = catalog.Parts[static_cast<std::size_t>(catalog.PartCount - 1)];
  if (part.EventCount == 0.0f) {
    StartingPointUnusable(session, "(the last COMPLETE part has no events)");
  }
  const float span = part.End - part.Start;
  if (span == 0.0f) {
    StartingPointUnusable(session, "(the time span of the last COMPLETE part is zero)");
  }

  const std::int32_t rows = static_cast<std::int32_t>(std::clamp(part.RowCount, 0.0f, float(nfx)));
  float mean = 0.0f;
  for (std::int32_t j = 0; j < rows; ++j) {
    const MagnitudeRow& row = part.Rows[static_cast<std::size_t>(j)];
    mean =
        mean + static_cast<float>(row.Frequency) * (static_cast<float>(row.MagHundredths) * 0.01f);
  }
  mean = mean / part.EventCount;
  const float excess = mean - part.Threshold;
  if (excess == 0.0f) {
    StartingPointUnusable(session, "(mean magnitude of the last COMPLETE part = its threshold)");
  }

  model.Beta = 1.0f / excess;
  if (!std::isfinite(model.Beta)) {
    StartingPointUnusable(session, "(mean magnitude of the last COMPLETE part = its threshold)");
  }
  SetExponentials(session);
  const float c = model.Beta * model.Beta * part.Sd * part.Sd / 2.0f;
  model.Lambda = part.EventCount / span;

  const LawState law = MakeLaw(model.Beta, model.Lambda, session.settings.Mmin, model.Mmax);
  const float denominator = (1.0f - MagnitudeCdf(law, part.Threshold)) * std::exp(c);
  if (denominator == 0.0f) {
    StartingPointUnusable(session, "(no events expected above the threshold of the last part)");
  }
  model.Lambda = model.Lambda / denominator;
}

void StartByProgram(Session& session) {
  ModelParameters& model = session.model;
  model.Mmax = session.settings.Xmax + 0.5f;
  if (model.Mmax > 12.0f) model.Mmax = 12.001f;

  if (session.settings.DataKind == 1) {
    StartFromExtremes(session);
  } else {
    StartFromLastCompletePart(session);
  }
  if (!std::isfinite(model.Beta) || !std::isfinite(model.Lambda)) {
    StartingPointUnusable(session, "(the computed values are not finite numbers)");
  }
}

void ChooseStartingPoint(Session& session) {
  ReportSink& sink = session.io.Sink();
  Clear(sink);
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine("         STARTING values of LAMBDA & Mmax");
  sink.ConsoleLine("    -----------------------------------------------");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Starting point is determined :");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine("   by program ...................... (1)");
  sink.ConsoleLine("   from keyboard ................... (2)");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Enter proper NUMBER ...");
  sink.ConsoleEmpty();
  std::int32_t answer = 0;
  session.io.ReadConsole({&answer});
  if (answer == 2) {
    StartFromKeyboard(session);
  } else {
    StartByProgram(session);
  }
  session.settings.StartBeta = session.model.Beta;
  session.settings.StartLambda = session.model.Lambda;
}

}  // namespace

void PrepareStartingPoint(Session& session) {
  Clear(session.io.Sink());
  if (session.settings.RunNumber <= 1) {
    AskPrior(session);
    ChooseStartingPoint(session);
  }
  // Every run starts from the same point, against the run's Mmax.
  session.model.Beta = session.settings.StartBeta;
  session.model.Lambda = session.settings.StartLambda;
  session.simplex =
      BuildStartingSimplex(MakeLikelihoodData(session.catalog, session.settings, session.model),
                           session.settings.StartBeta, session.settings.StartLambda);
}

}  // namespace qev
