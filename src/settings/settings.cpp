// The table of the analysis and hazard settings, and what is made from it:
// the overlay of layers, the options, the checks and the docs' table.
#include "qev/settings.h"

#include <cctype>
#include <cmath>
#include <cstdio>
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

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
SettingValue ToValue(const T& value) {
  if constexpr (IsOptional<T>::value) {
    return value ? ToValue(*value) : SettingValue{};
  } else if constexpr (std::is_enum_v<T>) {
    return static_cast<double>(static_cast<int>(value));
  } else if constexpr (std::is_arithmetic_v<T>) {
    return static_cast<double>(value);
  } else {
    return std::vector<double>(value.begin(), value.end());
  }
}

// From a value already checked and brought to its row's form (a choice as
// its code, a single number of a list as a list).
template <class T>
T FromValue(const SettingValue& value) {
  if constexpr (std::is_enum_v<T>) {
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

template <class M>
struct MemberOf;
template <class C, class T>
struct MemberOf<T C::*> {
  using Class = C;
  using Type = T;
};

// The row's functions from the layer's member and the options' member.
template <auto Layer, auto Options>
SettingRow Bind(SettingRow row) {
  using Value = typename MemberOf<decltype(Layer)>::Type::value_type;
  using Target = typename MemberOf<decltype(Options)>::Class;
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

SettingRow Size(std::string_view key, std::string_view member, std::string_view default_text,
                std::string_view description) {
  SettingRow row;
  row.key = key;
  row.member = member;
  row.low = kLowestSize;
  row.units_limit = true;
  row.default_text = default_text;
  row.description = description;
  return row;
}

SettingRow Number(std::string_view key, std::string_view member, double low, double high,
                  bool low_open, std::string_view default_text, std::string_view description) {
  SettingRow row;
  row.key = key;
  row.member = member;
  row.low = low;
  row.high = high;
  row.low_open = low_open;
  row.default_text = default_text;
  row.description = description;
  return row;
}

SettingRow Whole(std::string_view key, std::string_view member, double low, double high,
                 std::string_view default_text, std::string_view description) {
  SettingRow row = Number(key, member, low, high, false, default_text, description);
  row.type = SettingType::Whole;
  return row;
}

SettingRow Choice(std::string_view key, std::string_view member, std::string_view names,
                  std::array<int, 4> codes, std::string_view default_text,
                  std::string_view description) {
  SettingRow row = Number(key, member, 0.0, 0.0, false, default_text, description);
  row.type = SettingType::Choice;
  row.names = names;
  row.codes = codes;
  return row;
}

SettingRow Numbers(SettingRow row, std::size_t least, std::size_t most, std::string_view empty,
                   bool increasing = false) {
  row.type = SettingType::Numbers;
  row.least = least;
  row.most = most;
  row.names = empty;
  row.increasing = increasing;
  return row;
}

SettingRow Prepare(SettingRow row) {
  row.prepare_job = true;
  return row;
}

SettingRow Given(SettingRow row) {
  row.applies = GivenStart;
  return row;
}

std::vector<SettingRow> MakeRows() {
  using L = AnalysisLayer;
  using O = AnalysisOptions;
  using H = HazardOptions;
  return {
      Bind<&L::units, &O::units>(Choice("units", "units", "magnitude|intensity", {1, 2},
                                        "magnitude",
                                        "the size of the events: magnitude or intensity")),
      Bind<&L::mmin, &O::mmin>(Prepare(
          Size("mmin", "mmin", "0.1 below the lowest level of a prepared catalog; else required",
               "threshold magnitude of the analysis"))),
      Bind<&L::xmax, &O::xmax>(
          Size("xmax", "xmax", "the largest of the parts in use", "largest observed magnitude")),
      Bind<&L::sig_xmax, &O::sig_xmax>([] {
        SettingRow row = Size("sig_xmax", "sig_xmax", "0.2", "SIG(Xmax), the error of Xmax");
        row.low = 0.0;
        return Prepare(row);
      }()),
      Bind<&L::span_t, &O::span_t>(Number("span_t", "span_t", 1e-3, kLongestSpan, false,
                                          "the span of the parts in use",
                                          "years to which Xmax belongs")),
      Bind<&L::procedure, &O::procedure>(
          Prepare(Choice("procedure", "procedure", "cramer|bayes|none", {1, 2, 0}, "cramer",
                         "how Mmax is estimated after each run (\"none\" not in prepare jobs)"))),
      Bind<&L::prior_b, &O::prior_b>(
          Prepare(Number("prior_b", "prior_b", 0.0, 3.0, true, "1.0", "prior decimal b-value"))),
      Bind<&L::prior_b_sd, &O::prior_b_sd>(
          Prepare(Number("prior_b_sd", "prior_b_sd", 0.0, 10.0, false, "0.1",
                         "standard deviation of the prior b"))),
      Bind<&L::start, &O::start>(Choice("start", "start", "program|given", {1, 2}, "program",
                                        "the starting point: from the catalog or given")),
      Bind<&L::start_lambda, &O::start_lambda>(
          Given(Number("start_lambda", "start_lambda", 1e-30, 1e30, false,
                       "required with start = \"given\"", "given start: Lambda, events a year"))),
      Bind<&L::start_mmax, &O::start_mmax>(
          Given(Size("start_mmax", "start_mmax", "required with start = \"given\"",
                     "given start: Mmax of the first run, above Mmin"))),
      Bind<&L::mmax_values, &O::mmax_values>(
          Prepare(Numbers(Size("mmax", "mmax_values", "converge",
                               "the Mmax of each run, or \"converge\": each run takes the last "
                               "suggestion until it moves less than mmax_tolerance"),
                          0, 100, "converge"))),
      Bind<&L::mmax_tolerance, &O::mmax_tolerance>(
          Number("mmax_tolerance", "mmax_tolerance", 0.0, 10.0, false, "0.005",
                 "the suggestions have settled when they move less than this")),
      Bind<&L::max_runs, &O::max_runs>(
          Whole("max_runs", "max_runs", 1, 1000, "20", "the most runs towards a settled Mmax")),
      Bind<&L::mmax_cap, &O::mmax_cap>(
          Prepare(Size("mmax_cap", "mmax_cap", "none",
                       "a cap on Mmax: a last run at the cap when the suggestions do not settle "
                       "below it"))),
      Bind<&L::simplex_tolerance, &O::simplex_tolerance>(
          Number("simplex_tolerance", "simplex_tolerance", 0.0, 10.0, true, "0.002",
                 "the simplex stops when Beta spreads less than this over its vertices")),
      Bind<&L::iteration_limit, &O::iteration_limit>(Whole(
          "iteration_limit", "iteration_limit", 1, 10000, "99", "the most steps of the simplex")),
      Bind<&L::hazard_spans, &H::spans>(
          Numbers(Number("hazard_spans", "spans", 1e-3, kLongestSpan, false, "[50, 100, 1000]",
                         "years of the exceedance probabilities"),
                  1, 20, "", true)),
      Bind<&L::hazard_magnitudes, &H::magnitudes>(Numbers(
          Size("hazard_magnitudes", "magnitudes", "[] (the classic table: Mmin in steps of 0.1)",
               "magnitudes of the hazard table (those from Mmin to below Mmax are used)"),
          0, 1000, "", true)),
  };
}

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

std::vector<std::string_view> Names(const SettingRow& row) {
  std::vector<std::string_view> names;
  std::string_view rest = row.names;
  while (!rest.empty()) {
    const std::size_t bar = std::min(rest.find('|'), rest.size());
    names.push_back(rest.substr(0, bar));
    rest.remove_prefix(std::min(bar + 1, rest.size()));
  }
  return names;
}

std::string RangeText(const SettingRow& row, std::optional<Units> units) {
  std::string high = NumberText(row.units_limit ? UnitsLimit(units) : row.high);
  if (row.units_limit && !units) high = "10 (12 for intensity)";
  if (row.low_open) return "above " + NumberText(row.low) + ", at most " + high;
  return "from " + NumberText(row.low) + " to " + high;
}

// Compared as the options hold them (single precision), so that a value
// read at a bound stays within it.
bool InRange(const SettingRow& row, double value, std::optional<Units> units) {
  if (!(std::fabs(value) <= std::numeric_limits<float>::max())) return false;
  const auto v = static_cast<float>(value);
  const auto low = static_cast<float>(row.low);
  const auto high = static_cast<float>(row.units_limit ? UnitsLimit(units) : row.high);
  return (row.low_open ? v > low : v >= low) && v <= high;
}

[[noreturn]] void Refuse(const SettingRow& row, const SettingValue& value,
                         std::optional<Units> units) {
  throw InvalidSetting(std::string(row.key), ShownValue(value), ExpectedText(row, units));
}

// The value in its row's form (a choice as its code, a number of a list as
// a list of one, the empty word as an empty list); refused when out of range.
SettingValue Checked(const SettingRow& row, const SettingValue& value, std::optional<Units> units) {
  const double* number = std::get_if<double>(&value);
  const std::string* name = std::get_if<std::string>(&value);
  const std::vector<double>* list = std::get_if<std::vector<double>>(&value);
  switch (row.type) {
    case SettingType::Number:
      if (number == nullptr || !InRange(row, *number, units)) Refuse(row, value, units);
      return value;
    case SettingType::Whole:
      if (number == nullptr || !InRange(row, *number, units) || *number != std::floor(*number)) {
        Refuse(row, value, units);
      }
      return value;
    case SettingType::Choice: {
      const std::vector<std::string_view> names = Names(row);
      for (std::size_t i = 0; i < names.size(); ++i) {
        if ((name != nullptr && Lower(*name) == names[i]) ||
            (number != nullptr && *number == row.codes[i])) {
          return static_cast<double>(row.codes[i]);
        }
      }
      Refuse(row, value, units);
    }
    case SettingType::Numbers:
      break;
  }
  std::vector<double> values;
  if (number != nullptr) {
    values.push_back(*number);
  } else if (list != nullptr) {
    values = *list;
  } else if (name == nullptr || row.names.empty() || Lower(*name) != row.names) {
    Refuse(row, value, units);
  }
  if (values.size() < row.least || values.size() > row.most) Refuse(row, value, units);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!InRange(row, values[i], units)) Refuse(row, value, units);
    if (row.increasing && i > 0 &&
        !(static_cast<float>(values[i]) > static_cast<float>(values[i - 1]))) {
      Refuse(row, value, units);
    }
  }
  return values;
}

void Check(const SettingRow& row, const SettingValue& value, Units units) {
  if (!std::holds_alternative<std::monostate>(value)) Checked(row, value, units);
}

std::string Cell(std::string_view text) {
  std::string cell;
  for (char c : text) cell += c == '|' ? std::string("\\|") : std::string(1, c);
  return cell;
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

std::string ExpectedText(const SettingRow& row, std::optional<Units> units) {
  switch (row.type) {
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
    case SettingType::Numbers:
      break;
  }
  std::string text = (row.least > 0 ? std::to_string(row.least) + " to " : "at most ") +
                     std::to_string(row.most) + (row.increasing ? " increasing" : "") +
                     " numbers " + RangeText(row, units);
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
  if (const auto* list = std::get_if<std::vector<double>>(&value)) {
    std::string text = "[";
    for (std::size_t i = 0; i < list->size() && i < 5; ++i) {
      text += (i == 0 ? "" : ", ") + NumberText((*list)[i]);
    }
    return text + (list->size() > 5 ? ", ...]" : "]");
  }
  return "nothing";
}

void SetSetting(AnalysisLayer& layer, const SettingRow& row, const SettingValue& value,
                std::optional<Units> units) {
  row.store(layer, Checked(row, value, units));
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

std::string SettingsMarkdownTable(bool prepare_job) {
  std::string table = "| key | value | default | meaning |\n|---|---|---|---|\n";
  for (const SettingRow& row : Rows()) {
    if (prepare_job && !row.prepare_job) continue;
    // A prepare job's events are magnitudes.
    const std::optional<Units> units =
        prepare_job ? std::optional<Units>(Units::Magnitude) : std::nullopt;
    table += "| `" + std::string(row.key) + "` | " + Cell(ExpectedText(row, units)) + " | " +
             Cell(row.default_text) + " | " + Cell(row.description) + " |\n";
  }
  return table;
}

}  // namespace qev
