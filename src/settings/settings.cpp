// The table of the analysis and hazard settings, and what is made from it:
// the overlay of layers, the options, the checks and the docs' table.
#include "qev/settings.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <type_traits>

namespace qev {

namespace {

// The largest size of the units, as the classic dialogs bound Xmax and
// SIG(Xmax); without units the larger of the two.
double UnitsLimit(std::optional<Units> units) {
  return units && *units == Units::Magnitude ? 10.0 : 12.0;
}

using settings_detail::FromValue;
using settings_detail::MemberOf;
using settings_detail::ToValue;

// The row's functions from the layer's member and the options' member.
template <auto Layer, auto Options>
SettingRow Bind(const SettingTerms& terms, bool (*applies)(const AnalysisOptions&) = nullptr) {
  using Value = typename MemberOf<decltype(Layer)>::Type::value_type;
  using Target = typename MemberOf<decltype(Options)>::Class;
  SettingRow row;
  static_cast<SettingTerms&>(row) = terms;
  if (row.member.empty()) row.member = row.key;
  row.applies = applies;
  row.store = [](AnalysisLayer& l, const SettingValue& v) { l.*Layer = FromValue<Value>(v); };
  row.is_set = [](const AnalysisLayer& l) { return (l.*Layer).has_value(); };
  row.take = [](AnalysisLayer& below, const AnalysisLayer& above) {
    if (above.*Layer) below.*Layer = above.*Layer;
  };
  if constexpr (std::is_same_v<Target, AnalysisOptions>) {
    row.target = SettingTarget::Analysis;
    row.apply_analysis = [](const AnalysisLayer& l, AnalysisOptions& o) {
      if (l.*Layer) o.*Options = *(l.*Layer);
    };
    row.read_analysis = [](const AnalysisOptions& o) { return ToValue(o.*Options); };
  } else {
    row.target = SettingTarget::Hazard;
    row.apply_hazard = [](const AnalysisLayer& l, HazardOptions& o) {
      if (l.*Layer) o.*Options = *(l.*Layer);
    };
    row.read_hazard = [](const HazardOptions& o) { return ToValue(o.*Options); };
  }
  return row;
}

bool GivenStart(const AnalysisOptions& o) { return o.start == StartingPointKind::Given; }

constexpr double kLowestSize = -10.0;  // the lowest magnitude or threshold a job may give
constexpr double kLongestSpan = 1e7;   // years
constexpr auto kWhole = SettingType::Whole;
constexpr auto kChoice = SettingType::Choice;
constexpr auto kNumbers = SettingType::Numbers;
constexpr std::string_view kGiven = "required with start = \"given\"";

// A row leaves out the members that keep their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<SettingRow> MakeRows() {
  using L = AnalysisLayer;
  using O = AnalysisOptions;
  using H = HazardOptions;
  return {
      Bind<&L::units, &O::units>({.key = "units",
                                  .type = kChoice,
                                  .names = "magnitude|intensity",
                                  .codes = {1, 2},
                                  .default_text = "magnitude",
                                  .description = "the size of the events: magnitude or intensity"}),
      Bind<&L::mmin, &O::mmin>(
          {.key = "mmin",
           .low = kLowestSize,
           .units_limit = true,
           .default_text = "0.1 below the lowest level of a prepared catalog; else required",
           .description = "threshold magnitude of the analysis",
           .prepare_job = true}),
      Bind<&L::xmax, &O::xmax>({.key = "xmax",
                                .low = kLowestSize,
                                .units_limit = true,
                                .default_text = "the largest of the parts in use",
                                .description = "largest observed magnitude"}),
      Bind<&L::sig_xmax, &O::sig_xmax>({.key = "sig_xmax",
                                        .units_limit = true,
                                        .default_text = "0.2",
                                        .description = "SIG(Xmax), the error of Xmax",
                                        .prepare_job = true}),
      Bind<&L::span_t, &O::span_t>({.key = "span_t",
                                    .low = 1e-3,
                                    .high = kLongestSpan,
                                    .default_text = "the span of the parts in use",
                                    .description = "years to which Xmax belongs"}),
      Bind<&L::procedure, &O::procedure>(
          {.key = "procedure",
           .type = kChoice,
           .names = "cramer|bayes|none",
           .codes = {1, 2, 0},
           .default_text = "cramer",
           .description = "how Mmax is estimated after each run (\"none\" not in prepare jobs)",
           .prepare_job = true}),
      Bind<&L::prior_b, &O::prior_b>({.key = "prior_b",
                                      .high = 3.0,
                                      .low_open = true,
                                      .default_text = "1.0",
                                      .description = "prior decimal b-value",
                                      .prepare_job = true}),
      Bind<&L::prior_b_sd, &O::prior_b_sd>({.key = "prior_b_sd",
                                            .high = 10.0,
                                            .default_text = "0.1",
                                            .description = "standard deviation of the prior b",
                                            .prepare_job = true}),
      Bind<&L::start, &O::start>({.key = "start",
                                  .type = kChoice,
                                  .names = "program|given",
                                  .codes = {1, 2},
                                  .default_text = "program",
                                  .description = "the starting point: from the catalog or given"}),
      Bind<&L::start_lambda, &O::start_lambda>(
          {.key = "start_lambda",
           .low = 1e-30,
           .high = 1e30,
           .default_text = kGiven,
           .description = "given start: Lambda, events a year"},
          GivenStart),
      Bind<&L::start_mmax, &O::start_mmax>(
          {.key = "start_mmax",
           .low = kLowestSize,
           .units_limit = true,
           .default_text = kGiven,
           .description = "given start: Mmax of the first run, above Mmin"},
          GivenStart),
      Bind<&L::mmax_values, &O::mmax_values>(
          {.key = "mmax",
           .member = "mmax_values",
           .type = kNumbers,
           .low = kLowestSize,
           .units_limit = true,
           .names = "converge",
           .most = 100,
           .default_text = "converge",
           .description = "the Mmax of each run, or \"converge\": each run takes the last "
                          "suggestion until it moves less than mmax_tolerance",
           .prepare_job = true}),
      Bind<&L::mmax_tolerance, &O::mmax_tolerance>(
          {.key = "mmax_tolerance",
           .high = 10.0,
           .default_text = "0.005",
           .description = "the suggestions have settled when they move less than this"}),
      Bind<&L::max_runs, &O::max_runs>({.key = "max_runs",
                                        .type = kWhole,
                                        .low = 1,
                                        .high = 1000,
                                        .default_text = "20",
                                        .description = "the most runs towards a settled Mmax"}),
      Bind<&L::mmax_cap, &O::mmax_cap>(
          {.key = "mmax_cap",
           .low = kLowestSize,
           .units_limit = true,
           .default_text = "none",
           .description = "a cap on Mmax: a last run at the cap when the suggestions do not "
                          "settle below it",
           .prepare_job = true}),
      Bind<&L::simplex_tolerance, &O::simplex_tolerance>(
          {.key = "simplex_tolerance",
           .high = 10.0,
           .low_open = true,
           .default_text = "0.002",
           .description = "the simplex stops when Beta spreads less than this over its vertices"}),
      Bind<&L::iteration_limit, &O::iteration_limit>(
          {.key = "iteration_limit",
           .type = kWhole,
           .low = 1,
           .high = 10000,
           .default_text = "99",
           .description = "the most steps of the simplex"}),
      Bind<&L::hazard_spans, &H::spans>({.key = "hazard_spans",
                                         .member = "spans",
                                         .type = kNumbers,
                                         .low = 1e-3,
                                         .high = kLongestSpan,
                                         .least = 1,
                                         .most = 20,
                                         .increasing = true,
                                         .default_text = "[50, 100, 1000]",
                                         .description = "years of the exceedance probabilities"}),
      Bind<&L::hazard_magnitudes, &H::magnitudes>(
          {.key = "hazard_magnitudes",
           .member = "magnitudes",
           .type = kNumbers,
           .low = kLowestSize,
           .units_limit = true,
           .most = 1000,
           .increasing = true,
           .default_text = "[] (the classic table: Mmin in steps of 0.1)",
           .description = "magnitudes of the hazard table (those from Mmin to below Mmax are "
                          "used)"}),
  };
}
#pragma GCC diagnostic pop

const std::vector<SettingRow>& Rows() {
  static const std::vector<SettingRow> rows = MakeRows();
  return rows;
}

std::string NumberText(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::vector<std::string_view> Names(const SettingTerms& row) {
  std::vector<std::string_view> names;
  std::string_view rest = row.names;
  while (!rest.empty()) {
    const std::size_t bar = std::min(rest.find('|'), rest.size());
    names.push_back(rest.substr(0, bar));
    rest.remove_prefix(std::min(bar + 1, rest.size()));
  }
  return names;
}

// A whole number's bounds as integers (1000000, not 1e+06).
std::string BoundText(const SettingTerms& row, double bound) {
  if (row.type == SettingType::Whole && std::fabs(bound) < 1e18) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", bound);
    return text;
  }
  return NumberText(bound);
}

std::string RangeText(const SettingTerms& row, std::optional<Units> units) {
  std::string high = BoundText(row, row.units_limit ? UnitsLimit(units) : row.high);
  if (row.units_limit && !units) high = "10 (12 for intensity)";
  if (row.low_open) return "above " + BoundText(row, row.low) + ", at most " + high;
  return "from " + BoundText(row, row.low) + " to " + high;
}

// Compared as the options hold them (single precision), so that a value
// read at a bound stays within it.
bool InRange(const SettingTerms& row, double value, std::optional<Units> units) {
  if (!(std::fabs(value) <= std::numeric_limits<float>::max())) return false;
  if (row.type == SettingType::Whole) {
    return value >= row.low && value <= row.high && value == std::floor(value) &&
           (row.accepts == nullptr || row.accepts(value));
  }
  const auto v = static_cast<float>(value);
  const auto low = static_cast<float>(row.low);
  const auto high = static_cast<float>(row.units_limit ? UnitsLimit(units) : row.high);
  return (row.low_open ? v > low : v >= low) && v <= high &&
         (row.accepts == nullptr || row.accepts(value));
}

[[noreturn]] void Refuse(const SettingTerms& row, const SettingValue& value,
                         std::optional<Units> units) {
  throw InvalidSetting(std::string(row.key), ShownValue(value), ExpectedText(row, units));
}

SettingValue CheckedChoice(const SettingTerms& row, const SettingValue& value) {
  const double* number = std::get_if<double>(&value);
  const std::string* name = std::get_if<std::string>(&value);
  const std::vector<std::string_view> names = Names(row);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if ((name != nullptr && Lower(*name) == names[i]) ||
        (number != nullptr && *number == row.codes[i])) {
      return static_cast<double>(row.codes[i]);
    }
  }
  Refuse(row, value, std::nullopt);
}

