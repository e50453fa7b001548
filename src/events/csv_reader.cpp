// CSV catalogs with a header row: columns found by name in any order (or
// named by the caller), extra columns ignored, quoted fields, a UTF-8
// byte-order mark, and a comma, semicolon or tab as the separator.
#include <array>
#include <cmath>
#include <deque>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "events/reading.h"
#include "qev/event_settings.h"
#include "qev/events.h"

namespace qev {

using namespace events_detail;

namespace {

enum Role {
  kId,
  kTime,
  kYear,
  kMonth,
  kDay,
  kHour,
  kMinute,
  kSecond,
  kLongitude,
  kLatitude,
  kDepth,
  kMagnitude,
  kMagType,
  kSd,
  kType,
  kAgency,
  kRoleCount
};

struct RoleNames {
  const char* role;                    // the name of the role in a column mapping
  std::array<const char*, 5> headers;  // header names that give it by convention (lower case)
};

// Header names of the hazard toolkits and of agency exports.
constexpr RoleNames kRoles[kRoleCount] = {
    {"id", {"eventid", "id", "event_id", "publicid", nullptr}},
    {"time", {"time", "datetime", "origintime", "origin_time", nullptr}},
    {"year", {"year", nullptr}},
    {"month", {"month", nullptr}},
    {"day", {"day", nullptr}},
    {"hour", {"hour", nullptr}},
    {"minute", {"minute", nullptr}},
    {"second", {"second", nullptr}},
    {"longitude", {"longitude", "lon", "long", nullptr}},
    {"latitude", {"latitude", "lat", nullptr}},
    {"depth", {"depth", nullptr}},
    {"magnitude", {"magnitude", "mag", nullptr}},
    {"magtype", {"magtype", "magnitudetype", "mag_type", "magnitude_type", nullptr}},
    {"sd", {"sigmamagnitude", "magerror", "mag_error", "sigma_magnitude", "magnitude_sd"}},
    {"type", {"type", "eventtype", "event_type", nullptr}},
    {"agency", {"magsource", "magauthor", "mag_author", "magnitude_author", "magagency"}},
};

// The event types of QuakeML 1.2 (EventType), which agency exports write.
constexpr const char* kEventTypes[] = {"not existing",
                                       "not reported",
                                       "earthquake",
                                       "anthropogenic event",
                                       "collapse",
                                       "cavity collapse",
                                       "mine collapse",
                                       "building collapse",
                                       "explosion",
                                       "accidental explosion",
                                       "chemical explosion",
                                       "controlled explosion",
                                       "experimental explosion",
                                       "industrial explosion",
                                       "mining explosion",
                                       "quarry blast",
                                       "road cut",
                                       "blasting levee",
                                       "nuclear explosion",
                                       "induced or triggered event",
                                       "rock burst",
                                       "reservoir loading",
                                       "fluid injection",
                                       "fluid extraction",
                                       "crash",
                                       "plane crash",
                                       "train crash",
                                       "boat crash",
                                       "other event",
                                       "atmospheric event",
                                       "sonic boom",
                                       "sonic blast",
                                       "acoustic noise",
                                       "thunder",
                                       "avalanche",
                                       "snow avalanche",
                                       "debris avalanche",
                                       "hydroacoustic event",
                                       "ice quake",
                                       "slide",
                                       "landslide",
                                       "rockslide",
                                       "meteorite",
                                       "volcanic eruption"};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool IsEventType(std::string_view text) {
  for (const char* type : kEventTypes) {
    if (EqualsIgnoringCase(text, type)) return true;
  }
  return false;
}

// The closing quote of a quoted field whose opening quote is at `open`
// (a doubled quote stands for one and is passed over; `doubled` tells
// whether there was one); npos while the quote is still open.
std::size_t ClosingQuote(std::string_view record, std::size_t open, bool& doubled) {
  doubled = false;
  for (std::size_t j = open + 1;;) {
    const std::size_t quote = record.find('"', j);
    if (quote == std::string_view::npos) return quote;
    if (quote + 1 >= record.size() || record[quote + 1] != '"') return quote;
    doubled = true;
    j = quote + 2;
  }
}

// A quoted field's text with each doubled quote made one.
std::string Undoubled(std::string_view inner) {
  std::string text;
  for (std::size_t k = 0; k < inner.size(); ++k) {
    text.push_back(inner[k]);
    if (inner[k] == '"') ++k;
  }
  return text;
}

// Splits a record into fields. A field that starts with a quote runs to the
// closing quote (a doubled quote stands for one). Returns false when a quote
// is still open at the end of the record (it continues on the next line).
// Throws BadRow for text between a closing quote and the separator.
bool SplitFields(std::string_view record, char separator, const FieldContext& at,
                 std::vector<std::string_view>& fields, std::deque<std::string>& unquoted) {
  fields.clear();
  unquoted.clear();
  std::size_t i = 0;
  for (;;) {
    std::size_t begin = i;
    while (begin < record.size() && record[begin] == ' ') ++begin;
    if (begin < record.size() && record[begin] == '"') {
      bool doubled = false;
      const std::size_t j = ClosingQuote(record, begin, doubled);
      if (j == std::string_view::npos) return false;
      std::string_view inner = record.substr(begin + 1, j - begin - 1);
      fields.push_back(doubled ? std::string_view(unquoted.emplace_back(Undoubled(inner))) : inner);
      std::size_t after = j + 1;
      while (after < record.size() && record[after] == ' ') ++after;
      if (after == record.size()) return true;
      if (record[after] != separator) {
        ThrowBadRow(at, "text after a closing quote", record.substr(begin),
                    "a separator after the closing quote of a field");
      }
      i = after + 1;
      continue;
    }
    const std::size_t stop = record.find(separator, i);
    if (stop == std::string_view::npos) {
      fields.push_back(record.substr(i));
      return true;
    }
    fields.push_back(record.substr(i, stop - i));
    i = stop + 1;
  }
}

char SeparatorOf(std::string_view header) {
  std::size_t counts[3] = {0, 0, 0};
  const char separators[3] = {',', ';', '\t'};
  bool quoted = false;
  for (char c : header) {
    if (c == '"') quoted = !quoted;
    if (quoted) continue;
    for (int k = 0; k < 3; ++k) counts[k] += c == separators[k];
  }
  int best = 0;
  for (int k = 1; k < 3; ++k) {
    if (counts[k] > counts[best]) best = k;
  }
  return separators[best];
}

// A whole number written as an integer or as a decimal with no fraction.
std::int32_t RequireWhole(const FieldContext& at, std::string_view column, std::string_view text,
                          const char* what, bool empty_is_zero) {
  if (empty_is_zero && Trim(text).empty()) return 0;
  const double value = RequireNumber(at, column, text, what);
  if (value != std::floor(value) || std::fabs(value) > 1e6) {
    ThrowBadRow(at, std::string("not a whole ") + what, text,
                "in column '" + std::string(column) + "' a whole " + what);
  }
  return static_cast<std::int32_t>(value);
}

class CsvReader {
 public:
  CsvReader(LineSource& lines, const std::string& source, const ReadOptions& options)
      : lines_(lines), source_(source), options_(options), bad_(result_.summary, options) {
    result_.summary.source = source;
    result_.summary.format = EventFormat::Csv;
  }

