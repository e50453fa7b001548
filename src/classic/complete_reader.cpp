#include "classic/complete_reader.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "catalog/scaled.h"
#include "classic/capacities.h"
#include "classic/catalog_reading.h"
#include "console/stop.h"
#include "qev/classic_files.h"
#include "qev/errors.h"

namespace qev {

namespace {

// Clears the screen of the complete-part dialogs: 36 slashes, 37 empty records.
constexpr const char* kScreenFeed =
    "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

// Layouts of the complete files, one answer for all parts.
constexpr std::int32_t kPerEventSd = 1;  // magnitude, SD
constexpr std::int32_t kCommonSd = 2;    // magnitude; one SD in the header
constexpr std::int32_t kGrouped = 3;     // frequency, magnitude; one SD in the header

void WriteMenu(ReportSink& sink) {
  sink.Format(Dest::Console, kScreenFeed);
  for (int i = 0; i < 4; ++i) sink.List(Dest::Console);
  const char* const rows[] = {
      "           COMPLETE data specification :",
      "       ----------------------------------",
      nullptr,
      nullptr,
      " for EACH earthquake, FILE contains :",
      nullptr,
      " (1)  MAGNITUDE & STANDARD DEVIATION",
      nullptr,
      " (2)  MAGNITUDE. Only ONE STANDARD DEVIATION value",
      "      is given at the begining of the file. It is",
      "      assumed that  ALL  magnitudes are perturbed by",
      "      random errors with the same standard deviation",
      nullptr,
      " (3)  GROUPED according to : FREQUENCY -  MAGNITUDE.",
      "      Only ONE value of STANDARD DEVIATION",
      "      is given at the beginning of file, after START/",
      "      /END of catalog specification",
      nullptr,
      nullptr,
      " ENTER proper number ...",
      nullptr,
  };
  sink.Records(Dest::Console, rows);
}

// Any layout answer but 1, 2 and 3 would read no data line at all.
[[noreturn]] void StopUnknownLayout(ReportSink& sink) {
  WriteMessageBox(sink, kScreenFeed, 44,
                  {{std::string("*    UNKNOWN layout of COMPLETE files !!!   *")},
                   {std::string("*      accepted answers :  1,  2  or  3     *")}});
  StopWithError();
}

[[noreturn]] void StopTooManyParts(ReportSink& sink) {
  WriteMessageBox(sink, kScreenFeed, 44,
                  {{std::string("*      NR of COMPLETE parts too BIG !!!     *")},
                   {std::string("*         change parameter ncpx !!!         *")}});
  StopWithError();
}

[[noreturn]] void StopTooManyRows(ReportSink& sink) {
  WriteMessageBox(sink, kScreenFeed, 44,
                  {{std::string(" NR of earthquakes too BIG !!! change nfx !!!")}});
  StopWithError();
}

[[noreturn]] void StopWrongPeriod(ReportSink& sink) {
  WriteMessageBox(sink, kScreenFeed, 43,
                  {{std::string("  WRONG TIME of BEGINNING/END of catalog !!! ")}}, true);
  StopWithError();
}

void WarnBelowThreshold(ReportSink& sink) {
  WriteMessageBox(sink, kScreenFeed, 43,
                  {{std::string("                 WARNING !!!")},
                   {std::string("   file contains EQ-s with mag < threshold !")},
                   {std::string("           they will be IGNORED !!!")}});
}

// Reads part `number` (1-based) and writes its summary.
CompletePart ReadPart(TextIo& io, SessionSettings& settings, std::int32_t layout,
                      std::int32_t number) {
  ReportSink& sink = io.Sink();
  bool belowThreshold = false;

  sink.Format(Dest::Console, kScreenFeed);
  sink.Format(Dest::Console, "('  Enter FILE NAME of COMPLETE part of catalog no. ',I2)", {number});
  sink.List(Dest::Console);
  std::string fileName;
  io.ReadConsoleLine(fileName, 15);
  CatalogStream file = io.OpenCatalogFile(fileName);

  CompleteFileReader reader(*file.stream, file.description, static_cast<CompleteLayout>(layout),
                            UpperLimitOf(settings.Units));
  const CompleteHeader& header = reader.header();

  // Data lines until the end of the file.
  while (reader.ReadLine()) {
    if (reader.line().below_threshold) {
      WarnBelowThreshold(sink);
      belowThreshold = true;
    }
    if (reader.row_count() + 1 > static_cast<std::size_t>(nfx)) StopTooManyRows(sink);
    try {
      reader.AcceptLine();
    } catch (const CatalogError&) {
      StopWrongPeriod(sink);
    }
  }
  CompletePart part = reader.Finish();
  file.stream.reset();
  std::int64_t events = 0;
  for (const MagnitudeRow& row : part.rows) events += row.frequency;
  const std::int32_t eventCount = static_cast<std::int32_t>(events);

  // Summary of the part.
  sink.Format(Dest::Console, kScreenFeed);
  for (int i = 0; i < 3; ++i) sink.List(Dest::Console);
  sink.Format(Dest::Console, "(/,'  SUMMARY of COMPLETE part of catalog no.',I2)", {number});
  sink.Format(Dest::File, "(/,'  SUMMARY of COMPLETE part of catalog no.',I2)", {number});
  sink.Format(Dest::File, "(' ===========================================')");
  sink.List(Dest::Console);
  sink.FormatBoth("('  FILE name : ',A10)", {fileName});
  sink.FormatBoth("('  Catalog STARTS at ',I5,'/',I2,'/',I2)",
                  {header.start.shown_year, header.start.shown_month, header.start.shown_day});
  sink.FormatBoth("('  Catalog ENDS   at ',I5,'/',I2,'/',I2)",
                  {header.end.shown_year, header.end.shown_month, header.end.shown_day});
  sink.FormatBoth("('  THRESHOLD magnitude    = ',F5.2)", {part.threshold});
  if (layout == kGrouped) {
    // The magnitudes as the estimation takes them: whole hundredths.
    sink.FormatBoth("('   No       FREQ     MAG')");
    for (std::size_t j = 0; j < part.rows.size(); ++j) {
      const MagnitudeRow& row = part.rows[j];
      sink.FormatBoth("(1X,I3,5X,I5,4X,F5.1)",
                      {static_cast<std::int32_t>(j + 1), row.frequency,
                       static_cast<float>(ScaledTruncation(row.magnitude, 100.0)) / 100.0f});
    }
  }
  sink.FormatBoth("('  Number of earthquakes  = ',I4)", {eventCount});
  if (layout > kPerEventSd) {
    sink.FormatBoth("('  Standard Deviation = ',F5.2)", {part.sd});
    sink.List(Dest::Console);
  }
  if (part.threshold < settings.Mmin) settings.Mmin = part.threshold;
  if (belowThreshold) {
    sink.Format(Dest::File, "(/,'  WARNING: Catalog contains EQ-s with MAGNITUDES < THRESHOLD')");
    sink.Format(Dest::File, "('             !!! Such EQ-s are IGNORED !!!')");
  }
  return part;
}

}  // namespace

void ReadCompleteParts(TextIo& io, SessionSettings& settings, Catalog& catalog) {
  ReportSink& sink = io.Sink();

  WriteMenu(sink);
  std::int32_t layout = 0;
  io.ReadConsole({&layout});
  if (layout != kPerEventSd && layout != kCommonSd && layout != kGrouped) StopUnknownLayout(sink);

  // With the complete parts alone, no part leaves nothing to estimate from:
  // the count is asked again, silently, as the other bounded answers are.
  std::int32_t partCount = 0;
  do {
    sink.Format(Dest::Console, kScreenFeed);
    sink.List(Dest::Console, {std::string(" ENTER : Number of COMPLETE parts of catalog ...")});
    sink.List(Dest::Console);
    io.ReadConsole({&partCount});
  } while (settings.DataKind == 2 && partCount < 1);
  if (partCount > ncpx) StopTooManyParts(sink);
  // Zero and negative answers read no part.
  partCount = std::max<std::int32_t>(partCount, 0);

  if (settings.DataKind == 2) settings.Mmin = 99.0f;

  for (std::int32_t c = 1; c <= partCount; ++c) {
    catalog.complete.push_back(ReadPart(io, settings, layout, c));
  }
}

}  // namespace qev