// A column's range as the terms of a number (or whole number) alone.
SettingTerms ColumnTerms(const SettingTerms& row, const SettingColumn& column) {
  SettingTerms terms;
  terms.key = row.key;
  terms.type = column.whole ? SettingType::Whole : SettingType::Number;
  terms.low = column.low;
  terms.high = column.high;
  terms.low_open = column.low_open;
  return terms;
}

// A list: one number is a list of one, the empty word an empty list.
SettingValue CheckedList(const SettingTerms& row, const SettingValue& value,
                         std::optional<Units> units) {
  std::vector<double> values;
  if (const double* number = std::get_if<double>(&value)) {
    values.push_back(*number);
  } else if (const auto* list = std::get_if<std::vector<double>>(&value)) {
    values = *list;
  } else {
    const std::string* name = std::get_if<std::string>(&value);
    if (name == nullptr || row.names.empty() || Lower(*name) != row.names) {
      Refuse(row, value, units);
    }
  }
  if (values.size() < row.least || values.size() > row.most) Refuse(row, value, units);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const bool after = i == 0 || static_cast<float>(values[i]) > static_cast<float>(values[i - 1]);
    const bool within =
        row.columns.empty()
            ? InRange(row, values[i], units)
            : InRange(ColumnTerms(row, row.columns[i % row.columns.size()]), values[i], units);
    if (!within || (row.increasing && !after)) Refuse(row, value, units);
  }
  return values;
}

