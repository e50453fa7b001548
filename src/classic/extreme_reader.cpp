#include "classic/extreme_reader.h"

#include <cstdint>
#include <string>

#include "classic/capacities.h"
#include "classic/catalog_reading.h"
#include "console/stop.h"
#include "qev/classic_files.h"
#include "qev/errors.h"

namespace qev {

namespace {

// Clears the screen of the extreme dialog: 33 slashes, 34 empty records.
constexpr const char* kScreenFeed =
    "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

// Layouts of the extreme file, by the menu answer. Any other answer reads
// like layout 2 without the SD line and stores every event with SD 0.
ExtremeLayout LayoutOf(std::int32_t answer) {
  if (answer == 1) return ExtremeLayout::PerEventSd;
  if (answer == 2) return ExtremeLayout::CommonSd;
  return ExtremeLayout::NoSd;
}

void WriteMenu(ReportSink& sink) {
  sink.Format(Dest::Console, kScreenFeed);
  for (int i = 0; i < 3; ++i) sink.List(Dest::Console);
  const char* const rows[] = {
      "          EXTREME Data specification :",
      "       --------------------------------",
      nullptr,
      " for EACH earthquake, FILE contains :",
      nullptr,
      " (1) MAGNITUDE & STANDARD DEVIATION",
      nullptr,
      " (2) MAGNITUDE. Only one STANDARD DEVIATION (SD) value",
      "     is given at the BEGINING of the file. Optionally,",
      "     for  different  parts of the file, different  SDs",
      "     can be given.",
      nullptr,
      nullptr,
      " ENTER proper number ...",
      nullptr,
  };
  sink.Records(Dest::Console, rows);
}

// The date error: an event not at least 0.001 year after the one before it
// (or after the start of the period), or an end of the period before the last
// event. `eventNumber` is the number of the event the box names.
[[noreturn]] void StopDateError(ReportSink& sink, std::int32_t eventNumber) {
  WriteMessageBox(sink, kScreenFeed, 42,
                  {{std::string(" ERROR in EXTERME DATA INPUT: e-ke nr "), eventNumber},
                   {std::string(" check YEARS of earthquake occurrence !!!")},
                   {std::string("                 or")},
                   {std::string("    EMPTY line at the END of the file")}});
  StopWithError();
}

[[noreturn]] void StopTooManyEvents(ReportSink& sink) {
  WriteMessageBox(sink, kScreenFeed, 44,
                  {{std::string(" NR of earthquakes too BIG !!! change nex !!!")}});
  StopWithError();
}

// A file with a header and no event line leaves nothing to estimate from when
// no complete parts follow.
[[noreturn]] void StopNoEvents(ReportSink& sink) {
  WriteMessageBox(sink, kScreenFeed, 42,
                  {{std::string(" NO earthquakes in EXTREME catalog file !!!")},
                   {std::string("   nothing to estimate the parameters from")}});
  StopWithError();
}

}  // namespace

void ReadExtremeCatalog(TextIo& io, SessionSettings& settings, Catalog& catalog) {
  ReportSink& sink = io.Sink();

  WriteMenu(sink);
  std::int32_t layout = 0;
  io.ReadConsole({&layout});

  sink.Format(Dest::Console, kScreenFeed);
  sink.List(Dest::Console, {std::string(" Enter FILE NAME of EXTREME catalog :")});
  sink.List(Dest::Console);
  std::string fileName;
  io.ReadConsoleLine(fileName, 15);
  CatalogStream file = io.OpenCatalogFile(fileName);

  // Header: start and end of the extreme period, then (layout 2) the SD.
  ExtremeFileReader reader(*file.stream, file.description, LayoutOf(layout),
                           UpperLimitOf(settings.Units));
  const ExtremeHeader& header = reader.header();

  sink.List(Dest::Console);
  sink.Format(Dest::Console, "('  SUMMARY of EXTREME part of catalog')");
  sink.Format(Dest::File, "('  SUMMARY of EXTREME part of catalog')");
  sink.Format(Dest::File, "(' ====================================')");
  sink.List(Dest::Console);
  sink.FormatBoth("('  FILE name of EXTREME part of catalog : ',A10)", {fileName});
  sink.List(Dest::Console);
  sink.FormatBoth("('  EXTREME catalog STARTS at ',I5,'/',I2,'/',I2)",
                  {header.start.shown_year, header.start.shown_month, header.start.shown_day});
  sink.FormatBoth("('  EXTREME catalog ENDS   at ',I5,'/',I2,'/',I2)",
                  {header.end.shown_year, header.end.shown_month, header.end.shown_day});

  // Event lines, in time order, each echoed once it is checked.
  ExtremePart part;
  try {
    while (reader.ReadLine()) {
      if (reader.event_count() + 1 > static_cast<std::size_t>(nex)) StopTooManyEvents(sink);
      const ExtremeLine& line = reader.AcceptLine();
      sink.FormatBoth("(1X,I5,1X,I2,1X,I2,1X,F5.2,1X,F5.2)",
                      {line.date.shown_year, line.date.shown_month, line.date.shown_day,
                       line.magnitude, line.sd});
    }
    // The end of the period closes the last interval.
    part = reader.Finish();
  } catch (const CatalogError& error) {
    StopDateError(sink, static_cast<std::int32_t>(error.event()));
  }
  file.stream.reset();
  const std::int32_t n = static_cast<std::int32_t>(part.events.size());
  catalog.extreme = part;

  // The largest magnitudes so far are those of the extreme part.
  const ObservedMaxima maxima = ObservedMaximaOf(catalog);
  sink.List(Dest::Console);
  sink.FormatBoth("('  Number of earthquakes :',I4)", {n});
  sink.Format(Dest::File, "('  MAX OBS. IN EXTREME PART OF CATALOG = ',F5.2)", {maxima.largest});
  sink.Format(Dest::File, "('  SECOND MAX OBS. IN EXTREME PART OF CATALOG = ',F5.2)",
              {maxima.second});

  float smallest = 999.0f;
  for (const ExtremeEvent& event : part.events) {
    if (smallest > event.magnitude) smallest = event.magnitude;
  }
  settings.Mmin = smallest;

  // Extremes together with complete parts: an empty extreme part simply
  // contributes nothing and the complete parts set Mmin.
  if (n == 0 && settings.DataKind != 3) StopNoEvents(sink);
}

}  // namespace qev
