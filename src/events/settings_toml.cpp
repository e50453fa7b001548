#include "events/settings_toml.h"

#include <algorithm>

#include "qev/errors.h"

namespace qev {

namespace {

// An array of numbers; none when an item is no number.
std::optional<std::vector<double>> NumbersOf(const toml::array& array) {
  std::vector<double> values;
  for (const toml::node& item : array) {
    if (!item.is_number()) return std::nullopt;
    values.push_back(*item.value<double>());
  }
  return values;
}

// An array of arrays of numbers, or of texts; none for anything else.
SettingValue ListOf(const toml::array& array) {
  std::vector<std::string> texts;
  std::vector<std::vector<double>> rows;
  for (const toml::node& item : array) {
    const toml::array* row = item.as_array();
    const auto numbers = row == nullptr ? std::nullopt : NumbersOf(*row);
    if (numbers) {
      rows.push_back(*numbers);
    } else if (const auto text = item.value_exact<std::string>()) {
      texts.push_back(*text);
    } else {
      return {};
    }
  }
  if (!rows.empty() && !texts.empty()) return {};
  if (!texts.empty()) return texts;
  return rows;
}

// A row written as a table {NAME = value, ...} by the names of the columns;
// none for a name that is no column or a value that is no number.
std::optional<std::vector<double>> RowOfTable(const toml::table& table, const SettingTerms& terms) {
  std::vector<double> row;
  for (const SettingColumn& column : terms.columns) row.push_back(column.omitted);
  for (auto&& [name, value] : table) {
    std::size_t c = 0;
    while (c < terms.columns.size() && terms.columns[c].name != name.str()) ++c;
    if (c == terms.columns.size() || !value.is_number()) return std::nullopt;
    row[c] = *value.value<double>();
  }
  return row;
}

SettingValue RowsOfTables(const toml::array& array, const SettingTerms& terms) {
  std::vector<std::vector<double>> rows;
  for (const toml::node& item : array) {
    const toml::table* table = item.as_table();
    const auto row = table == nullptr ? std::nullopt : RowOfTable(*table, terms);
    if (!row) return TomlSettingValue(array);
    rows.push_back(*row);
  }
  return rows;
}

// A table of texts as "NAME=TEXT"; none when a value is no text.
SettingValue LabelsOf(const toml::table& table) {
  std::vector<std::string> labels;
  for (auto&& [name, value] : table) {
    const auto text = value.value_exact<std::string>();
    if (!text) return {};
    labels.push_back(std::string(name.str()) + "=" + *text);
  }
  return labels;
}

// An array of tables of texts as records, by the names of the terms' fields
// (a field left out is empty: the row refuses a required one); none for an
// item that is no table, a name that is no field or a value that is no text.
SettingValue RecordsOfTables(const toml::array& array, const SettingTerms& terms) {
  const std::vector<std::string_view> fields = RecordFieldNames(terms);
  std::vector<std::vector<std::string>> records;
  for (const toml::node& item : array) {
    const toml::table* table = item.as_table();
    if (table == nullptr) return {};
    std::vector<std::string>& record = records.emplace_back(fields.size());
    for (auto&& [name, value] : *table) {
      const auto field = std::find(fields.begin(), fields.end(), name.str());
      const auto text = value.value_exact<std::string>();
      if (field == fields.end() || !text) return {};
      record[static_cast<std::size_t>(field - fields.begin())] = *text;
    }
  }
  return records;
}

}  // namespace

SettingValue TomlSettingValue(const toml::node& node) {
  if (node.is_number()) return *node.value<double>();
  if (const auto text = node.value_exact<std::string>()) return *text;
  if (const auto flag = node.value_exact<bool>()) return *flag;
  const toml::array* array = node.as_array();
  if (array == nullptr) return {};
  if (auto numbers = NumbersOf(*array)) return std::move(*numbers);
  return ListOf(*array);
}

SettingValue TomlSettingValue(const toml::node& node, const SettingTerms& terms,
                              const std::filesystem::path& base) {
  const toml::array* array = node.as_array();
  if (terms.type == SettingType::Rows && array != nullptr && !array->empty() &&
      array->front().is_table()) {
    return RowsOfTables(*array, terms);
  }
  if (terms.type == SettingType::Labels && node.is_table()) return LabelsOf(*node.as_table());
  if (terms.type == SettingType::Records && array != nullptr && !array->empty() &&
      array->front().is_table()) {
    return RecordsOfTables(*array, terms);
  }
  const auto text = node.value_exact<std::string>();
  if (terms.type == SettingType::Path && text && !text->empty() && !base.empty()) {
    const std::filesystem::path path = *text;
    return (path.is_absolute() ? path : base / path).string();
  }
  return TomlSettingValue(node);
}

std::string ShownNode(const toml::node& node) {
  if (const auto whole = node.value_exact<std::int64_t>()) return std::to_string(*whole);
  const SettingValue value = TomlSettingValue(node);
  if (!std::holds_alternative<std::monostate>(value)) return ShownValue(value);
  return node.is_array() ? "an array" : node.is_table() ? "a table" : "a date or time";
}

void RefuseNode(const toml::node& node, const std::string& key, const std::string& source,
                const std::string& expected) {
  throw ReadingError(source, static_cast<long>(node.source().begin.line), ShownNode(node),
                     "for '" + key + "' " + expected);
}

void ReadSetting(const toml::node& node, const SettingRow& row, const std::string& key,
                 const std::string& source, AnalysisLayer& layer, std::optional<Units> units) {
  try {
    SetSetting(layer, row, TomlSettingValue(node), units);
  } catch (const InvalidSetting& e) {
    RefuseNode(node, key, source, e.expected());
  }
}

}  // namespace qev