// A date as a text, or a year as a whole number (then its text); the reader
// of the dates checks that it exists.
SettingValue CheckedDate(const SettingTerms& row, const SettingValue& value) {
  if (std::holds_alternative<std::string>(value)) return value;
  const double* year = std::get_if<double>(&value);
  if (year == nullptr || *year != std::floor(*year) || std::fabs(*year) > 1e6) {
    Refuse(row, value, std::nullopt);
  }
  return std::to_string(static_cast<long>(*year));
}

// A list of texts: one text is a list of one, an empty array an empty list.
SettingValue CheckedTexts(const SettingTerms& row, const SettingValue& value) {
  std::vector<std::string> texts;
  if (const std::string* text = std::get_if<std::string>(&value)) {
    texts.push_back(*text);
  } else if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
    texts = *list;
  } else if (const auto* numbers = std::get_if<std::vector<double>>(&value);
             numbers == nullptr || !numbers->empty()) {
    Refuse(row, value, std::nullopt);
  }
  if (texts.size() < row.least || texts.size() > row.most) Refuse(row, value, std::nullopt);
  return texts;
}

// Texts "NAME=TEXT", each with a name (the text may be empty).
SettingValue CheckedLabels(const SettingTerms& row, const SettingValue& value) {
  SettingValue texts = CheckedTexts(row, value);
  for (const std::string& label : std::get<std::vector<std::string>>(texts)) {
    const std::size_t equals = label.find('=');
    if (equals == std::string::npos || equals == 0) Refuse(row, value, std::nullopt);
  }
  return texts;
}

