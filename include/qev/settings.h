// The settings layer: one table of rows for the analysis and hazard settings
// (key, member, type, range, default, one-line description). The job readers
// of qev-prepare and qev-batch, qev-prepare's options, Python's keyword
// arguments, the checks of the options (Validate) and the key tables of the
// docs all come from it, so that a new setting is one row (docs/api.md).
//
// Every front end refuses the same values with the same message, because the
// library does the checking: Analyze and the batch planner call Validate.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "qev/analysis.h"
#include "qev/errors.h"

namespace qev {

// The settings of the hazard of a result: the spans of the exceedance
// probabilities and the magnitudes of the table.
struct HazardOptions {
  std::vector<float> spans = {50.0f, 100.0f, 1000.0f};
  std::vector<float> magnitudes;  // empty: the classic table (Mmin in steps of 0.1)
};

// The analysis and hazard settings one level of a job sets (a prepare job's
// [analysis], a batch job's defaults, a zone, a branch alternative); what a
// level leaves out comes from the level below. One member per row of
// AnalysisSettings(), under the row's key.
struct AnalysisLayer {
  std::optional<Units> units;
  std::optional<float> mmin;
  std::optional<float> xmax;
  std::optional<float> sig_xmax;
  std::optional<float> span_t;
  std::optional<MmaxProcedure> procedure;
  std::optional<float> prior_b;
  std::optional<float> prior_b_sd;
  std::optional<StartingPointKind> start;
  std::optional<float> start_lambda;
  std::optional<float> start_mmax;
  // Mmax of each run; an empty list iterates to the suggestion.
  std::optional<std::vector<float>> mmax_values;
  std::optional<float> mmax_tolerance;
  std::optional<std::int32_t> max_runs;
  std::optional<float> mmax_cap;  // see AnalysisOptions::mmax_cap
  std::optional<float> simplex_tolerance;
  std::optional<std::int32_t> iteration_limit;
  std::optional<std::vector<float>> hazard_spans;
  // Magnitudes of the hazard table; an empty list gives the classic table.
  std::optional<std::vector<float>> hazard_magnitudes;

