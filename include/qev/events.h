// Earthquake catalogs as they come from agencies and hazard toolkits: the
// event table and its readers (CSV with a header, ZMAP-style whitespace
// tables, QuakeML 1.2).
//
// The table is a structure of arrays: every numeric column is one contiguous
// std::vector, so that other languages can view it without copying. Texts
// (magnitude types, event ids) are kept as codes into a list of names and as
// one character buffer with offsets.
//
// Dates are kept as written. Years before 1582 are not converted between
// calendars (the Julian leap rule decides whether 29 February exists there);
// month 0 and day 0 mean "not known", as in the classic layouts. Where a time
// axis is needed (selection, declustering, the split) an unknown month counts
// as 1 July and an unknown day as the 15th (see CompletedDate).
//
// Format details and every option: docs/catalogs.md.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qev/errors.h"

namespace qev {

// A calendar date as written: month and day 0 mean unknown.
struct CivilDate {
  std::int32_t year = 0;
  std::int32_t month = 0;
  std::int32_t day = 0;
  friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// Whether the date exists: month 0..12, day 0..length of the month (day 0 when
// the month is unknown), the Julian leap rule before 1582, the Gregorian one
// from 1582 on; year 0 does not exist (the year before 1 is -1).
bool IsValidDate(const CivilDate& date);

// The date with an unknown month taken as 1 July and an unknown day as the
// 15th: the dates used for the time axis and written to the classic files.
CivilDate CompletedDate(const CivilDate& date);

// A date given as a bound (YYYY or YYYY-MM): its first day, or its last day.
CivilDate FirstDayOf(const CivilDate& date);
CivilDate LastDayOf(const CivilDate& date);
// The day before an existing, complete date (31 December of year -1 before
// 1 January of year 1).
CivilDate PreviousDay(const CivilDate& date);

// Days from 1 January 1970 to the completed date (the proleptic Gregorian
// count for every year, so dates as written stay in their order), plus the
// time of day as a fraction.
double DayNumber(const CivilDate& date, double seconds_of_day = 0.0);

// The completed date as the catalog value types count time (qev::DecimalYear
// of the completed year, month and day, single precision).
float CatalogDecimalYear(const CivilDate& date);

// A date written as YYYY, YYYY-MM, YYYY-MM-DD (a leading minus for years
// before the common era). Throws ReadingError naming `what` for anything else
// or a date that does not exist.
CivilDate ParseDate(std::string_view text, const std::string& what);

// Text of a date as YYYY-MM-DD (unknown parts as 00).
std::string FormatDate(const CivilDate& date);

struct EventTable {
  // Origin time as written; month and day 0: unknown.
  std::vector<std::int32_t> year;
  std::vector<std::uint8_t> month;
  std::vector<std::uint8_t> day;
  std::vector<std::uint8_t> hour;
  std::vector<std::uint8_t> minute;
  std::vector<float> second;
  std::vector<double> longitude;  // degrees east, -180..180 as read (up to 360 accepted)
  std::vector<double> latitude;   // degrees north, -90..90
  std::vector<float> depth;       // km; NaN when not given
  std::vector<float> magnitude;   // single precision of the text read
  std::vector<float> sd;          // standard deviation of the magnitude
  // Index into magnitude_types; the name "" stands for a type not given.
  std::vector<std::uint16_t> magnitude_type;
  std::vector<std::string> magnitude_types;
  // The agency (or author) of the magnitude: index into agencies, "" for
  // none given.
  std::vector<std::uint16_t> magnitude_agency;
  std::vector<std::string> agencies;
  // The magnitude and its type as the catalog gave them: the same as
  // magnitude and magnitude_type until a conversion to one scale
  // (qev::Homogenise) changes those.
  std::vector<float> original_magnitude;
  std::vector<std::uint16_t> original_type;  // index into magnitude_types
  // Further magnitudes of an event besides the one above (the other
  // magnitudes of a QuakeML event, the other magnitude columns of a CSV
  // row): event i's are entries [other_end[i-1], other_end[i]) of the
  // other_* columns. other_end is empty while no event has any. An SD not
  // given is NaN.
  std::vector<float> other_magnitude;
  std::vector<float> other_sd;
  std::vector<std::uint16_t> other_type;    // index into magnitude_types
  std::vector<std::uint16_t> other_agency;  // index into agencies
  std::vector<std::uint64_t> other_end;
  // Event i's id is id_text[id_end[i-1], id_end[i]) (from 0 for the first).
  std::string id_text;
  std::vector<std::uint64_t> id_end;

  std::size_t size() const { return magnitude.size(); }
  bool empty() const { return magnitude.empty(); }
  std::string_view id(std::size_t i) const;
  const std::string& type_name(std::size_t i) const { return magnitude_types[magnitude_type[i]]; }
  const std::string& agency_name(std::size_t i) const { return agencies[magnitude_agency[i]]; }
  CivilDate date(std::size_t i) const { return {year[i], month[i], day[i]}; }
  // The range of event i's further magnitudes in the other_* columns.
  std::size_t others_begin(std::size_t i) const {
    return other_end.empty() || i == 0 ? 0 : static_cast<std::size_t>(other_end[i - 1]);
  }
  std::size_t others_end(std::size_t i) const {
    return other_end.empty() ? 0 : static_cast<std::size_t>(other_end[i]);
  }
  double seconds_of_day(std::size_t i) const {
    return hour[i] * 3600.0 + minute[i] * 60.0 + static_cast<double>(second[i]);
  }
  // Day number (DayNumber) of the event's origin time.
  double days(std::size_t i) const { return DayNumber(date(i), seconds_of_day(i)); }