// A field of a record (Records): its name, the character that comes before
// it in the text form ('\0' for the first) and whether a record must give it.
struct RecordField {
  std::string_view name;
  char separator = '\0';
  bool required = true;
};

// The fields of the row's form "type=column[:sd]": names of letters, digits
// and '_', each after the character that separates it from the one before;
// those in brackets may be left out.
std::vector<RecordField> Fields(const SettingTerms& row) {
  std::vector<RecordField> fields;
  const std::string_view form = row.names;
  char separator = '\0';
  bool required = true;
  std::size_t begin = 0;
  for (std::size_t i = 0; i <= form.size(); ++i) {
    const char c = i < form.size() ? form[i] : '\0';
    if (c == '_' || std::isalnum(static_cast<unsigned char>(c)) != 0) continue;
    if (i > begin) fields.push_back({form.substr(begin, i - begin), separator, required});
    if (c == '[') {
      required = false;
    } else if (c != ']') {
      separator = c;
    }
    begin = i + 1;
  }
  return fields;
}

// A text of the form as a record: each field up to the first separator of
// the next; every field written is not empty, every required one written.
std::optional<std::vector<std::string>> RecordOfText(const std::vector<RecordField>& fields,
                                                     std::string_view text) {
  std::vector<std::string> record(fields.size());
  std::size_t at = 0;
  for (std::size_t f = 0; f < fields.size(); ++f) {
    const bool last = f + 1 == fields.size();
    const std::size_t end = last ? text.size() : text.find(fields[f + 1].separator, at);
    record[f] = std::string(text.substr(at, std::min(end, text.size()) - at));
    if (record[f].empty()) return std::nullopt;
    if (end == std::string_view::npos) {
      if (fields[f + 1].required) return std::nullopt;
      break;
    }
    at = end + 1;
  }
  return record;
}

// A list of records: records as given (a table's fields by name), or texts
// of the form; each with its required fields.
SettingValue CheckedRecords(const SettingTerms& row, const SettingValue& value) {
  const std::vector<RecordField> fields = Fields(row);
  std::vector<std::vector<std::string>> records;
  if (const auto* given = std::get_if<std::vector<std::vector<std::string>>>(&value)) {
    records = *given;
  } else {
    const SettingValue texts = CheckedTexts(row, value);
    for (const std::string& text : std::get<std::vector<std::string>>(texts)) {
      const auto record = RecordOfText(fields, text);
      if (!record) Refuse(row, value, std::nullopt);
      records.push_back(*record);
    }
  }
  if (records.size() < row.least || records.size() > row.most) Refuse(row, value, std::nullopt);
  for (const std::vector<std::string>& record : records) {
    bool fits = record.size() == fields.size();
    for (std::size_t f = 0; fits && f < fields.size(); ++f) {
      fits = !fields[f].required || !record[f].empty();
    }
    if (!fits) Refuse(row, value, std::nullopt);
  }
  return records;
}

