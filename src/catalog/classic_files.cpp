#include "qev/classic_files.h"

#include <cmath>
#include <string>
#include <utility>

#include "catalog/scaled.h"
#include "qev/classic_bounds.h"
#include "qev/errors.h"
#include "textio/number_text.h"
#include "textio/reader.h"

namespace qev {

namespace {

// value x factor truncated, for a value of the line just read from `file`; a
// value whose scaled integer does not fit 32 bits is a reading error.
std::int32_t CheckedScaled(const LineSource& file, float value, double factor,
                           const std::string& what) {
  if (!ScaledFits(value, factor)) {
    const std::string scaled = factor == 1.0
                                   ? std::string("its integer part")
                                   : "the value times " + std::to_string(static_cast<long>(factor));
    throw ReadingError(file.Description(), file.LineNumber(), what + " " + ShownValue(value),
                       scaled + " within the 32-bit integers");
  }
  return ScaledTruncation(value, factor);
}

// A quantity formed in double precision (an interval in thousandths of a year,
// a running count) as a 32-bit integer, reported against `line`.
std::int32_t CheckedWhole(const LineSource& file, long line, double value,
                          const std::string& what) {
  if (!WholeFits(value)) {
    throw ReadingError(file.Description(), line, what + " " + ShownValue(value),
                       "a value within the 32-bit integers");
  }
  return static_cast<std::int32_t>(std::trunc(value));
}

void CheckNotNegative(const LineSource& file, float value, const std::string& what) {
  if (value >= 0.0f) return;
  throw ReadingError(file.Description(), file.LineNumber(), what + " " + ShownValue(value),
                     "a " + what + " not below 0");
}

// An SD above classic::kLargestSd: the likelihood's apparent factor would not
// be a number.
void CheckSdWithinLikelihood(const LineSource& file, float sd) {
  if (!(sd > classic::kLargestSd)) return;
  throw ReadingError(file.Description(), file.LineNumber(), "standard deviation " + ShownValue(sd),
                     "a standard deviation not above " + ShownValue(classic::kLargestSd));
}

// A magnitude (or intensity) above the largest the caller allows.
void CheckSize(const LineSource& file, float value, float largest, const char* what) {
  if (!(value > largest)) return;
  throw ReadingError(file.Description(), file.LineNumber(),
                     std::string(what) + " " + ShownValue(value),
                     std::string("a ") + what + " not above " + ShownValue(largest));
}

// The end of the file inside a record: some of its values were read, the
// rest is missing. `values` names them, e.g. "magnitude and SD".
void CheckWholeRecord(const LineSource& file, const ReadProgress& progress, std::size_t count,
                      const char* values, const char* record) {
  if (progress.reached == 0) return;
  throw ReadingError(file.Description(), progress.line,
                     "the end of the file after " + std::to_string(progress.reached) + " of " +
                         std::to_string(count) + " values",
                     std::string(values) + " on " + record);
}

std::string ShownDate(const ClassicDate& date) {
  return std::to_string(date.shown_year) + "/" + std::to_string(date.shown_month) + "/" +
         std::to_string(date.shown_day);
}

// A header date: read as one record, zeros completed, checked so that its
// values can be shown as whole numbers.
ClassicDate ReadHeaderDate(LineSource& file, float zeroMonth, float zeroDay, const char* which) {
  ClassicDate date;
  FreeFormatRead(file, {&date.year, &date.month, &date.day});
  date.line = file.LineNumber();
  if (date.month == 0.0f) date.month = zeroMonth;
  if (date.day == 0.0f) date.day = zeroDay;
  const std::string what(which);
  date.shown_year = CheckedScaled(file, date.year, 1.0, what + " year");
  date.shown_month = CheckedScaled(file, date.month, 1.0, what + " month");
  date.shown_day = CheckedScaled(file, date.day, 1.0, what + " day");
  return date;
}

// The two header dates of a period (a zero month or day of the start read as
// 1, of the end as 12 and 31) and their decimal years.
void ReadPeriod(LineSource& file, ClassicDate& start, ClassicDate& end, float& startYear,
                float& endYear) {
  start = ReadHeaderDate(file, 1.0f, 1.0f, "start");
  end = ReadHeaderDate(file, 12.0f, 31.0f, "end");
  startYear = DecimalYear(start.year, start.month, start.day);
  endYear = DecimalYear(end.year, end.month, end.day);
}

// The common SD line: not negative, its hundredths within 32 bits.
float ReadHeaderSd(LineSource& file) {
  float sd = 0.0f;
  FreeFormatRead(file, {&sd});
  CheckNotNegative(file, sd, "standard deviation");
  CheckedScaled(file, sd, 100.0, "standard deviation");
  CheckSdWithinLikelihood(file, sd);
  return sd;
}

}  // namespace

struct ExtremeFileReader::State {
  State(std::istream& in, std::string source, ExtremeLayout layout, float largest)
      : file(in, std::move(source), true), layout(layout), largest(largest) {}