  ReadResult Read() {
    ReadHeader();
    std::string_view record;
    std::size_t bytes = 0;
    bool reserved = false;
    while (NextRecord(record)) {
      CheckCancelled(options_);
      bytes += record.size() + 1;
      if (Trim(record).empty()) continue;
      ++result_.summary.rows_read;
      ReadRecord(record);
      // Reserve the table from the size of the rows so far, so that the
      // columns are not doubled past the need.
      if (!reserved && result_.summary.rows_read == 1024) {
        reserved = true;
        const double per_row = static_cast<double>(bytes) / 1024.0;
        const auto expected = static_cast<std::size_t>(
            1.05 * (1024.0 + static_cast<double>(lines_.size_hint()) / per_row) + 16.0);
        result_.events.Reserve(expected);
        result_.events.id_text.reserve(
            static_cast<std::size_t>(1.05 * static_cast<double>(result_.events.id_text.size()) *
                                     static_cast<double>(expected) / 1024.0) +
            16);
      }
    }
    SettleTypes();
    return std::move(result_);
  }

 private:
  // A row whose event type is not an earthquake: left out at the end when
  // the column proves to hold event types, kept (or a bad row) otherwise.
  struct Held {
    std::string reason;
    std::string message;
    std::optional<std::size_t> row;  // in the table; none for a bad row
    std::optional<BadRow> bad;
  };