// "a list of texts "TYPE=COLUMN[:SD]" or of tables { type, column, sd } (sd optional)".
std::string RecordsText(const SettingTerms& row) {
  std::string names;
  std::string optional;
  for (const RecordField& field : Fields(row)) {
    names += (names.empty() ? "" : ", ") + std::string(field.name);
    if (!field.required) optional += (optional.empty() ? "" : ", ") + std::string(field.name);
  }
  std::string form(row.names);
  for (char& c : form) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return "a list of texts \"" + form + "\" or of tables { " + names + " }" +
         (optional.empty() ? "" : " (" + optional + " optional)");
}

// The rows of a text "1964:5.5,1990:5" (values by colons, rows by commas);
// none when it is not one.
std::optional<std::vector<std::vector<double>>> RowsOfText(std::string_view text) {
  std::vector<std::vector<double>> rows(1);
  std::string item;
  const auto take = [&]() {
    char* end = nullptr;
    const double number = std::strtod(item.c_str(), &end);
    const bool good = !item.empty() && end == item.c_str() + item.size();
    rows.back().push_back(good ? number : std::numeric_limits<double>::quiet_NaN());
    item.clear();
    return good;
  };
  for (char c : text) {
    if (c == ':' || c == ',') {
      if (!take()) return std::nullopt;
      if (c == ',') rows.emplace_back();
    } else if (c != ' ') {
      item += c;
    }
  }
  if (!take()) return std::nullopt;
  return rows;
}

// Each row of the columns' width and within their ranges, the first column
// increasing, the last summing to 1 where the terms ask.
bool RowsFit(const SettingTerms& row, const std::vector<std::vector<double>>& rows) {
  if (rows.size() < row.least || rows.size() > row.most) return false;
  double sum = 0.0;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (rows[r].size() != row.columns.size()) return false;
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      if (!InRange(ColumnTerms(row, row.columns[c]), rows[r][c], std::nullopt)) return false;
    }
    if (row.increasing && r > 0 && !(rows[r][0] > rows[r - 1][0])) return false;
    if (!rows[r].empty()) sum += rows[r].back();
  }
  constexpr double kSumTolerance = 1e-5;
  return !row.sums_to_one || rows.empty() || std::fabs(sum - 1.0) <= kSumTolerance;
}

// A table of numbers: rows, the word of an empty table, or rows as a text.
SettingValue CheckedRows(const SettingTerms& row, const SettingValue& value) {
  std::vector<std::vector<double>> rows;
  if (const auto* given = std::get_if<std::vector<std::vector<double>>>(&value)) {
    rows = *given;
  } else if (const std::string* text = std::get_if<std::string>(&value)) {
    if (row.names.empty() || Lower(*text) != row.names) {
      const auto parsed = RowsOfText(*text);
      if (!parsed) Refuse(row, value, std::nullopt);
      rows = *parsed;
    }
  } else if (const auto* numbers = std::get_if<std::vector<double>>(&value);
             numbers == nullptr || !numbers->empty()) {
    Refuse(row, value, std::nullopt);
  }
  // The word stands for an empty table; an empty table written out is none.
  const bool word = std::holds_alternative<std::string>(value) && rows.empty();
  if (!word && !RowsFit(row, rows)) Refuse(row, value, std::nullopt);
  return rows;
}

std::string ColumnsText(const SettingTerms& row) {
  std::string names;
  std::string ranges;
  for (const SettingColumn& column : row.columns) {
    names += (names.empty() ? "" : ", ") + std::string(column.name);
    const SettingTerms terms = ColumnTerms(row, column);
    ranges += (ranges.empty() ? "" : "; ") + std::string(column.name) + ": " +
              (column.whole ? "a whole number " : "a number ") + RangeText(terms, std::nullopt);
  }
  return "[" + names + "] (" + ranges + ")";
}

