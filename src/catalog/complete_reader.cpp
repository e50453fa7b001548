#include "catalog/complete_reader.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "catalog/catalog.h"
#include "catalog/catalog_reading.h"
#include "textio/stop.h"

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
  for (const char* row : rows) {
    if (row == nullptr) {
      sink.List(Dest::Console);
    } else {
      sink.List(Dest::Console, {std::string(row)});
    }
  }
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

// A completed header date and its integer form for the summary.
struct PartDate {
  float Year = 0.0f;
  float Month = 0.0f;
  float Day = 0.0f;
  std::int32_t ShownYear = 0;
  std::int32_t ShownMonth = 0;
  std::int32_t ShownDay = 0;
};

PartDate ReadPartDate(CatalogFile& file, float zeroMonth, float zeroDay, const char* which) {
  PartDate date;
  FreeFormatRead(file, {&date.Year, &date.Month, &date.Day});
  if (date.Month == 0.0f) date.Month = zeroMonth;
  if (date.Day == 0.0f) date.Day = zeroDay;
  const std::string what = std::string(which);
  date.ShownYear = CheckedScaled(file, date.Year, 1.0, what + " year");
  date.ShownMonth = CheckedScaled(file, date.Month, 1.0, what + " month");
  date.ShownDay = CheckedScaled(file, date.Day, 1.0, what + " day");
  return date;
}

