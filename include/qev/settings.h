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
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// A value as a front end hands it over: a number (integers too), a name, or
// a list of numbers; none for a value that is not set.
using SettingValue = std::variant<std::monostate, double, std::string, std::vector<double>>;

enum class SettingType {
  Number,   // a real number
  Whole,    // a whole number
  Choice,   // one of the row's names
  Numbers,  // a list of real numbers (one number is a list of one)
};

enum class SettingTarget { Analysis, Hazard };

struct SettingRow {
  std::string_view key;     // in job files and Python's keyword arguments
  std::string_view member;  // of AnalysisOptions or HazardOptions
  SettingTarget target = SettingTarget::Analysis;
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
  // empty list ("" when an empty list is no value).
  std::string_view names;
  std::array<int, 4> codes{};
  // Numbers: how many values a list may hold, and whether they must increase.
  std::size_t least = 0;
  std::size_t most = 1;
  bool increasing = false;
  std::string_view default_text;
  std::string_view description;
  // Also a key of a prepare job's [analysis] (what its classic answers and
  // --analyze use); every row is a key of the batch jobs.
  bool prepare_job = false;
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
std::string ExpectedText(const SettingRow& row, std::optional<Units> units = std::nullopt);
// The value as messages show it (a number with %g, a name quoted).
std::string ShownValue(const SettingValue& value);

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
