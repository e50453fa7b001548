// The session from the first screen to the stop: introductory screens, the
// output file and its top lines, the units, data kind and time spans, the
// catalog, the analysis set-up, the run loop with its run summaries, the final
// results and the hazard evaluation.
#include "classic/run_session.h"

#include <cmath>
#include <exception>
#include <memory>
#include <optional>
#include <string>

#include "classic/complete_reader.h"
#include "classic/error_report.h"
#include "classic/extreme_reader.h"
#include "classic/hazard.h"
#include "classic/mmax_dialog.h"
#include "classic/output_header.h"
#include "classic/results_report.h"
#include "classic/run_summary.h"
#include "classic/screen.h"
#include "classic/session.h"
#include "classic/starting_point.h"
#include "classic/threshold_dialog.h"
#include "console/stop.h"
#include "qev/analysis.h"
#include "qev/classic_bounds.h"
#include "qev/errors.h"

namespace qev {

namespace {

// Six lines on who makes the program and how to reach them.
void WriteAuthorLines(ReportSink& sink) {
  sink.ConsoleLine("  QEV is written and maintained by the QEV development");
  sink.ConsoleLine("  team as an open project.");
  sink.ConsoleLine("  Source code, documentation and release notes are kept");
  sink.ConsoleLine("  in the repository of the QEV project.");
  sink.ConsoleLine("  Questions, remarks and error reports: please open an");
  sink.ConsoleLine("  issue in the issue tracker of the project repository.");
}

// The first introductory screen.
void FirstScreen(TextIo& io) {
  ReportSink& sink = io.Sink();
  ClearScreen(sink);
  sink.ConsoleEmpty();
  sink.ConsoleLine(kAsteriskRuler);
  sink.ConsoleLine("PROGRAM: QEV;  RELEASE: 2.08/04 NOV 2001");
  sink.ConsoleEmpty();
  sink.ConsoleLine("  HAZARD evaluation from UNCOMPLETE & UNCERTAIN data ");
  sink.ConsoleLine("  Magnitude errors are distributed NORMALLY");
  sink.ConsoleLine("  Magnitude Mmax can be estimated according to two");
  sink.ConsoleLine("  different procedures");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" NEW FEATURES OF QEV, RELEASE 2.08 :");
  sink.ConsoleLine("   (1) Second Procedure for Mmax assessment");
  sink.ConsoleLine("   (2) Free format of input files");
  sink.ConsoleLine("   (3) Reads a piori Gutenberg-Richter b-value");
  sink.ConsoleLine(kAsteriskRuler);
  sink.ConsoleEmpty();
  WriteAuthorLines(sink);
  sink.ConsoleEmpty();
  sink.ConsoleLine(kAsteriskRuler);
  sink.ConsoleEmpty();
  sink.ConsoleLine("  to CONTINUE press ANY key ...");
  sink.ConsoleEmpty();
  PauseForKey(io);
}

// The second introductory screen (the apparent magnitude).
void SecondScreen(TextIo& io) {
  ReportSink& sink = io.Sink();
  sink.ConsoleEmpty();
  ClearScreen(sink);
  sink.ConsoleLine("  Each earthquake is specified by TWO values:");
  sink.ConsoleEmpty();
  sink.ConsoleLine("   (1) OBSERVED (apparent) MAGNITUDE, and");
  sink.ConsoleLine("   (2) STANDARD DEVIATION which describes uncertainty");
  sink.ConsoleLine("       of magnitude determination.");
  sink.ConsoleEmpty();
  sink.ConsoleLine("  For more details of APPARENT MAGNITUDE concept see:");
  sink.ConsoleEmpty();
  sink.ConsoleLine("  Gutenberg, B. and Richter, C.F. (1944). Frequency of");
  sink.ConsoleLine("    earthquakes in California. Bull. Seism. Soc. Am., 34,");
  sink.ConsoleLine("    185-188; and the notes on apparent magnitudes in the");
  sink.ConsoleLine("    documentation of the QEV project repository.");
  sink.ConsoleEmpty();
  sink.ConsoleLine("  to CONTINUE press ANY key ...");
  sink.ConsoleEmpty();
  PauseForKey(io);
}

// The third introductory screen, the output file and its top lines.
void ThirdScreenAndOutputFile(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  ClearScreen(sink);
  sink.ConsoleLine(" It is assumed that the SIZE of earthquake is       ");
  sink.ConsoleLine(" expressed in terms of  MAGNITUDE  units. However,  ");
  sink.ConsoleLine(" all calculations can be done in terms of INTENSITY.");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Theory of the HAZARD evaluation method is given in :");
  sink.ConsoleEmpty();
  sink.ConsoleLine("   Cramer, H. (1946). Mathematical Methods of Statistics.");
  sink.ConsoleLine("   Princeton University Press (extreme values).");
  sink.ConsoleLine("   Gutenberg, B. and Richter, C.F. (1944). Frequency of");
  sink.ConsoleLine("   earthquakes in California. BSSA, 34, 185-188.");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Enter : NAME of OUTPUT file");
  sink.ConsoleEmpty();

  io.ReadConsoleLine(settings.OutputFileName, kOutputFileNameLength);
  io.OpenOutputFile(settings.OutputFileName);
  settings.DateText = DateText(io.Today());

  sink.List(Dest::File, {std::string(" ")});
  sink.List(Dest::File, {std::string(kEqualsRuler)});
  sink.List(Dest::File);
  sink.Format(Dest::File, "('  Date      : ',A10)", {settings.DateText});
  sink.Format(Dest::File, "('  File Name : ',A25)", {settings.OutputFileName});
}

// Units of earthquake size.
void AskUnits(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  ClearScreen(sink);
  sink.ConsoleLine("          UNITS of INPUT data specification  ");
  sink.ConsoleLine("        -------------------------------------");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Earthquake SIZE is expressed in units of :");
  sink.ConsoleEmpty();
  sink.ConsoleLine("   magnitude........................ (1)");
  sink.ConsoleLine("   intensity........................ (2)");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine("  Enter proper NUMBER ...");
  sink.ConsoleEmpty();
  io.ReadConsole({&settings.Units});
}

// Kind of input data.
void AskDataKind(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  ClearScreen(sink);
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  // Any other answer would read no catalog: the menu is asked again.
  std::int32_t& kind = settings.DataKind;
  do {
    sink.ConsoleLine("INPUT data determination : ");
    sink.ConsoleEmpty();
    sink.ConsoleLine("   only EXTREMES.................... (1)");
    sink.ConsoleLine("   only COMPLETE varying quality.... (2)");
    sink.ConsoleLine("   EXTREME and COMPLETE............. (3)");
    sink.ConsoleEmpty();
    sink.ConsoleEmpty();
    sink.ConsoleLine("  Enter proper NUMBER ...");
    sink.ConsoleEmpty();
    io.ReadConsole({&kind});
  } while (kind != 1 && kind != 2 && kind != 3);
}

// The three time spans, then the report header and the summary title.
void AskHazardSpans(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  ClearScreen(sink);
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  // A span of zero years or less has no probability of exceedance, one below
  // the smallest normal number only 0 / 0 (1#IND): asked again.
  auto& spans = settings.HazardSpans;
  do {
    sink.ConsoleLine(" ENTER: 3 time  intervals for hazard assessment");
    sink.ConsoleLine("        (SUGGESTED times: 50, 100, and 1000 YEARS)");
    sink.ConsoleEmpty();
    io.ReadConsole({&spans[0], &spans[1], &spans[2]});
  } while (!(spans[0] >= classic::kSmallestSpan && spans[1] >= classic::kSmallestSpan &&
             spans[2] >= classic::kSmallestSpan));

  WriteOutputHeader(sink);
  sink.Format(Dest::File, "(/,'                * * * SUMMARY OF INPUT DATA * * *',/)");
}

// The catalog files of the chosen data kind (1, 2 or 3).
void ReadCatalog(TextIo& io, SessionSettings& settings, Catalog& catalog) {
  switch (settings.DataKind) {
    case 1:
      ReadExtremeCatalog(io, settings, catalog);
      break;
    case 2:
      ReadCompleteParts(io, settings, catalog);
      break;
    case 3:
      ReadExtremeCatalog(io, settings, catalog);
      ReadCompleteParts(io, settings, catalog);
      break;
  }
}

// One run per pass, until the Mmax dialog asks to stop.
void RunLoop(TextIo& io, SessionSettings& settings, const Catalog& catalog,
             ModelParameters& model) {
  for (;;) {
    settings.RunNumber = settings.RunNumber + 1;
    PrepareStartingPoint(io, settings, catalog, model);

    const RunResult run = EstimateRun(catalog, OptionsOf(settings), model.Start, model.Mmax);
    model.Iterations = run.iterations;
    model.Beta = run.beta;
    model.Lambda = run.lambda;

    // The suggested Mmax. Procedures other than 1 and 2 compute no estimate:
    // the suggestion keeps the value of the run before. An estimator that can
    // give no estimate (a span of zero, a result that is not finite) leaves
    // the dialog without a suggestion.
    if (settings.Procedure == 1 || settings.Procedure == 2) {
      model.SuggestionUndefined = !run.suggested_mmax.has_value();
      if (run.suggested_mmax) model.SuggestedMmax = *run.suggested_mmax;
    }

    // The run summary, on the console only.
    WriteRunSummary(io.Sink(), settings, model);

    if (AskMmax(io, settings, model)) return;
  }
}

// The whole session up to the stop; returns at the normal end, a ProgramStop
// ends it early.
void RunSteps(Session& session) {
  TextIo& io = session.io;
  SessionSettings& settings = session.settings;
  Catalog& catalog = session.catalog;
  ModelParameters& model = session.model;
  settings.RunNumber = 0;
  settings.IterationLimit = 99;
  model.SuggestedMmax = 0.0f;

  FirstScreen(io);
  SecondScreen(io);
  ThirdScreenAndOutputFile(io, settings);
  AskUnits(io, settings);
  AskDataKind(io, settings);
  AskHazardSpans(io, settings);
  ReadCatalog(io, settings, catalog);
  ChooseThresholdXmaxProcedure(io, settings, catalog);
  RunLoop(io, settings, catalog, model);
  ReportResults(io, settings, catalog, model);
  EvaluateHazard(io, settings, model);
}

// The stop: message lines (if any), the report put in place (the normal end)
// or set aside (an error stop: beside a report of the same name that existed,
// which is kept, with one line saying where), then the stop line.
int Stop(TextIo& io, const ProgramStop& stop) {
  ReportSink& sink = io.Sink();
  int status = stop.ExitStatus;
  for (const std::string& line : stop.ConsoleLines) sink.List(Dest::Console, {line});
  if (status == kExitNormal && sink.OutputFileOpen()) {
    try {
      sink.CloseOutputFile();
    } catch (const ProgramStop& closing) {
      for (const std::string& line : closing.ConsoleLines) sink.List(Dest::Console, {line});
      status = kExitError;
    }
  }
  const std::optional<std::string> setAside = sink.SetAsideOutputFile(io.Inputs());
  if (setAside) sink.List(Dest::Console, {*setAside});
  sink.WriteStopLine();
  return status;
}

}  // namespace

int RunSession(TextIo& io) {
  auto session = std::make_unique<Session>(io);
  try {
    RunSteps(*session);
  } catch (const ProgramStop& stop) {
    return Stop(io, stop);
  } catch (const ReadingError& error) {
    return Stop(io, ReadingErrorStop(error));
  } catch (const TrialPointNotPositive&) {
    return Stop(io, TrialPointStop());
  } catch (const std::exception& error) {
    // Not a condition of the program's own: report it rather than crash.
    return Stop(io, ProgramStop{kExitError, {std::string("Internal error: ") + error.what()}});
  }
  return Stop(io, ProgramStop{kExitNormal, {}});
}

}  // namespace qev
