#include "classic/starting_point.h"

#include <cstdint>
#include <string>

#include "classic/session.h"
#include "console/stop.h"
#include "qev/analysis.h"
#include "qev/classic_bounds.h"
#include "qev/errors.h"

namespace qev {
namespace {

// A prior b-value above classic::kLargestPriorB is asked again. A b-value of
// 0 or below is taken: as the starting Beta of a keyboard start it ends the
// session with the box of the trial point not above zero.
using classic::kLargestPriorB;

// Screen feed of this dialog: 29 slashes, 30 empty records.
constexpr const char* kClearing = "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

void Clear(ReportSink& sink) { sink.Format(Dest::Console, kClearing); }

// The starting point cannot be computed from this catalog (a time span or an
// event count of zero, a mean magnitude at the threshold, a zero denominator
// from the extreme intervals): say so and suggest the keyboard start, instead
// of handing an infinity or an undefined value to the estimation.
[[noreturn]] void StartingPointUnusable(TextIo& io, const std::string& reason) {
  ReportSink& sink = io.Sink();
  const std::string ruler = " " + std::string(56, '*');
  Clear(sink);
  sink.ConsoleLine(ruler);
  sink.ConsoleLine(" STARTING point CANNOT be computed from this catalog !!!");
  sink.ConsoleLine("   (" + reason + ")");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Run the program again and choose the starting point");
  sink.ConsoleLine("   from keyboard ................... (2)");
  sink.ConsoleLine(ruler);
  sink.ConsoleEmpty();
  StopWithError();
}

void AskPrior(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  Clear(sink);
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine("  PRIOR INFORMATION ON b-value of Gutenberg-Richter");
  sink.ConsoleLine(" ---------------------------------------------------");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  do {
    sink.ConsoleLine(" ENTER: Prior b-value of Gutenberg-Richter and its STANDARD DEVIATION ...");
    sink.ConsoleLine("        (SUGGESTED VALUES: b = 1.0  and  SD[b] = 0.1)");
    sink.ConsoleEmpty();
    io.ReadConsole({&settings.PriorB, &settings.PriorBSd});
  } while (settings.PriorB > kLargestPriorB);
  sink.Format(Dest::File, "('  PRIOR b-value & SD[of PRIOR b] = ',F4.2,'   ',F7.3)",
              {settings.PriorB, settings.PriorBSd});
}

void AskKeyboardStart(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  settings.StartFromKeyboard = true;
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  // A Lambda of 0 or below is taken: it ends the session when the
  // minimisation starts, with the box "SOUGHT PARAMETERS LESS than 0 !!!". A
  // positive Lambda below the smallest normal number can only give estimates
  // without SDs (the likelihood is flat in it): asked again, silently.
  do {
    sink.ConsoleLine(" Enter first approximation of LAMBDA = ");
    sink.Format(Dest::Console, "(' (LAMBDA should be given for Mmin=',F4.1,')')", {settings.Mmin});
    sink.ConsoleEmpty();
    io.ReadConsole({&settings.KeyboardLambda});
  } while (settings.KeyboardLambda > 0.0f &&
           settings.KeyboardLambda < classic::kSmallestStartLambda);
  sink.ConsoleEmpty();
  // Taken as typed, even below Xmax. An Mmax not above Mmin leaves no
  // magnitude range for the law at all, one above the units' upper limit is
  // more than the Mmax dialog accepts: the prompt is asked again, silently,
  // as the other bounded entries of the dialogs are.
  do {
    sink.Format(Dest::Console, "('  Enter Mmax (NOT LESS than ',F5.2,')')", {settings.Xmax});
    sink.ConsoleEmpty();
    io.ReadConsole({&settings.KeyboardMmax});
  } while (!(settings.KeyboardMmax > settings.Mmin &&
             settings.KeyboardMmax <= UpperLimitOf(settings.Units)));
}

StartingValues ChooseStartingPoint(TextIo& io, SessionSettings& settings, const Catalog& catalog) {
  ReportSink& sink = io.Sink();
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
  io.ReadConsole({&answer});
  if (answer == 2) AskKeyboardStart(io, settings);
  try {
    return StartingPoint(catalog, OptionsOf(settings));
  } catch (const NoEstimate& none) {
    StartingPointUnusable(io, none.reason());
  }
}

}  // namespace

void PrepareStartingPoint(TextIo& io, SessionSettings& settings, const Catalog& catalog,
                          ModelParameters& model) {
  Clear(io.Sink());
  if (settings.RunNumber <= 1) {
    AskPrior(io, settings);
    model.Start = ChooseStartingPoint(io, settings, catalog);
    model.Mmax = model.Start.mmax;
  }
}

}  // namespace qev