  // The values `above` sets replace those of this layer.
  void Overlay(const AnalysisLayer& above);
  // The values this layer sets, into the options.
  void ApplyTo(AnalysisOptions& options) const;
  void ApplyTo(HazardOptions& options) const;
};

// A value as a front end hands it over: a number (integers too), a name or a
// text, a list of numbers, a flag, a list of texts, the rows of a table of
// numbers, or records (the texts of tables with named fields, in the order of
// the fields); none for a value that is not set.
using SettingValue = std::variant<std::monostate, double, std::string, std::vector<double>, bool,
                                  std::vector<std::string>, std::vector<std::vector<double>>,
                                  std::vector<std::vector<std::string>>>;

enum class SettingType {
  Number,   // a real number
  Whole,    // a whole number
  Choice,   // one of the row's names
  Numbers,  // a list of real numbers (one number is a list of one)
  Flag,     // true or false
  Text,     // a text
  Date,     // a date "YYYY-MM-DD" (or YYYY-MM, YYYY) or a year as a whole number
  Texts,    // a list of texts (one text is a list of one)
  Path,     // a file or folder name; a job file's reader takes it from the job's folder
  Rows,     // a table of numbers: rows of the row's columns, e.g. [[year, Mc], ...]
  Labels,   // a table of texts by name, { NAME = "TEXT" }, handed over as "NAME=TEXT" texts
  // A list of tables of texts with named fields, [{ type = "Ms", column = "MS" }],
  // handed over as records, or as texts of the row's form ("Ms=MS:MS_unc").
  Records,
};

// A column of a table of numbers (Rows), or a place of a list of numbers
// (Numbers with columns): its name, its range, and the value a row written as
// a table ({NAME = value, ...}) takes when it leaves the column out (NaN:
// required).
struct SettingColumn {
  std::string_view name;
  double low = 0.0;
  double high = 0.0;
  bool low_open = false;
  bool whole = false;
  double omitted = std::numeric_limits<double>::quiet_NaN();
};

enum class SettingTarget { Analysis, Hazard };

// What a setting is, whatever options struct holds it: one row of a table.
// Rows are written as designated initializers ({.key = ..., .low = ...});
// what a row leaves out takes the defaults below.
struct SettingTerms {
  std::string_view key;     // in job files, options (--KEY, '-' for '_') and Python keywords
  std::string_view member;  // of the options struct; "" when it is the key
  SettingType type = SettingType::Number;
  // The range of a number, of each number of a list: from low (above it when
  // low_open) to high; with units_limit the high end is the units' upper
  // limit instead (10 for magnitude, 12 for intensity), as in the classic
  // dialogs.
  double low = 0.0;
  double high = 0.0;
  bool low_open = false;
  bool units_limit = false;
  // Choice: the names, separated by '|', in the order of their codes (the
  // enum's values given by `codes`). Numbers: the word that stands for an
  // empty list ("" when an empty list is no value). Records: the fields in
  // their text form, each after the character that separates it from the
  // one before, those that may be left out in brackets ("type=column[:sd]").
  std::string_view names;
  std::array<int, 4> codes{};
  // Numbers, Texts, Labels, Records: how many values a list may hold (Numbers: and
  // whether they must increase); Rows: how many rows, and whether the first
  // column increases.
  std::size_t least = 0;
  std::size_t most = 1;
  bool increasing = false;
  // Rows: the columns of each row (Numbers: the range of each place, in
  // place of low and high); the word of an empty table is in `names`.
  std::span<const SettingColumn> columns;
  // Rows: the last column holds probabilities that sum to 1.
  bool sums_to_one = false;
  std::string_view default_text;
  std::string_view description;
  // Also a key of a prepare job's [analysis] (what its classic answers and
  // --analyze use); every row is a key of the batch jobs.
  bool prepare_job = false;
  // A further condition on a number within the range (none: the range
  // alone), and what a value must then be, in words (replaces the range's).
  bool (*accepts)(double) = nullptr;
  std::string_view expected;
};

struct SettingRow : SettingTerms {
  SettingTarget target = SettingTarget::Analysis;
  // Only checked where this holds (start_lambda with a given start); none: always.
  bool (*applies)(const AnalysisOptions&) = nullptr;
  // Reached through these, made from the members by the table.
  void (*store)(AnalysisLayer&, const SettingValue&) = nullptr;
  bool (*is_set)(const AnalysisLayer&) = nullptr;
  void (*take)(AnalysisLayer& below, const AnalysisLayer& above) = nullptr;
  void (*apply_analysis)(const AnalysisLayer&, AnalysisOptions&) = nullptr;
  void (*apply_hazard)(const AnalysisLayer&, HazardOptions&) = nullptr;
  SettingValue (*read_analysis)(const AnalysisOptions&) = nullptr;
  SettingValue (*read_hazard)(const HazardOptions&) = nullptr;
};

namespace settings_detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class M>
struct MemberOf;
template <class C, class T>
struct MemberOf<T C::*> {
  using Class = C;
  using Type = T;
};

// A member's value as a SettingValue (none for an optional not set).
template <class T>
SettingValue ToValue(const T& value) {
  if constexpr (IsOptional<T>::value) {
    return value ? ToValue(*value) : SettingValue{};
  } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::string> ||
                       std::is_same_v<T, std::vector<std::string>>) {
    return SettingValue(value);
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<double>(static_cast<int>(value));
  } else if constexpr (std::is_arithmetic_v<T>) {
    return static_cast<double>(value);
  } else {
    return std::vector<double>(value.begin(), value.end());
  }
}

// A member from a value already checked and brought to its row's form (a
// choice as its code, a single number of a list as a list).
template <class T>
T FromValue(const SettingValue& value) {
  if constexpr (IsOptional<T>::value) {
    return T(FromValue<typename T::value_type>(value));
  } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, std::string> ||
                       std::is_same_v<T, std::vector<std::string>>) {
    return std::get<T>(value);
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<T>(static_cast<int>(std::get<double>(value)));
  } else if constexpr (std::is_arithmetic_v<T>) {
    return static_cast<T>(std::get<double>(value));
  } else {
    T list;
    for (double v : std::get<std::vector<double>>(value)) {
      list.push_back(static_cast<typename T::value_type>(v));
    }
    return list;
  }
}

}  // namespace settings_detail

// A row of the settings of one options struct (reading, selection,
// declustering, split, batch): the terms, and the member reached by key. `set`
// takes a value already checked against the terms (CheckedValue); `get` gives
// none for a member that is not set.
template <class Options>
struct OptionsRow : SettingTerms {
  std::function<void(Options&, const SettingValue&)> set;
  std::function<SettingValue(const Options&)> get;
};

