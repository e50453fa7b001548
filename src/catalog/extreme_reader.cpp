#include "catalog/extreme_reader.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "catalog/catalog.h"
#include "catalog/catalog_reading.h"
#include "textio/stop.h"

namespace qev {

namespace {

// Clears the screen of the extreme dialog: 33 slashes, 34 empty records.
constexpr const char* kScreenFeed =
    "(/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/,/)";

// Layouts of the extreme file, by the menu answer. Any other answer reads
// like layout 2 without the SD line and stores every event with SD 0.
constexpr std::int32_t kPerEventSd = 1;
constexpr std::int32_t kCommonSd = 2;

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
  for (const char* row : rows) {
    if (row == nullptr) {
      sink.List(Dest::Console);
    } else {
      sink.List(Dest::Console, {std::string(row)});
    }
  }
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

// A header date: read as one statement, completed, and checked so that its
// values can be shown as integers.
struct HeaderDate {
  float Year = 0.0f;
  float Month = 0.0f;
  float Day = 0.0f;
  std::int32_t ShownYear = 0;
  std::int32_t ShownMonth = 0;
  std::int32_t ShownDay = 0;
  long Line = 0;
};

HeaderDate ReadHeaderDate(CatalogFile& file, float zeroMonth, float zeroDay, const char* which) {
  HeaderDate date;
  FreeFormatRead(file, {&date.Year, &date.Month, &date.Day});
  date.Line = file.LineNumber();
  if (date.Month == 0.0f) date.Month = zeroMonth;
  if (date.Day == 0.0f) date.Day = zeroDay;
  const std::string what = std::string(which);
  date.ShownYear = CheckedScaled(file, date.Year, 1.0, what + " year");
  date.ShownMonth = CheckedScaled(file, date.Month, 1.0, what + " month");
  date.ShownDay = CheckedScaled(file, date.Day, 1.0, what + " day");
  return date;
}

}  // namespace

void ReadExtremeCatalog(Session& session) {
  ReportSink& sink = session.io.Sink();
  Catalog& catalog = session.catalog;
  ExtremeCatalog& extreme = catalog.Extreme;

  WriteMenu(sink);
  std::int32_t layout = 0;
  session.io.ReadConsole({&layout});

  sink.Format(Dest::Console, kScreenFeed);
  sink.List(Dest::Console, {std::string(" Enter FILE NAME of EXTREME catalog :")});
  sink.List(Dest::Console);
  std::string fileName;
  session.io.ReadConsoleLine(fileName, 15);
  std::unique_ptr<CatalogFile> file = session.io.OpenCatalogFile(fileName);

  // Header: start and end of the extreme period, then (layout 2) the SD.
  const HeaderDate start = ReadHeaderDate(*file, 1.0f, 1.0f, "start");
  const HeaderDate end = ReadHeaderDate(*file, 12.0f, 31.0f, "end");
  extreme.Start = DecimalYear(start.Year, start.Month, start.Day);
  extreme.End = DecimalYear(end.Year, end.Month, end.Day);
  extreme.CommonSdValue = 0.0f;
  std::int32_t commonSdHundredths = 0;
  if (layout == kCommonSd) {
    FreeFormatRead(*file, {&extreme.CommonSdValue});
    CheckNotNegative(*file, extreme.CommonSdValue, "standard deviation");
    commonSdHundredths = CheckedScaled(*file, extreme.CommonSdValue, 100.0, "standard deviation");
  }

  sink.List(Dest::Console);
  sink.Format(Dest::Console, "('  SUMMARY of EXTREME part of catalog')");
  sink.Format(Dest::File, "('  SUMMARY of EXTREME part of catalog')");
  sink.Format(Dest::File, "(' ====================================')");
  sink.List(Dest::Console);
  sink.FormatBoth("('  FILE name of EXTREME part of catalog : ',A10)", {fileName});
  sink.List(Dest::Console);
  sink.FormatBoth("('  EXTREME catalog STARTS at ',I5,'/',I2,'/',I2)",
                  {start.ShownYear, start.ShownMonth, start.ShownDay});
  sink.FormatBoth("('  EXTREME catalog ENDS   at ',I5,'/',I2,'/',I2)",
                  {end.ShownYear, end.ShownMonth, end.ShownDay});

  // Event lines, in time order. Zeros in a date stand for the value of the
  // previous event (in the first line they stay zero).
  std::int32_t n = 0;
  extreme.SmallestMagnitude = 999.0f;
  float previousTime = extreme.Start;
  float previousYear = 0.0f;
  float previousMonth = 0.0f;
  float previousDay = 0.0f;
  // The values of an event line live across lines: a null value (two commas)
  // keeps the value of the line before.
  float year = 0.0f;
  float month = 0.0f;
  float day = 0.0f;
  float magnitude = 0.0f;
  float sd = extreme.CommonSdValue;
  for (;;) {
    const ReadOutcome outcome =
        layout == kPerEventSd ? FreeFormatRead(*file, {&year, &month, &day, &magnitude, &sd}, true)
                              : FreeFormatRead(*file, {&year, &month, &day, &magnitude}, true);
    if (outcome == ReadOutcome::EndOfFile) break;
    if (layout == kPerEventSd && sd < 0.01f) sd = 0.01f;

    UpdateObservedMaxima(catalog, magnitude);

    ++n;
    if (n > nex) StopTooManyEvents(sink);
    if (n == 1) {
      previousYear = year;
      previousMonth = month;
      previousDay = day;
    }
    if (year == 0.0f)
      year = previousYear;
    else
      previousYear = year;
    if (month == 0.0f)
      month = previousMonth;
    else
      previousMonth = month;
    if (day == 0.0f)
      day = previousDay;
    else
      previousDay = day;

    Event& event = extreme.Events[static_cast<std::size_t>(n - 1)];
    event.MagHundredths = CheckedScaled(*file, magnitude, 100.0, "magnitude");
    event.SdHundredths = layout == kCommonSd
                             ? commonSdHundredths
                             : CheckedScaled(*file, sd, 100.0, "standard deviation");
    const std::int32_t shownYear = CheckedScaled(*file, year, 1.0, "year");
    const std::int32_t shownMonth = CheckedScaled(*file, month, 1.0, "month");
    const std::int32_t shownDay = CheckedScaled(*file, day, 1.0, "day");

    const float time = DecimalYear(year, month, day);
    const double interval =
        std::trunc((static_cast<double>(time) - static_cast<double>(previousTime)) * 1000.0);
    if (!(interval > 0.0)) StopDateError(sink, n);
    event.IntervalThousandths =
        CheckedWhole(*file, file->LineNumber(), interval,
                     "time since the previous event in thousandths of a year");
    previousTime = time;

    if (extreme.SmallestMagnitude > magnitude) extreme.SmallestMagnitude = magnitude;

    sink.FormatBoth("(1X,I5,1X,I2,1X,I2,1X,F5.2,1X,F5.2)",
                    {shownYear, shownMonth, shownDay, magnitude, sd});
  }

  // The end of the period closes the last interval. Without any event there
  // is no interval to close.
  if (n > 0) {
    if (extreme.End < previousTime) StopDateError(sink, n);
    Event& last = extreme.Events[static_cast<std::size_t>(n - 1)];
    const double tail =
        std::trunc((static_cast<double>(extreme.End) - static_cast<double>(previousTime)) * 1000.0);
    last.IntervalThousandths =
        CheckedWhole(*file, end.Line, static_cast<double>(last.IntervalThousandths) + tail,
                     "time from the last event to the end of the period in thousandths of a year");
  }
  file.reset();
  extreme.EventCount = static_cast<float>(n);

  sink.List(Dest::Console);
  sink.FormatBoth("('  Number of earthquakes :',I4)", {n});
  sink.Format(Dest::File, "('  MAX OBS. IN EXTREME PART OF CATALOG = ',F5.2)",
              {catalog.MaxObserved});
  sink.Format(Dest::File, "('  SECOND MAX OBS. IN EXTREME PART OF CATALOG = ',F5.2)",
              {catalog.SecondMaxObserved});

  session.settings.Mmin = extreme.SmallestMagnitude;

  // Extremes together with complete parts: an empty extreme part simply
  // contributes nothing and the complete parts set Mmin.
  if (n == 0 && session.settings.DataKind != 3) StopNoEvents(sink);
}

}  // namespace qev