  void ReadRecord(std::string_view record) {
    std::optional<std::string> type;
    try {
      SplitRow(record);
      type = OtherEventType();
      ReadRow();
    } catch (const BadRow& bad) {
      if (!type) {
        bad_.Handle(bad);
        return;
      }
      held_.push_back(
          {"not an earthquake (" + Lower(*type) + ")", Message(*type), std::nullopt, bad});
      return;
    }
    if (type) {
      held_.push_back({"not an earthquake (" + Lower(*type) + ")", Message(*type),
                       result_.events.size() - 1, std::nullopt});
    }
  }

  std::string Message(const std::string& type) const {
    return source_ + ", line " + std::to_string(line_) + ": event type '" + type + "'";
  }

  // The row's event type when the type column names one other than an
  // earthquake; a value that is no event type leaves the column unused.
  std::optional<std::string> OtherEventType() {
    if (column_[kType] < 0 || !types_unused_.empty()) return std::nullopt;
    const std::string_view type = Trim(Field(kType));
    if (type.empty() || EqualsIgnoringCase(type, "earthquake")) return std::nullopt;
    if (IsEventType(type)) return std::string(type);
    types_unused_ = "column '" + std::string(Name(kType)) + "' is not an event type (line " +
                    std::to_string(line_) + " holds '" + std::string(type.substr(0, 40)) +
                    "'): not used; every row read as an earthquake";
    // The rows held for it are rows like any other now.
    std::vector<Held> held = std::move(held_);
    held_.clear();
    for (const Held& h : held) {
      if (h.bad) bad_.Handle(*h.bad);
    }
    return std::nullopt;
  }

  void SettleTypes() {
    if (!types_unused_.empty()) {
      result_.summary.notes.push_back(types_unused_);
      return;
    }
    if (held_.empty()) return;
    std::vector<bool> out(result_.events.size(), false);
    for (const Held& h : held_) {
      bad_.Skip(h.reason, h.message);
      if (h.row) out[*h.row] = true;
    }
    std::vector<std::size_t> kept;
    kept.reserve(result_.events.size());
    for (std::size_t i = 0; i < out.size(); ++i) {
      if (!out[i]) kept.push_back(i);
    }
    if (kept.size() != out.size()) result_.events = result_.events.Subset(kept);
  }

  // One record: a physical line, or more than one while a quote is open.
  bool NextRecord(std::string_view& record) {
    std::string_view line;
    if (!lines_.Next(line)) return false;
    line_ = lines_.line_number();
    record = line;
    if (line.find('"') == std::string_view::npos) return true;
    if (!OpenQuote(line)) return true;
    // The quote stays open while the lines after it hold an even number of
    // quotes: each line is scanned once, and the record is capped as a line is.
    joined_.assign(line);
    for (bool open = true; open; open ^= OpenQuote(line)) {
      if (!lines_.Next(line)) ThrowOpenQuote();
      if (joined_.size() + 1 + line.size() > kLongestEventLine) ThrowLongLine(source_, line_);
      joined_.push_back('\n');
      joined_.append(line);
    }
    record = joined_;
    return true;
  }

  static bool OpenQuote(std::string_view text) {
    bool open = false;
    for (char c : text) open ^= c == '"';
    return open;
  }

  [[noreturn]] void ThrowOpenQuote() {
    throw ReadingError(source_, line_, "\"", "a closing quote before the end of the file");
  }