// The rows, in the order of the docs' tables.
std::span<const SettingRow> AnalysisSettings();
// The row of a key; none for a key that is no setting.
const SettingRow* FindSetting(std::string_view key);

// A value that a setting cannot take: key() names the setting and
// expected() the bound (value() the value as shown); what() is "KEY is VALUE, expected EXPECTED".
class InvalidSetting : public InvalidOptions {
 public:
  InvalidSetting(std::string key, const std::string& value, std::string expected);
  const std::string& key() const { return key_; }
  const std::string& value() const { return value_; }
  const std::string& expected() const { return expected_; }

 private:
  std::string key_;
  std::string value_;
  std::string expected_;
};

// What a row accepts, in words ("a number above 0, at most 3"); the upper
// limit of the given units, or the larger of the two without units.
std::string ExpectedText(const SettingTerms& row, std::optional<Units> units = std::nullopt);
// The value as messages show it (a number with %g, a name quoted).
std::string ShownValue(const SettingValue& value);
// The names of the fields of a row of Records, in the order of a record.
std::vector<std::string_view> RecordFieldNames(const SettingTerms& terms);

// The value in the terms' form (a choice as its code, one number of a list as
// a list of one, the empty word as an empty list, a year as its text, one
// text as a list of one, the rows of a table written "1964:5.5,1990:5" as
// rows, texts of a row of records "Ms=MS:MS_unc" as records); InvalidSetting naming the key and the
// bound when the terms refuse it.
SettingValue CheckedValue(const SettingTerms& terms, const SettingValue& value,
                          std::optional<Units> units = std::nullopt);

// The row of a member of an options struct: set and get reach the member
// (numbers, whole numbers, flags, texts, choices as enums, lists).
template <auto Member>
auto MemberRow(const SettingTerms& terms) {
  using Class = typename settings_detail::MemberOf<decltype(Member)>::Class;
  using Type = typename settings_detail::MemberOf<decltype(Member)>::Type;
  OptionsRow<Class> row;
  static_cast<SettingTerms&>(row) = terms;
  if (row.member.empty()) row.member = row.key;
  row.set = [](Class& o, const SettingValue& v) {
    o.*Member = settings_detail::FromValue<Type>(v);
  };
  row.get = [](const Class& o) { return settings_detail::ToValue(o.*Member); };
  return row;
}

// Sets a member of an options struct through its row, checked first.
template <class Options>
void SetOption(Options& options, const OptionsRow<Options>& row, const SettingValue& value) {
  row.set(options, CheckedValue(row, value));
}

// Every member of the options that its row reaches within the row's range;
// InvalidSetting naming the first that is not. A row without `get` (one that
// reads a file, as a zone) has nothing to check.
template <class Options>
void ValidateRows(const Options& options, std::span<const OptionsRow<Options>> rows) {
  for (const OptionsRow<Options>& row : rows) {
    if (!row.get) continue;
    const SettingValue value = row.get(options);
    if (!std::holds_alternative<std::monostate>(value)) CheckedValue(row, value);
  }
}

// Rows as the Markdown table of the docs (key, value, default, meaning).
std::string TermsMarkdownTable(std::span<const SettingTerms* const> all_terms,
                               std::optional<Units> units = std::nullopt);
template <class Options>
std::string OptionsMarkdownTable(std::span<const OptionsRow<Options>> rows) {
  std::vector<const SettingTerms*> all_terms;
  for (const OptionsRow<Options>& row : rows) all_terms.push_back(&row);
  return TermsMarkdownTable(all_terms);
}

// Checks `value` against the row (without units the larger units' limit:
// the units may be set elsewhere) and stores it in the layer; throws
// InvalidSetting.
void SetSetting(AnalysisLayer& layer, const SettingRow& row, const SettingValue& value,
                std::optional<Units> units = std::nullopt);
// The same by key; InvalidSetting ("one of the keys ...") for an unknown key.
void SetSetting(AnalysisLayer& layer, std::string_view key, const SettingValue& value);

// Every setting of the options within its row's range (the limits of the
// options' units); throws InvalidSetting naming the first that is not.
void Validate(const AnalysisOptions& options);
void Validate(const HazardOptions& options, Units units);

// The rows as the Markdown table of the docs (key, value, default, meaning);
// with prepare_job only those of a prepare job's [analysis].
std::string SettingsMarkdownTable(bool prepare_job = false);

}  // namespace qev