  LineSource file;
  ExtremeLayout layout;
  float largest;
  ExtremeHeader header;
  ExtremePart part;
  ExtremeLine line;
  float previousTime = 0.0f;
  std::int32_t lastInterval = 0;
  // Zeros of a date stand for the value of the event before.
  float previousYear = 0.0f;
  float previousMonth = 0.0f;
  float previousDay = 0.0f;
  // The values of an event line live across lines: a null value keeps the
  // value of the line before.
  float year = 0.0f;
  float month = 0.0f;
  float day = 0.0f;
  float magnitude = 0.0f;
  float sd = 0.0f;
};

ExtremeFileReader::ExtremeFileReader(std::istream& in, std::string source, ExtremeLayout layout,
                                     float largestMagnitude)
    : state_(std::make_unique<State>(in, std::move(source), layout, largestMagnitude)) {
  State& s = *state_;
  ReadPeriod(s.file, s.header.start, s.header.end, s.part.start, s.part.end);
  if (layout == ExtremeLayout::CommonSd) s.header.common_sd = ReadHeaderSd(s.file);
  s.previousTime = s.part.start;
  s.sd = s.header.common_sd;
}

ExtremeFileReader::~ExtremeFileReader() = default;

const ExtremeHeader& ExtremeFileReader::header() const { return state_->header; }

std::size_t ExtremeFileReader::event_count() const { return state_->part.events.size(); }

bool ExtremeFileReader::ReadLine() {
  State& s = *state_;
  const bool perEvent = s.layout == ExtremeLayout::PerEventSd;
  ReadProgress progress;
  const ReadOutcome outcome =
      perEvent ? FreeFormatRead(s.file, {&s.year, &s.month, &s.day, &s.magnitude, &s.sd}, true,
                                &progress)
               : FreeFormatRead(s.file, {&s.year, &s.month, &s.day, &s.magnitude}, true, &progress);
  if (outcome == ReadOutcome::EndOfFile) {
    CheckWholeRecord(
        s.file, progress, perEvent ? 5 : 4,
        perEvent ? "year, month, day, magnitude and SD" : "year, month, day and magnitude",
        "an event line");
    return false;
  }
  CheckSize(s.file, s.magnitude, s.largest, "magnitude");
  if (perEvent && s.sd < 0.01f) s.sd = 0.01f;
  return true;
}

const ExtremeLine& ExtremeFileReader::AcceptLine() {
  State& s = *state_;
  const long number = static_cast<long>(s.part.events.size()) + 1;
  if (number == 1) {
    s.previousYear = s.year;
    s.previousMonth = s.month;
    s.previousDay = s.day;
  }
  if (s.year == 0.0f)
    s.year = s.previousYear;
  else
    s.previousYear = s.year;
  if (s.month == 0.0f)
    s.month = s.previousMonth;
  else
    s.previousMonth = s.month;
  if (s.day == 0.0f)
    s.day = s.previousDay;
  else
    s.previousDay = s.day;

  ExtremeLine& line = s.line;
  CheckedScaled(s.file, s.magnitude, 100.0, "magnitude");
  if (s.layout != ExtremeLayout::CommonSd) {
    CheckedScaled(s.file, s.sd, 100.0, "standard deviation");
    CheckSdWithinLikelihood(s.file, s.sd);
  }
  line.date.year = s.year;
  line.date.month = s.month;
  line.date.day = s.day;
  line.date.shown_year = CheckedScaled(s.file, s.year, 1.0, "year");
  line.date.shown_month = CheckedScaled(s.file, s.month, 1.0, "month");
  line.date.shown_day = CheckedScaled(s.file, s.day, 1.0, "day");
  line.date.line = s.file.LineNumber();
  line.magnitude = s.magnitude;
  line.sd = s.sd;

  const float time = DecimalYear(s.year, s.month, s.day);
  const double interval =
      std::trunc((static_cast<double>(time) - static_cast<double>(s.previousTime)) * 1000.0);
  if (!(interval > 0.0)) {
    throw CatalogError(
        "event " + std::to_string(number) + " is not at least 0.001 year after the " +
            (number == 1 ? std::string("start of the period") : std::string("event before it")),
        s.file.Description(), s.file.LineNumber(), number);
  }
  s.lastInterval = CheckedWhole(s.file, s.file.LineNumber(), interval,
                                "time since the previous event in thousandths of a year");
  s.previousTime = time;
  s.part.events.push_back(ExtremeEvent{time, s.magnitude, s.sd});
  return line;
}

ExtremePart ExtremeFileReader::Finish() {
  State& s = *state_;
  const long count = static_cast<long>(s.part.events.size());
  if (count > 0) {
    if (s.part.end < s.previousTime) {
      throw CatalogError("the period ends before its last event, event " + std::to_string(count),
                         s.file.Description(), s.header.end.line, count);
    }
    const double tail = std::trunc(
        (static_cast<double>(s.part.end) - static_cast<double>(s.previousTime)) * 1000.0);
    CheckedWhole(s.file, s.header.end.line, static_cast<double>(s.lastInterval) + tail,
                 "time from the last event to the end of the period in thousandths of a year");
  }
  return s.part;
}

ExtremeFile ReadExtremeFile(std::istream& in, const std::string& source, ExtremeLayout layout,
                            float largestMagnitude) {
  ExtremeFileReader reader(in, source, layout, largestMagnitude);
  ExtremeFile file;
  file.header = reader.header();
  while (reader.ReadLine()) file.lines.push_back(reader.AcceptLine());
  file.part = reader.Finish();
  return file;
}

struct CompleteFileReader::State {
  State(std::istream& in, std::string source, CompleteLayout layout, float largest)
      : file(in, std::move(source), true), layout(layout), largest(largest) {}