  // One row of the table as plain values.
  struct Row {
    CivilDate date;
    std::int32_t hour = 0;
    std::int32_t minute = 0;
    float second = 0.0f;
    double longitude = 0.0;
    double latitude = 0.0;
    float depth = 0.0f;
    float magnitude = 0.0f;
    float sd = 0.0f;
    std::string_view magnitude_type;
    std::string_view id;
    std::string_view agency;
    // As the catalog gave them; none: magnitude and magnitude_type.
    std::optional<float> original_magnitude;
    std::optional<std::string_view> original_type;
  };
  // Appends a row whose fields were checked by the caller. Throws Error when
  // a 65,536th magnitude type or agency appears.
  void Append(const Row& row);
  // A further magnitude of the event appended last (sd NaN: not given).
  void AppendOther(float magnitude, float sd, std::string_view type, std::string_view agency);
  Row row(std::size_t i) const;
  void Reserve(std::size_t rows);
  // The rows given (in the order given) as a new table, with their further
  // magnitudes.
  EventTable Subset(const std::vector<std::size_t>& rows) const;

 private:
  std::map<std::string, std::uint16_t, std::less<>> type_codes_;
  std::map<std::string, std::uint16_t, std::less<>> agency_codes_;
};

// Catalog file layouts.
enum class EventFormat { Csv, Zmap, QuakeMl };

// The layout from a file name's extension (.csv, .xml/.qml/.quakeml, other:
// ZMAP-style), or from the first bytes of the content when given (an XML
// declaration or a root element, a comma, semicolon or tab in the first line).
EventFormat GuessFormat(const std::string& file_name, std::string_view first_bytes = {});

struct ReadOptions {
  // SD for an event whose file gives none (an empty field, no SD column).
  // Without it such an event is a bad row.
  std::optional<float> default_sd;
  // Skip and count bad rows instead of stopping at the first.
  bool skip_bad_rows = false;
  // CSV: column names for roles, overriding the names found by convention.
  // Roles: id, time, year, month, day, hour, minute, second, longitude,
  // latitude, depth, magnitude, magtype, sd, type, agency. An empty name switches
  // the role off (no column serves it). A column serves as the event type
  // only when every value is an event type of QuakeML 1.2 (any case) or
  // empty; otherwise it is left unused and the summary says so.
  std::map<std::string, std::string> columns;
  // CSV: columns of magnitudes of one type each (e.g. type Ms in column
  // "MS", its SD in "MS_unc" or none); a value given on a row is one of the
  // event's further magnitudes. With them the magnitude column may be
  // missing or empty: the first of them given on the row is then the main
  // magnitude.
  struct MagnitudeColumn {
    std::string type;
    std::string column;
    std::string sd_column;  // empty: none
  };
  std::vector<MagnitudeColumn> magnitude_columns;
  // When given and raised during a read, the reader stops at its next row
  // or event and throws Cancelled.
  const std::atomic<bool>* cancel = nullptr;
};

// What a read saw besides the events it kept.
struct ReadSummary {
  std::string source;
  EventFormat format = EventFormat::Csv;
  std::size_t rows_read = 0;     // data rows (CSV, ZMAP) or events (QuakeML) met
  std::size_t sd_defaulted = 0;  // events that took ReadOptions::default_sd
  struct Skipped {
    std::string reason;  // e.g. "not an earthquake (volcanic eruption)"
    std::size_t count = 0;
    std::string first;  // the message of the first such row
  };
  std::vector<Skipped> skipped;  // in the order first met
  // What the read decided on its own, e.g. a column 'type' left unused
  // because its values are not event types.
  std::vector<std::string> notes;
  std::size_t skipped_total() const;
};

struct ReadResult {
  EventTable events;
  ReadSummary summary;
};

// Readers of a whole file (the file is read, never written). Bad rows throw
// ReadingError naming the file, line, column and text, unless
// options.skip_bad_rows. An unreadable file throws Error.
ReadResult ReadCsvFile(const std::string& path, const ReadOptions& options);
ReadResult ReadZmapFile(const std::string& path, const ReadOptions& options);
ReadResult ReadQuakeMlFile(const std::string& path, const ReadOptions& options);
ReadResult ReadEventFile(const std::string& path, const ReadOptions& options,
                         std::optional<EventFormat> format = std::nullopt);

// The same readers on text in memory; `source` names it in messages.
ReadResult ReadCsvText(std::string_view text, const std::string& source,
                       const ReadOptions& options);
ReadResult ReadZmapText(std::string_view text, const std::string& source,
                        const ReadOptions& options);
ReadResult ReadQuakeMlText(std::string_view text, const std::string& source,
                           const ReadOptions& options);

}  // namespace qev
