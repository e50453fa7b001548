// ZMAP-style whitespace tables: longitude, latitude, year (or decimal year),
// month, day, magnitude, depth, hour, minute and an optional second; further
// columns are ignored.
#include <cmath>
#include <string>
#include <vector>

#include "events/reading.h"
#include "qev/event_settings.h"
#include "qev/events.h"

namespace qev {

using namespace events_detail;

namespace {

constexpr const char* kColumns[] = {"longitude", "latitude", "year", "month",  "day",
                                    "magnitude", "depth",    "hour", "minute", "second"};
constexpr std::size_t kRequiredColumns = 9;

void SplitWhitespace(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    std::size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    fields.push_back(line.substr(i, j - i));
    i = j;
  }
}

std::int32_t Whole(const FieldContext& at, std::size_t column, std::string_view text) {
  const double value = RequireNumber(at, kColumns[column], text, kColumns[column]);
  if (value != std::floor(value) || std::fabs(value) > 1e6) {
    ThrowBadRow(at, std::string("not a whole ") + kColumns[column], text,
                std::string("in column '") + kColumns[column] + "' a whole number");
  }
  return static_cast<std::int32_t>(value);
}

// Month, day and time of day from the fraction of a decimal year (used when
// the month and day columns are both 0).
void FromFraction(double decimal_year, DateTime& when) {
  const double whole = std::floor(decimal_year);
  when.date.year = static_cast<std::int32_t>(whole);
  const bool leap = IsValidDate({when.date.year, 2, 29});
  double seconds = (decimal_year - whole) * (leap ? 366.0 : 365.0) * 86400.0;
  when.date.month = 1;
  when.date.day = 1;
  for (;;) {
    std::int32_t length = 31;
    while (!IsValidDate({when.date.year, when.date.month, length})) --length;
    if (seconds < length * 86400.0 || when.date.month == 12) break;
    seconds -= length * 86400.0;
    ++when.date.month;
  }
  const auto day = static_cast<std::int32_t>(seconds / 86400.0);
  when.date.day += day;
  seconds -= day * 86400.0;
  when.hour = static_cast<std::int32_t>(seconds / 3600.0);
  seconds -= when.hour * 3600.0;
  when.minute = static_cast<std::int32_t>(seconds / 60.0);
  when.second = static_cast<float>(seconds - when.minute * 60.0);
  if (!IsValidDate(when.date)) when.date.day = 31;  // rounding at the very end of the year
}

ReadResult ReadZmap(LineSource& lines, const std::string& source, const ReadOptions& options) {
  Validate(options);
  ReadResult result;
  result.summary.source = source;
  result.summary.format = EventFormat::Zmap;
  BadRows bad(result.summary, options);
  std::vector<std::string_view> fields;
  std::string_view line;
  while (lines.Next(line)) {
    CheckCancelled(options);
    SplitWhitespace(line, fields);
    if (fields.empty() || fields[0].front() == '#') continue;
    ++result.summary.rows_read;
    const FieldContext at{source, lines.line_number()};
    try {
      if (fields.size() < kRequiredColumns) {
        ThrowBadRow(at, "too few columns", line,
                    "at least 9 columns: longitude latitude year month day magnitude depth hour "
                    "minute [second]");
      }
      EventTable::Row row;
      row.longitude = RequireNumber(at, kColumns[0], fields[0], "longitude");
      CheckLongitude(at, kColumns[0], row.longitude, fields[0]);
      row.latitude = RequireNumber(at, kColumns[1], fields[1], "latitude");
      CheckLatitude(at, kColumns[1], row.latitude, fields[1]);
      const double year = RequireNumber(at, kColumns[2], fields[2], "year");
      if (std::fabs(year) > 1e6)
        ThrowBadRow(at, "not a year", fields[2], "in column 'year' a year");
      DateTime when;
      when.date.month = Whole(at, 3, fields[3]);
      when.date.day = Whole(at, 4, fields[4]);
      when.hour = Whole(at, 7, fields[7]);
      when.minute = Whole(at, 8, fields[8]);
      if (fields.size() > 9) when.second = RequireFloat(at, kColumns[9], fields[9], "second");
      // A decimal year between 0 and 1 would fall in year 0, which does not exist.
      if (std::floor(year) == 0.0 || std::trunc(year) == 0.0) {
        ThrowBadRow(at, "impossible date", fields[2], "in column 'year' a year other than 0");
      }
      if (year != std::floor(year) && when.date.month == 0 && when.date.day == 0 &&
          when.hour == 0 && when.minute == 0 && when.second == 0.0f) {
        FromFraction(year, when);
      } else {
        when.date.year = static_cast<std::int32_t>(std::trunc(year));
      }
      const std::string shown = std::string(fields[2]) + " " + std::string(fields[3]) + " " +
                                std::string(fields[4]) + " " + std::string(fields[7]) + ":" +
                                std::string(fields[8]);
      CheckDateTime(at, "year month day hour minute", when, shown);
      row.date = when.date;
      row.hour = when.hour;
      row.minute = when.minute;
      row.second = when.second;
      row.magnitude = RequireMagnitude(at, kColumns[5], fields[5]);
      row.depth = RequireFloat(at, kColumns[6], fields[6], "depth");
      row.sd = SdOrDefault(at, "(no SD column)", "", options, result.summary);
      result.events.Append(row);
    } catch (const BadRow& b) {
      bad.Handle(b);
    }
  }
  return result;
}

}  // namespace

ReadResult ReadZmapText(std::string_view text, const std::string& source,
                        const ReadOptions& options) {
  auto lines = TextLines(text);
  return ReadZmap(*lines, source, options);
}

ReadResult ReadZmapFile(const std::string& path, const ReadOptions& options) {
  auto lines = FileLines(path);
  return ReadZmap(*lines, path, options);
}

}  // namespace qev