  LineSource file;
  CompleteLayout layout;
  float largest;
  CompleteHeader header;
  CompletePart part;
  CompleteLine line;
  MagnitudeRow row;
  std::int64_t events = 0;
  // The values of a data line live across lines, as in the extreme file.
  float magnitude = 0.0f;
  float sd = 0.0f;
  float frequency = 1.0f;
};

CompleteFileReader::CompleteFileReader(std::istream& in, std::string source, CompleteLayout layout,
                                       float largestMagnitude)
    : state_(std::make_unique<State>(in, std::move(source), layout, largestMagnitude)) {
  State& s = *state_;
  ReadPeriod(s.file, s.header.start, s.header.end, s.part.start, s.part.end);
  FreeFormatRead(s.file, {&s.header.threshold});
  CheckSize(s.file, s.header.threshold, s.largest, "threshold magnitude");
  s.part.threshold = s.header.threshold;
  if (layout != CompleteLayout::PerEventSd) s.header.sd = ReadHeaderSd(s.file);
}

CompleteFileReader::~CompleteFileReader() = default;

const CompleteHeader& CompleteFileReader::header() const { return state_->header; }

const CompleteLine& CompleteFileReader::line() const { return state_->line; }

std::size_t CompleteFileReader::row_count() const { return state_->part.rows.size(); }

bool CompleteFileReader::ReadLine() {
  State& s = *state_;
  ReadOutcome outcome = ReadOutcome::Completed;
  ReadProgress progress;
  const char* values = "magnitude";
  switch (s.layout) {
    case CompleteLayout::PerEventSd:
      outcome = FreeFormatRead(s.file, {&s.magnitude, &s.sd}, true, &progress);
      s.frequency = 1.0f;
      values = "magnitude and SD";
      break;
    case CompleteLayout::CommonSd:
      outcome = FreeFormatRead(s.file, {&s.magnitude}, true, &progress);
      s.frequency = 1.0f;
      break;
    case CompleteLayout::Grouped:
      outcome = FreeFormatRead(s.file, {&s.frequency, &s.magnitude}, true, &progress);
      values = "frequency and magnitude";
      break;
  }
  if (outcome == ReadOutcome::EndOfFile) {
    CheckWholeRecord(s.file, progress, s.layout == CompleteLayout::CommonSd ? 1 : 2, values,
                     "a data line");
    return false;
  }
  CheckSize(s.file, s.magnitude, s.largest, "magnitude");
  if (s.layout == CompleteLayout::PerEventSd) CheckNotNegative(s.file, s.sd, "standard deviation");
  if (s.layout == CompleteLayout::Grouped) {
    CheckNotNegative(s.file, s.frequency, "frequency");
    // A count of earthquakes is whole: 2.9 is no silent 2.
    if (s.frequency != std::trunc(s.frequency)) {
      throw ReadingError(s.file.Description(), s.file.LineNumber(),
                         "frequency " + ShownValue(s.frequency), "a whole number of earthquakes");
    }
  }
  s.line.magnitude = s.magnitude;
  s.line.sd = s.layout == CompleteLayout::PerEventSd ? s.sd : s.header.sd;
  s.line.frequency = s.frequency;
  s.line.below_threshold =
      static_cast<double>(s.header.threshold) - 0.01 > static_cast<double>(s.magnitude);
  s.line.line = s.file.LineNumber();
  return true;
}

const MagnitudeRow& CompleteFileReader::AcceptLine() {
  State& s = *state_;
  CheckedScaled(s.file, s.line.magnitude, 100.0, "magnitude");
  if (s.layout == CompleteLayout::PerEventSd) {
    CheckedScaled(s.file, s.line.sd, 100.0, "standard deviation");
    CheckSdWithinLikelihood(s.file, s.line.sd);
  }
  const std::int32_t frequency = CheckedScaled(s.file, s.line.frequency, 1.0, "frequency");
  s.events += frequency;
  CheckedWhole(s.file, s.file.LineNumber(), static_cast<double>(s.events), "number of earthquakes");
  if (s.part.end < s.part.start) {
    throw CatalogError("the part ends before it starts", s.file.Description(), s.file.LineNumber());
  }
  s.part.rows.push_back(MagnitudeRow{s.line.magnitude, s.line.sd, frequency});
  return s.part.rows.back();
}

CompletePart CompleteFileReader::Finish() {
  State& s = *state_;
  // With data lines the first of them found it (AcceptLine); without any, the
  // header alone is wrong.
  if (s.part.end < s.part.start) {
    throw ReadingError(s.file.Description(), s.header.end.line, "end " + ShownDate(s.header.end),
                       "an end of the part not before its start " + ShownDate(s.header.start));
  }
  s.part.sd = s.layout == CompleteLayout::PerEventSd ? MeanSd(s.part.rows) : s.header.sd;
  return s.part;
}

CompleteFile ReadCompleteFile(std::istream& in, const std::string& source, CompleteLayout layout,
                              float largestMagnitude) {
  CompleteFileReader reader(in, source, layout, largestMagnitude);
  CompleteFile file;
  file.header = reader.header();
  while (reader.ReadLine()) {
    if (reader.line().below_threshold) file.below_threshold.push_back(reader.row_count());
    reader.AcceptLine();
  }
  file.part = reader.Finish();
  return file;
}

}  // namespace qev