  void ReadHeader() {
    std::string_view header;
    if (!NextRecord(header)) {
      throw ReadingError(source_, 1, "", "a header row naming the columns");
    }
    if (header.substr(0, 3) == "\xEF\xBB\xBF") header.remove_prefix(3);
    separator_ = SeparatorOf(header);
    const FieldContext at{source_, line_};
    try {
      std::deque<std::string> unquoted;
      SplitFields(header, separator_, at, fields_, unquoted);
      for (std::string_view name : fields_) names_.emplace_back(Trim(name));
    } catch (const BadRow& bad) {
      throw bad.error;
    }
    column_.fill(-1);
    const std::string whole(header);
    // Columns named by the caller first, then the conventional names.
    const std::array<bool, kRoleCount> mapped = MapNamedColumns(whole);
    MapConventionalColumns(mapped);
    FindMagnitudeColumns(whole);
    for (int r : {kLongitude, kLatitude, kMagnitude}) {
      if (r == kMagnitude && !magnitude_columns_.empty()) continue;
      if (column_[r] < 0) {
        HeaderError(whole, std::string("a column for the ") + kRoles[r].role +
                               " (by its usual name or a column mapping " + kRoles[r].role +
                               "=NAME)");
      }
    }
    if (column_[kTime] < 0 && column_[kYear] < 0) {
      HeaderError(whole,
                  "a column 'time' (ISO 8601) or columns 'year', 'month', 'day' (or a column "
                  "mapping time=NAME or year=NAME)");
    }
  }

  [[noreturn]] void HeaderError(const std::string& text, const std::string& expected) const {
    throw ReadingError(source_, line_, text, expected);
  }

  // The column of `name`: the one of that name, else the one of that name
  // in any case; two such columns are an error.
  int ColumnNamed(const std::string& name, const std::string& role,
                  const std::string& header) const {
    int found = -1;
    for (int pass = 0; pass < 2 && found < 0; ++pass) {
      for (std::size_t c = 0; c < names_.size(); ++c) {
        const bool same = pass == 0 ? names_[c] == name : EqualsIgnoringCase(names_[c], name);
        if (!same) continue;
        if (found >= 0) {
          HeaderError(name, "one column named '" + name + "' for the " + role + ", not two");
        }
        found = static_cast<int>(c);
      }
    }
    if (found < 0) HeaderError(header, "a column named '" + name + "' for the " + role);
    return found;
  }

  // The roles of ReadOptions::columns; returns which roles the caller set
  // (an empty name switches a role off).
  std::array<bool, kRoleCount> MapNamedColumns(const std::string& header) {
    std::array<bool, kRoleCount> mapped{};
    for (const auto& [role, name] : options_.columns) {
      int r = 0;
      while (r < kRoleCount && role != kRoles[r].role) ++r;
      if (r == kRoleCount) {
        throw Error("unknown column role '" + role +
                    "' (roles: id, time, year, month, day, hour, minute, second, longitude, "
                    "latitude, depth, magnitude, magtype, sd, type, agency)");
      }
      mapped[r] = true;
      if (!name.empty()) column_[r] = ColumnNamed(name, role, header);
    }
    return mapped;
  }

  // The other roles by their conventional names; two columns for one role
  // are an error.
  void MapConventionalColumns(const std::array<bool, kRoleCount>& mapped) {
    for (std::size_t c = 0; c < names_.size(); ++c) {
      for (int r = 0; r < kRoleCount; ++r) {
        if (mapped[r] || !IsAlias(names_[c], r)) continue;
        if (column_[r] >= 0) {
          HeaderError(names_[c], "one column for the " + std::string(kRoles[r].role) +
                                     ", not both '" + names_[column_[r]] + "' and '" + names_[c] +
                                     "' (name one with a column mapping " + kRoles[r].role +
                                     "=NAME)");
        }
        column_[r] = static_cast<int>(c);
      }
    }
  }

  static bool IsAlias(const std::string& name, int role) {
    for (const char* alias : kRoles[role].headers) {
      if (alias != nullptr && EqualsIgnoringCase(name, alias)) return true;
    }
    return false;
  }