std::string RowsText(const SettingTerms& row) {
  std::string text =
      std::to_string(row.least) + " to " + std::to_string(row.most) + " rows " + ColumnsText(row);
  if (row.increasing) text += ", " + std::string(row.columns.front().name) + " increasing";
  if (row.sums_to_one) text += ", " + std::string(row.columns.back().name) + " summing to 1";
  if (!row.names.empty()) text += ", or \"" + std::string(row.names) + "\"";
  return text;
}

void Check(const SettingRow& row, const SettingValue& value, Units units) {
  if (!std::holds_alternative<std::monostate>(value)) CheckedValue(row, value, units);
}

std::string Cell(std::string_view text) {
  std::string cell;
  for (char c : text) cell += c == '|' ? std::string("\\|") : std::string(1, c);
  return cell;
}

// A list as messages show it: its first five items, each as ShownValue
// shows it.
template <class Item>
std::string ListText(const std::vector<Item>& list) {
  std::string text = "[";
  for (std::size_t i = 0; i < list.size() && i < 5; ++i) {
    text += (i == 0 ? "" : ", ") + ShownValue(SettingValue(list[i]));
  }
  return text + (list.size() > 5 ? ", ...]" : "]");
}

}  // namespace

InvalidSetting::InvalidSetting(std::string key, const std::string& value, std::string expected)
    : InvalidOptions(key + " is " + value + ", expected " + expected),
      key_(std::move(key)),
      value_(value),
      expected_(std::move(expected)) {}

std::span<const SettingRow> AnalysisSettings() { return Rows(); }

