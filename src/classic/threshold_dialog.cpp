#include "classic/threshold_dialog.h"

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "qev/catalog.h"

namespace qev {
namespace {

// Screen feed of these dialogs: 31 slashes, 32 empty records.
constexpr const char* kClearing = "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

void Clear(ReportSink& sink) { sink.Format(Dest::Console, kClearing); }

std::int32_t ReadInteger(TextIo& io) {
  std::int32_t answer = 0;
  io.ReadConsole({&answer});
  return answer;
}

float ReadReal(TextIo& io) {
  float answer = 0.0f;
  io.ReadConsole({&answer});
  return answer;
}

// A date value truncated toward zero for the echo. A value beyond the 32-bit
// range (or not a number) is pinned to the range's end, which no I2 or I5
// field can hold, so the echo shows asterisks instead of an undefined integer.
std::int32_t TruncatedForEcho(float value) {
  if (!(value > -2147483648.0f)) return std::numeric_limits<std::int32_t>::min();
  if (!(value < 2147483648.0f)) return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

// The end of the complete part read last; an unread catalog has a zero there.
float LastPartEnd(const Catalog& catalog) {
  return catalog.complete.empty() ? 0.0f : catalog.complete.back().end;
}

void WriteXmaxLines(TextIo& io, const SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  sink.Format(Dest::File, "(/,'         Maximum OBSERVED magnitude Xmax = ',F5.2)",
              {settings.Xmax});
  sink.Format(Dest::File, "('  SECOND Maximum OBSERVED magnitude Xmax = ',F5.2)", {settings.Xmax2});
}

// Threshold for the whole catalog: one below the lowest level, or typed in
// below that level.
void ChooseThreshold(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  const float lowest = settings.Mmin;
  const float suggested = lowest - 1.0f;

  Clear(sink);
  sink.ConsoleEmpty();
  sink.ConsoleLine("    Mmin for the whole catalog determination");
  sink.ConsoleLine("  --------------------------------------------");
  sink.ConsoleEmpty();
  sink.Format(Dest::Console, "('  Suggested value of Mmin = ',F4.1)", {suggested});
  sink.ConsoleEmpty();
  sink.ConsoleLine("   YES, I accept suggested Mmin .......(1)");
  sink.ConsoleLine("   NO,  I DO NOT ......................(2)");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine(" ENTER proper number ...(1/2)");
  sink.ConsoleEmpty();
  const std::int32_t answer = ReadInteger(io);
  Clear(sink);

  if (answer == 1) {
    settings.Mmin = suggested;
    return;
  }
  sink.ConsoleEmpty();
  for (;;) {
    sink.Format(Dest::Console, "('  ENTER: Threshold magnitude Mmin (LESS than',F5.2,')')",
                {lowest});
    sink.ConsoleEmpty();
    const float x = ReadReal(io);
    if (lowest > x) {
      settings.Mmin = x;
      return;
    }
  }
}

// The start of the catalog as read: the earliest start of its parts (none
// for a catalog without parts).
std::optional<float> CatalogStart(const Catalog& catalog) {
  std::optional<float> start;
  if (catalog.extreme) start = catalog.extreme->start;
  if (!catalog.complete.empty() && !(start && *start <= catalog.complete.front().start)) {
    start = catalog.complete.front().start;
  }
  return start;
}

// Occurrence date of an Xmax earlier than the catalog; the span runs from it
// to the end of the catalog. Zeros of month and day are converted as typed. A
// date after the start of the catalog is asked again.
void ReadOccurrenceBeforeCatalog(TextIo& io, SessionSettings& settings, const Catalog& catalog) {
  ReportSink& sink = io.Sink();
  Clear(sink);
  sink.ConsoleEmpty();
  const std::optional<float> start = CatalogStart(catalog);
  float year = 0.0f;
  float month = 0.0f;
  float day = 0.0f;
  float occurred = 0.0f;
  do {
    sink.ConsoleLine(" ENTER: year, month, day of such EQ-e occurrence");
    sink.ConsoleEmpty();
    io.ReadConsole({&year, &month, &day});
    occurred = DecimalYear(year, month, day);
  } while (start && occurred > *start);
  sink.Format(Dest::File, "('  Occurred at ',I5,'/',I2,'/',I2)",
              {TruncatedForEcho(year), TruncatedForEcho(month), TruncatedForEcho(day)});
  const float catalogEnd = settings.DataKind == 1 ? catalog.extreme->end : LastPartEnd(catalog);
  settings.SpanT = catalogEnd - occurred;
}

void ChooseXmax(TextIo& io, SessionSettings& settings, const Catalog& catalog) {
  ReportSink& sink = io.Sink();
  const ObservedMaxima maxima = ObservedMaximaOf(catalog);
  const float observed = maxima.largest;

  Clear(sink);
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine("     Maximum OBSERVED magnitude determination");
  sink.ConsoleLine("   --------------------------------------------");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.Format(Dest::Console, "('   Maximum OBSERVED magnitude Xmax is ',F5.2,'......(1)')",
              {observed});
  sink.Format(Dest::Console, "('   No, Xmax is DIFFERENT ........................(2)')");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine(" ENTER proper number ...(1/2)");
  sink.ConsoleEmpty();
  const std::int32_t answer = ReadInteger(io);
  Clear(sink);

  if (answer == 1) {
    settings.Xmax = observed;
    settings.Xmax2 = maxima.second;
    WriteXmaxLines(io, settings);
    settings.SpanT.reset();  // the span of the whole catalog
    return;
  }

  Clear(sink);
  for (;;) {
    sink.ConsoleEmpty();
    sink.Format(Dest::Console, "('  Enter:  MAXIMUM observed MAGNITUDE (NOT LESS than ',F5.2,')')",
                {observed});
    sink.ConsoleEmpty();
    settings.Xmax = ReadReal(io);
    if (settings.Xmax >= observed && settings.Xmax <= UpperLimitOf(settings.Units)) break;
  }
  settings.Xmax2 = observed;
  WriteXmaxLines(io, settings);

  Clear(sink);
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Did it occur BEFORE catalog starts ?");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" (if YES, enter 1, if NOT, enter 0)");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" ENTER proper number ...(0/1)");
  sink.ConsoleEmpty();
  if (ReadInteger(io) == 1) {
    ReadOccurrenceBeforeCatalog(io, settings, catalog);
  } else {
    settings.SpanT.reset();
  }
}

// SIG(Xmax): an error, so not below 0, and not beyond the whole scale of
// sizes (the uncertainty of Mmax squares it).
void ReadXmaxError(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  Clear(sink);
  sink.ConsoleEmpty();
  float& sig = settings.SigXmax;
  do {
    sink.ConsoleLine(" ENTER: approximate ERROR of maximum OBSERVED magnitude");
    sink.ConsoleEmpty();
    sig = ReadReal(io);
  } while (!(sig >= 0.0f && sig <= UpperLimitOf(settings.Units)));
}

void ChooseProcedure(TextIo& io, SessionSettings& settings) {
  ReportSink& sink = io.Sink();
  Clear(sink);
  for (int i = 0; i < 4; ++i) sink.ConsoleEmpty();
  sink.ConsoleLine("       Selection of M_max determination procedure ");
  sink.ConsoleLine("  ----------------------------------------------------");
  sink.ConsoleEmpty();
  sink.ConsoleLine(" Assessment of magnitude M_max is based on :");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine("   Tolve-Brandholm (Cramers approximation) ........(1)");
  sink.ConsoleLine("   Tolve-Brandholm-Bayes ..........................(2)");
  sink.ConsoleEmpty();
  sink.ConsoleEmpty();
  sink.ConsoleLine(" ENTER proper number ...");
  settings.Procedure = ReadInteger(io);

  if (settings.Procedure == 1) {
    sink.Format(
        Dest::File,
        "(/,'  M_max is determined according to Tolve-Brandholm (Cramers Approximation)',/)");
  } else if (settings.Procedure == 2) {
    sink.Format(Dest::File, "(/,'  M_max is determined according to Tolve-Brandholm-Bayes',/)");
  }
}

}  // namespace

void ChooseThresholdXmaxProcedure(TextIo& io, SessionSettings& settings, const Catalog& catalog) {
  ChooseThreshold(io, settings);
  ChooseXmax(io, settings, catalog);
  ReadXmaxError(io, settings);
  ChooseProcedure(io, settings);
}

}  // namespace qev