  // The columns of ReadOptions::magnitude_columns, by name as a role's are.
  void FindMagnitudeColumns(const std::string& header) {
    auto find = [&](const std::string& name, const std::string& what) {
      int found = -1;
      for (std::size_t c = 0; c < names_.size(); ++c) {
        if (names_[c] == name || (found < 0 && EqualsIgnoringCase(names_[c], name))) {
          found = static_cast<int>(c);
        }
      }
      if (found < 0) HeaderError(header, "a column named '" + name + "' for " + what);
      return found;
    };
    for (const ReadOptions::MagnitudeColumn& m : options_.magnitude_columns) {
      const int value = find(m.column, "the magnitudes " + m.type);
      const int sd = m.sd_column.empty() ? -1 : find(m.sd_column, "the SDs of " + m.type);
      magnitude_columns_.push_back({value, sd});
    }
  }

  std::string_view Field(Role r) const {
    return column_[r] >= 0 ? fields_[static_cast<std::size_t>(column_[r])] : std::string_view();
  }
  std::string_view Name(Role r) const {
    return column_[r] >= 0 ? std::string_view(names_[static_cast<std::size_t>(column_[r])])
                           : std::string_view(kRoles[r].role);
  }

  void SplitRow(std::string_view record) {
    const FieldContext at{source_, line_};
    if (!SplitFields(record, separator_, at, fields_, unquoted_)) ThrowOpenQuote();
    if (fields_.size() != names_.size()) {
      std::string expected = std::to_string(names_.size()) + " fields as in the header, not " +
                             std::to_string(fields_.size());
      if (fields_.size() > names_.size() && separator_ == ',') {
        expected += " (a decimal comma in a comma-separated file? write decimals with a point)";
      }
      ThrowBadRow(at, "wrong number of fields", record, expected);
    }
  }

  void ReadRow() {
    const FieldContext at{source_, line_};
    EventTable::Row row;
    DateTime when;
    std::string_view when_text;
    std::string_view when_column;
    std::string date_text;
    if (column_[kTime] >= 0) {
      when_text = Field(kTime);
      when_column = Name(kTime);
      const auto parsed = ParseIsoTime(when_text);
      if (!parsed) {
        ThrowBadRow(at, "not a time", when_text,
                    "in column '" + std::string(when_column) +
                        "' an ISO 8601 time such as 2024-05-16T06:31:36.891Z");
      }
      when = *parsed;
    } else {
      when.date.year = RequireWhole(at, Name(kYear), Field(kYear), "year", false);
      when.date.month = RequireWhole(at, Name(kMonth), Field(kMonth), "month", true);
      when.date.day = RequireWhole(at, Name(kDay), Field(kDay), "day", true);
      when.hour = RequireWhole(at, Name(kHour), Field(kHour), "hour", true);
      when.minute = RequireWhole(at, Name(kMinute), Field(kMinute), "minute", true);
      if (!Trim(Field(kSecond)).empty()) {
        when.second = RequireFloat(at, Name(kSecond), Field(kSecond), "second");
      }
      date_text = std::string(Trim(Field(kYear))) + "/" + std::string(Trim(Field(kMonth))) + "/" +
                  std::string(Trim(Field(kDay))) + " " + std::string(Trim(Field(kHour))) + ":" +
                  std::string(Trim(Field(kMinute))) + ":" + std::string(Trim(Field(kSecond)));
      when_text = date_text;
      when_column = "year/month/day hour:minute:second";
    }
    CheckDateTime(at, when_column, when, when_text);
    row.date = when.date;
    row.hour = when.hour;
    row.minute = when.minute;
    row.second = when.second;

    row.longitude = RequireNumber(at, Name(kLongitude), Field(kLongitude), "longitude");
    CheckLongitude(at, Name(kLongitude), row.longitude, Field(kLongitude));
    row.latitude = RequireNumber(at, Name(kLatitude), Field(kLatitude), "latitude");
    CheckLatitude(at, Name(kLatitude), row.latitude, Field(kLatitude));
    row.depth = Trim(Field(kDepth)).empty()
                    ? std::numeric_limits<float>::quiet_NaN()
                    : RequireFloat(at, Name(kDepth), Field(kDepth), "depth");
    row.id = Trim(Field(kId));
    row.agency = Trim(Field(kAgency));
    if (magnitude_columns_.empty()) {
      row.magnitude = RequireMagnitude(at, Name(kMagnitude), Field(kMagnitude));
      row.sd = SdOrDefault(at, Name(kSd), Field(kSd), options_, result_.summary);
      row.magnitude_type = Trim(Field(kMagType));
      result_.events.Append(row);
      return;
    }
    AppendWithMagnitudeColumns(at, row);
  }

