#include "events/settings_toml.h"

#include "qev/errors.h"

namespace qev {

SettingValue TomlSettingValue(const toml::node& node) {
  if (node.is_number()) return *node.value<double>();
  if (const auto text = node.value_exact<std::string>()) return *text;
  const toml::array* array = node.as_array();
  if (array == nullptr) return {};
  std::vector<double> values;
  for (const toml::node& item : *array) {
    if (!item.is_number()) return {};
    values.push_back(*item.value<double>());
  }
  return values;
}

void ReadSetting(const toml::node& node, const SettingRow& row, const std::string& key,
                 const std::string& source, AnalysisLayer& layer, std::optional<Units> units) {
  const SettingValue value = TomlSettingValue(node);
  try {
    SetSetting(layer, row, value, units);
  } catch (const InvalidSetting& e) {
    std::string shown = ShownValue(value);
    if (node.is_boolean()) {
      shown = *node.value<bool>() ? "true" : "false";
    } else if (std::holds_alternative<std::monostate>(value)) {
      shown = node.is_array() ? "an array" : node.is_table() ? "a table" : "a date or time";
    }
    throw ReadingError(source, static_cast<long>(node.source().begin.line), shown,
                       "for '" + key + "' " + e.expected());
  }
}

}  // namespace qev