const SettingRow* FindSetting(std::string_view key) {
  for (const SettingRow& row : Rows()) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

std::string ExpectedText(const SettingTerms& row, std::optional<Units> units) {
  if (!row.expected.empty()) return std::string(row.expected);
  switch (row.type) {
    case SettingType::Flag:
      return "true or false";
    case SettingType::Text:
      return "a text in quotes";
    case SettingType::Date:
      return "a date \"YYYY-MM-DD\" or a year";
    case SettingType::Number:
      return "a number " + RangeText(row, units);
    case SettingType::Whole:
      return "a whole number " + RangeText(row, units);
    case SettingType::Choice: {
      std::string text = "one of ";
      const std::vector<std::string_view> names = Names(row);
      for (std::size_t i = 0; i < names.size(); ++i) {
        text += std::string(i == 0 ? "" : ", ") + "\"" + std::string(names[i]) + "\"";
      }
      return text;
    }
    case SettingType::Texts:
      return "a list of texts";
    case SettingType::Path:
      return "a file name";
    case SettingType::Labels:
      return "a table of texts { NAME = \"TEXT\" }";
    case SettingType::Records:
      return RecordsText(row);
    case SettingType::Rows:
      return RowsText(row);
    case SettingType::Numbers:
      break;
  }
  const std::string count = row.least == row.most ? std::to_string(row.most)
                            : row.least > 0
                                ? std::to_string(row.least) + " to " + std::to_string(row.most)
                                : "at most " + std::to_string(row.most);
  std::string text = count + (row.increasing ? " increasing" : "") + " numbers " +
                     (row.columns.empty() ? RangeText(row, units) : ColumnsText(row));
  if (!row.names.empty()) text += ", or \"" + std::string(row.names) + "\"";
  return text;
}

std::string ShownValue(const SettingValue& value) {
  if (const double* number = std::get_if<double>(&value)) return NumberText(*number);
  if (const std::string* name = std::get_if<std::string>(&value)) {
    std::string text = "\"";
    for (char c : name->substr(0, 40)) {
      const auto byte = static_cast<unsigned char>(c);
      text += byte < 0x20 || byte > 0x7e ? '?' : c;
    }
    return text + "\"";
  }
  if (const auto* list = std::get_if<std::vector<double>>(&value)) return ListText(*list);
  if (const bool* flag = std::get_if<bool>(&value)) return *flag ? "true" : "false";
  if (const auto* texts = std::get_if<std::vector<std::string>>(&value)) return ListText(*texts);
  if (const auto* rows = std::get_if<std::vector<std::vector<double>>>(&value)) {
    return ListText(*rows);
  }
  if (const auto* records = std::get_if<std::vector<std::vector<std::string>>>(&value)) {
    return ListText(*records);
  }
  return "nothing";
}

std::vector<std::string_view> RecordFieldNames(const SettingTerms& terms) {
  std::vector<std::string_view> names;
  for (const RecordField& field : Fields(terms)) names.push_back(field.name);
  return names;
}

SettingValue CheckedValue(const SettingTerms& terms, const SettingValue& value,
                          std::optional<Units> units) {
  const double* number = std::get_if<double>(&value);
  switch (terms.type) {
    case SettingType::Number:
    case SettingType::Whole:
      if (number == nullptr || !InRange(terms, *number, units)) Refuse(terms, value, units);
      return value;
    case SettingType::Choice:
      return CheckedChoice(terms, value);
    case SettingType::Numbers:
      return CheckedList(terms, value, units);
    case SettingType::Flag:
      if (!std::holds_alternative<bool>(value)) Refuse(terms, value, units);
      return value;
    case SettingType::Text:
      if (!std::holds_alternative<std::string>(value)) Refuse(terms, value, units);
      return value;
    case SettingType::Path: {
      const std::string* path = std::get_if<std::string>(&value);
      if (path == nullptr || path->empty()) Refuse(terms, value, units);
      return value;
    }
    case SettingType::Texts:
      return CheckedTexts(terms, value);
    case SettingType::Labels:
      return CheckedLabels(terms, value);
    case SettingType::Records:
      return CheckedRecords(terms, value);
    case SettingType::Rows:
      return CheckedRows(terms, value);
    case SettingType::Date:
      break;
  }
  return CheckedDate(terms, value);
}

void SetSetting(AnalysisLayer& layer, const SettingRow& row, const SettingValue& value,
                std::optional<Units> units) {
  row.store(layer, CheckedValue(row, value, units));
}

void SetSetting(AnalysisLayer& layer, std::string_view key, const SettingValue& value) {
  const SettingRow* row = FindSetting(key);
  if (row == nullptr) {
    std::string keys;
    for (const SettingRow& r : Rows()) keys += (keys.empty() ? "" : ", ") + std::string(r.key);
    throw InvalidSetting(std::string(key), ShownValue(value), "one of the keys " + keys);
  }
  SetSetting(layer, *row, value);
}

void AnalysisLayer::Overlay(const AnalysisLayer& above) {
  for (const SettingRow& row : Rows()) row.take(*this, above);
}

void AnalysisLayer::ApplyTo(AnalysisOptions& options) const {
  for (const SettingRow& row : Rows()) {
    if (row.apply_analysis != nullptr) row.apply_analysis(*this, options);
  }
}

void AnalysisLayer::ApplyTo(HazardOptions& options) const {
  for (const SettingRow& row : Rows()) {
    if (row.apply_hazard != nullptr) row.apply_hazard(*this, options);
  }
}

void Validate(const AnalysisOptions& options) {
  for (const SettingRow& row : Rows()) {
    if (row.read_analysis == nullptr) continue;
    if (row.applies != nullptr && !row.applies(options)) continue;
    Check(row, row.read_analysis(options), options.units);
  }
}

void Validate(const HazardOptions& options, Units units) {
  for (const SettingRow& row : Rows()) {
    if (row.read_hazard != nullptr) Check(row, row.read_hazard(options), units);
  }
}

std::string TermsMarkdownTable(std::span<const SettingTerms* const> all_terms,
                               std::optional<Units> units) {
  std::string table = "| key | value | default | meaning |\n|---|---|---|---|\n";
  for (const SettingTerms* row : all_terms) {
    table += "| `" + std::string(row->key) + "` | " + Cell(ExpectedText(*row, units)) + " | " +
             Cell(row->default_text) + " | " + Cell(row->description) + " |\n";
  }
  return table;
}

std::string SettingsMarkdownTable(bool prepare_job) {
  std::vector<const SettingTerms*> all_terms;
  for (const SettingRow& row : Rows()) {
    if (!prepare_job || row.prepare_job) all_terms.push_back(&row);
  }
  // A prepare job's events are magnitudes.
  return TermsMarkdownTable(all_terms,
                            prepare_job ? std::optional<Units>(Units::Magnitude) : std::nullopt);
}

}  // namespace qev