  // A row of a catalog with magnitude columns: the main magnitude from the
  // magnitude column when given, else from the first magnitude column given;
  // the others as further magnitudes.
  void AppendWithMagnitudeColumns(const FieldContext& at, EventTable::Row& row) {
    others_.clear();
    std::size_t main = magnitude_columns_.size();
    for (std::size_t k = 0; k < magnitude_columns_.size(); ++k) {
      const auto [value_column, sd_column] = magnitude_columns_[k];
      const std::string_view text = fields_[static_cast<std::size_t>(value_column)];
      if (Trim(text).empty()) continue;
      const std::string& column_name = names_[static_cast<std::size_t>(value_column)];
      const float value = RequireMagnitude(at, column_name, text);
      float sd = std::numeric_limits<float>::quiet_NaN();
      if (sd_column >= 0 && !Trim(fields_[static_cast<std::size_t>(sd_column)]).empty()) {
        const std::string_view sd_text = fields_[static_cast<std::size_t>(sd_column)];
        sd = RequireFloat(at, names_[static_cast<std::size_t>(sd_column)], sd_text, "magnitude SD");
        if (sd < 0.0f) {
          ThrowBadRow(
              at, "negative magnitude SD", sd_text,
              "in column '" + names_[static_cast<std::size_t>(sd_column)] + "' an SD of 0 or more");
        }
      }
      if (main == magnitude_columns_.size()) main = others_.size();
      others_.push_back({value, sd, k});
    }
    const bool has_main_column = column_[kMagnitude] >= 0 && !Trim(Field(kMagnitude)).empty();
    if (has_main_column) {
      row.magnitude = RequireMagnitude(at, Name(kMagnitude), Field(kMagnitude));
      row.sd = SdOrDefault(at, Name(kSd), Field(kSd), options_, result_.summary);
      row.magnitude_type = Trim(Field(kMagType));
      main = others_.size();
    } else if (others_.empty()) {
      ThrowBadRow(at, "no magnitude", "", "a magnitude in one of the magnitude columns");
    } else {
      const OtherValue& first = others_[main];
      const auto sd_column = magnitude_columns_[first.column].second;
      row.magnitude = first.value;
      row.sd = SdOrDefault(
          at, sd_column >= 0 ? names_[static_cast<std::size_t>(sd_column)] : std::string("sd"),
          sd_column >= 0 ? fields_[static_cast<std::size_t>(sd_column)] : std::string_view(),
          options_, result_.summary);
      row.magnitude_type = options_.magnitude_columns[first.column].type;
    }
    result_.events.Append(row);
    for (std::size_t k = 0; k < others_.size(); ++k) {
      if (k == main) continue;
      result_.events.AppendOther(others_[k].value, others_[k].sd,
                                 options_.magnitude_columns[others_[k].column].type, row.agency);
    }
  }

  LineSource& lines_;
  const std::string& source_;
  const ReadOptions& options_;
  ReadResult result_;
  BadRows bad_;
  char separator_ = ',';
  long line_ = 0;
  std::vector<std::string> names_;
  std::array<int, kRoleCount> column_{};
  std::vector<std::pair<int, int>> magnitude_columns_;  // value and SD column (-1: none)
  struct OtherValue {
    float value;
    float sd;
    std::size_t column;  // in magnitude_columns_
  };
  std::vector<OtherValue> others_;
  std::vector<std::string_view> fields_;
  std::deque<std::string> unquoted_;
  std::string joined_;
  std::vector<Held> held_;
  std::string types_unused_;  // why the type column is not used; empty while it may be
};

}  // namespace

ReadResult ReadCsvText(std::string_view text, const std::string& source,
                       const ReadOptions& options) {
  Validate(options);
  auto lines = TextLines(text);
  return CsvReader(*lines, source, options).Read();
}

ReadResult ReadCsvFile(const std::string& path, const ReadOptions& options) {
  Validate(options);
  auto lines = FileLines(path);
  return CsvReader(*lines, path, options).Read();
}

}  // namespace qev