// Reads part `number` (1-based) into `part` and writes its summary.
void ReadPart(Session& session, std::int32_t layout, std::int32_t number, CompletePart& part) {
  ReportSink& sink = session.io.Sink();
  bool belowThreshold = false;

  sink.Format(Dest::Console, kScreenFeed);
  sink.Format(Dest::Console, "('  Enter FILE NAME of COMPLETE part of catalog no. ',I2)", {number});
  sink.List(Dest::Console);
  std::string fileName;
  session.io.ReadConsoleLine(fileName, 15);
  std::unique_ptr<CatalogFile> file = session.io.OpenCatalogFile(fileName);

  const PartDate start = ReadPartDate(*file, 1.0f, 1.0f, "start");
  part.Start = DecimalYear(start.Year, start.Month, start.Day);
  const PartDate end = ReadPartDate(*file, 12.0f, 31.0f, "end");
  part.End = DecimalYear(end.Year, end.Month, end.Day);
  FreeFormatRead(*file, {&part.Threshold});
  part.Sd = 0.0f;
  std::int32_t headerSdHundredths = 0;
  if (layout > kPerEventSd) {
    FreeFormatRead(*file, {&part.Sd});
    CheckNotNegative(*file, part.Sd, "standard deviation");
    headerSdHundredths = CheckedScaled(*file, part.Sd, 100.0, "standard deviation");
  }

  // Data lines until the end of the file. The values live across lines: a
  // null value (two commas) keeps the value of the line before.
  std::int32_t rows = 0;
  std::int64_t events = 0;
  float sdSum = 0.0f;
  float magnitude = 0.0f;
  float sd = 0.0f;
  float frequency = 1.0f;
  for (;;) {
    ReadOutcome outcome = ReadOutcome::Completed;
    if (layout == kPerEventSd) {
      outcome = FreeFormatRead(*file, {&magnitude, &sd}, true);
      frequency = 1.0f;
      if (outcome == ReadOutcome::Completed) sdSum = sdSum + sd;
    } else if (layout == kCommonSd) {
      outcome = FreeFormatRead(*file, {&magnitude}, true);
      frequency = 1.0f;
    } else {
      outcome = FreeFormatRead(*file, {&frequency, &magnitude}, true);
    }
    if (outcome == ReadOutcome::EndOfFile) break;
    if (layout == kPerEventSd) CheckNotNegative(*file, sd, "standard deviation");
    if (layout == kGrouped) CheckNotNegative(*file, frequency, "frequency");

    if (static_cast<double>(part.Threshold) - 0.01 > static_cast<double>(magnitude)) {
      WarnBelowThreshold(sink);
      belowThreshold = true;
    }

    ++rows;
    if (rows > nfx) StopTooManyRows(sink);
    MagnitudeRow& row = part.Rows[static_cast<std::size_t>(rows - 1)];
    row.MagHundredths = CheckedScaled(*file, magnitude, 100.0, "magnitude");
    row.SdHundredths = layout == kPerEventSd ? CheckedScaled(*file, sd, 100.0, "standard deviation")
                                             : headerSdHundredths;
    row.Frequency = CheckedScaled(*file, frequency, 1.0, "frequency");
    events += row.Frequency;
    CheckedWhole(*file, file->LineNumber(), static_cast<double>(events), "number of earthquakes");

    if (part.End < part.Start) StopWrongPeriod(sink);
    UpdateObservedMaxima(session.catalog, magnitude);
  }
  file.reset();
  const std::int32_t eventCount = static_cast<std::int32_t>(events);
  part.RowCount = static_cast<float>(rows);
  part.EventCount = static_cast<float>(eventCount);
  // A layout-1 part without data lines has no mean SD; it keeps 0 and
  // contributes no events.
  if (layout == kPerEventSd && eventCount != 0) {
    part.Sd = sdSum / static_cast<float>(eventCount);
  }

  // Summary of the part.
  sink.Format(Dest::Console, kScreenFeed);
  for (int i = 0; i < 3; ++i) sink.List(Dest::Console);
  sink.Format(Dest::Console, "(/,'  SUMMARY of COMPLETE part of catalog no.',I2)", {number});
  sink.Format(Dest::File, "(/,'  SUMMARY of COMPLETE part of catalog no.',I2)", {number});
  sink.Format(Dest::File, "(' ===========================================')");
  sink.List(Dest::Console);
  sink.FormatBoth("('  FILE name : ',A10)", {fileName});
  sink.FormatBoth("('  Catalog STARTS at ',I5,'/',I2,'/',I2)",
                  {start.ShownYear, start.ShownMonth, start.ShownDay});
  sink.FormatBoth("('  Catalog ENDS   at ',I5,'/',I2,'/',I2)",
                  {end.ShownYear, end.ShownMonth, end.ShownDay});
  sink.FormatBoth("('  THRESHOLD magnitude    = ',F5.2)", {part.Threshold});
  if (layout == kGrouped) {
    sink.FormatBoth("('   No       FREQ     MAG')");
    for (std::int32_t j = 1; j <= rows; ++j) {
      const MagnitudeRow& row = part.Rows[static_cast<std::size_t>(j - 1)];
      sink.FormatBoth("(1X,I3,5X,I5,4X,F5.1)",
                      {j, row.Frequency, static_cast<float>(row.MagHundredths) / 100.0f});
    }
  }
  sink.FormatBoth("('  Number of earthquakes  = ',I4)", {eventCount});
  if (layout > kPerEventSd) {
    sink.FormatBoth("('  Standard Deviation = ',F5.2)", {part.Sd});
    sink.List(Dest::Console);
  }
  if (part.Threshold < session.settings.Mmin) session.settings.Mmin = part.Threshold;
  if (belowThreshold) {
    sink.Format(Dest::File, "(/,'  WARNING: Catalog contains EQ-s with MAGNITUDES < THRESHOLD')");
    sink.Format(Dest::File, "('             !!! Such EQ-s are IGNORED !!!')");
  }
}

}  // namespace

void ReadCompleteParts(Session& session) {
  ReportSink& sink = session.io.Sink();
  Catalog& catalog = session.catalog;

  WriteMenu(sink);
  std::int32_t layout = 0;
  session.io.ReadConsole({&layout});
  if (layout != kPerEventSd && layout != kCommonSd && layout != kGrouped) StopUnknownLayout(sink);

  sink.Format(Dest::Console, kScreenFeed);
  sink.List(Dest::Console, {std::string(" ENTER : Number of COMPLETE parts of catalog ...")});
  sink.List(Dest::Console);
  std::int32_t partCount = 0;
  session.io.ReadConsole({&partCount});
  if (partCount > ncpx) StopTooManyParts(sink);
  // Zero and negative answers read no part; the catalog then holds 0 parts,
  // so that no later loop or table slot sees a negative count.
  catalog.PartCount = std::max<std::int32_t>(partCount, 0);

  if (session.settings.DataKind == 2) session.settings.Mmin = 99.0f;

  for (std::int32_t c = 1; c <= catalog.PartCount; ++c) {
    ReadPart(session, layout, c, catalog.Parts[static_cast<std::size_t>(c - 1)]);
  }
}

}  // namespace qev
