// The event table, calendar dates and their time axis.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "qev/catalog.h"
#include "qev/events.h"

namespace qev {

namespace {

bool IsLeapYear(std::int32_t year) {
  // Years before the common era: year -1 is the year before 1 (astronomical 0).
  const std::int64_t y = year < 0 ? static_cast<std::int64_t>(year) + 1 : year;
  if (year < 1582) return y % 4 == 0;
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::int32_t DaysInMonth(std::int32_t year, std::int32_t month) {
  static constexpr std::int32_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month == 2 && IsLeapYear(year)) return 29;
  return kDays[month - 1];
}

// Days from 1970-01-01 to a proleptic Gregorian date (astronomical year).
std::int64_t DaysFromCivil(std::int64_t y, std::int64_t m, std::int64_t d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

bool IsValidDate(const CivilDate& date) {
  if (date.year == 0) return false;
  if (date.month < 0 || date.month > 12 || date.day < 0) return false;
  if (date.month == 0) return date.day == 0;
  return date.day <= DaysInMonth(date.year, date.month);
}

CivilDate CompletedDate(const CivilDate& date) {
  CivilDate completed = date;
  if (completed.month == 0) {
    completed.month = 7;
    completed.day = 1;
  } else if (completed.day == 0) {
    completed.day = 15;
  }
  return completed;
}

CivilDate FirstDayOf(const CivilDate& date) {
  return {date.year, date.month == 0 ? 1 : date.month, date.day == 0 ? 1 : date.day};
}

CivilDate LastDayOf(const CivilDate& date) {
  CivilDate last{date.year, date.month == 0 ? 12 : date.month, date.day};
  if (last.day == 0) last.day = DaysInMonth(last.year, last.month);
  return last;
}

CivilDate PreviousDay(const CivilDate& date) {
  if (date.day > 1) return {date.year, date.month, date.day - 1};
  if (date.month > 1) return {date.year, date.month - 1, DaysInMonth(date.year, date.month - 1)};
  return {date.year == 1 ? -1 : date.year - 1, 12, 31};
}

double DayNumber(const CivilDate& date, double seconds_of_day) {
  const CivilDate c = CompletedDate(date);
  const std::int64_t year = c.year < 0 ? static_cast<std::int64_t>(c.year) + 1 : c.year;
  return static_cast<double>(DaysFromCivil(year, c.month, c.day)) + seconds_of_day / 86400.0;
}

float CatalogDecimalYear(const CivilDate& date) {
  const CivilDate c = CompletedDate(date);
  return DecimalYear(static_cast<float>(c.year), static_cast<float>(c.month),
                     static_cast<float>(c.day));
}

CivilDate ParseDate(std::string_view text, const std::string& what) {
  CivilDate date;
  const char* p = text.data();
  const char* end = p + text.size();
  auto fail = [&]() -> CivilDate {
    throw ReadingError(what, 0, std::string(text),
                       "a date YYYY, YYYY-MM or YYYY-MM-DD that exists");
  };
  bool negative = false;
  if (p != end && *p == '-') {
    negative = true;
    ++p;
  }
  auto number = [&](std::int32_t& value, int min_digits, int max_digits) {
    const char* start = p;
    // Digits only: from_chars would take a sign of its own ("--027" as 27).
    if (p == end || *p < '0' || *p > '9') fail();
    auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc() || next - start < min_digits || next - start > max_digits) fail();
    p = next;
  };
  number(date.year, 1, 6);
  if (negative) date.year = -date.year;
  if (p != end) {
    if (*p++ != '-') fail();
    number(date.month, 2, 2);
    if (p != end) {
      if (*p++ != '-') fail();
      number(date.day, 2, 2);
    }
  }
  if (p != end || !IsValidDate(date)) fail();
  return date;
}

std::string FormatDate(const CivilDate& date) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", date.year, date.month, date.day);
  return text;
}

std::string_view EventTable::id(std::size_t i) const {
  const std::size_t begin = i == 0 ? 0 : static_cast<std::size_t>(id_end[i - 1]);
  return std::string_view(id_text).substr(begin, static_cast<std::size_t>(id_end[i]) - begin);
}

namespace {

// The code of a name in a list of names, the name added when new. `codes`
// learns the names of a table copied or assembled by hand first.
std::uint16_t CodeOf(std::vector<std::string>& names,
                     std::map<std::string, std::uint16_t, std::less<>>& codes,
                     std::string_view name, const char* what) {
  auto found = codes.find(name);
  if (found == codes.end() && codes.size() < names.size()) {
    for (std::size_t k = 0; k < names.size(); ++k) {
      codes.emplace(names[k], static_cast<std::uint16_t>(k));
    }
    found = codes.find(name);
  }
  if (found != codes.end()) return found->second;
  if (names.size() > 0xFFFF) {
    throw Error(std::string("more than 65536 different ") + what + " in one table");
  }
  const auto code = static_cast<std::uint16_t>(names.size());
  names.emplace_back(name);
  codes.emplace(std::string(name), code);
  return code;
}

}  // namespace

void EventTable::Append(const Row& row) {
  const std::uint16_t type =
      CodeOf(magnitude_types, type_codes_, row.magnitude_type, "magnitude types");
  const std::uint16_t original = row.original_type ? CodeOf(magnitude_types, type_codes_,
                                                            *row.original_type, "magnitude types")
                                                   : type;
  const std::uint16_t agency = CodeOf(agencies, agency_codes_, row.agency, "agencies");
  year.push_back(row.date.year);
  month.push_back(static_cast<std::uint8_t>(row.date.month));
  day.push_back(static_cast<std::uint8_t>(row.date.day));
  hour.push_back(static_cast<std::uint8_t>(row.hour));
  minute.push_back(static_cast<std::uint8_t>(row.minute));
  second.push_back(row.second);
  longitude.push_back(row.longitude);
  latitude.push_back(row.latitude);
  depth.push_back(row.depth);
  magnitude.push_back(row.magnitude);
  sd.push_back(row.sd);
  magnitude_type.push_back(type);
  magnitude_agency.push_back(agency);
  original_magnitude.push_back(row.original_magnitude.value_or(row.magnitude));
  original_type.push_back(original);
  id_text.append(row.id);
  id_end.push_back(id_text.size());
  if (!other_end.empty()) other_end.push_back(other_end.back());
}

void EventTable::AppendOther(float value, float value_sd, std::string_view type,
                             std::string_view agency) {
  if (other_end.empty()) other_end.assign(size(), 0);
  other_magnitude.push_back(value);
  other_sd.push_back(value_sd);
  other_type.push_back(CodeOf(magnitude_types, type_codes_, type, "magnitude types"));
  other_agency.push_back(CodeOf(agencies, agency_codes_, agency, "agencies"));
  ++other_end.back();
}

EventTable::Row EventTable::row(std::size_t i) const {
  Row r;
  r.date = date(i);
  r.hour = hour[i];
  r.minute = minute[i];
  r.second = second[i];
  r.longitude = longitude[i];
  r.latitude = latitude[i];
  r.depth = depth[i];
  r.magnitude = magnitude[i];
  r.sd = sd[i];
  r.magnitude_type = type_name(i);
  r.id = id(i);
  r.agency = agency_name(i);
  r.original_magnitude = original_magnitude[i];
  r.original_type = magnitude_types[original_type[i]];
  return r;
}

void EventTable::Reserve(std::size_t rows) {
  year.reserve(rows);
  month.reserve(rows);
  day.reserve(rows);
  hour.reserve(rows);
  minute.reserve(rows);
  second.reserve(rows);
  longitude.reserve(rows);
  latitude.reserve(rows);
  depth.reserve(rows);
  magnitude.reserve(rows);
  sd.reserve(rows);
  magnitude_type.reserve(rows);
  magnitude_agency.reserve(rows);
  original_magnitude.reserve(rows);
  original_type.reserve(rows);
  id_end.reserve(rows);
}

EventTable EventTable::Subset(const std::vector<std::size_t>& rows) const {
  EventTable out;
  out.Reserve(rows.size());
  for (std::size_t i : rows) {
    out.Append(row(i));
    for (std::size_t k = others_begin(i); k < others_end(i); ++k) {
      out.AppendOther(other_magnitude[k], other_sd[k], magnitude_types[other_type[k]],
                      agencies[other_agency[k]]);
    }
  }
  return out;
}

std::size_t ReadSummary::skipped_total() const {
  std::size_t total = 0;
  for (const Skipped& s : skipped) total += s.count;
  return total;
}

}  // namespace qev
