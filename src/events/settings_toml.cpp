#include "events/settings_toml.h"

#include "qev/errors.h"

namespace qev {

SettingValue TomlSettingValue(const toml::node& node) {
  if (node.is_number()) return *node.value<double>();
  if (const auto text = node.value_exact<std::string>()) return *text;
  if (const auto flag = node.value_exact<bool>()) return *flag;
  const toml::array* array = node.as_array();
  if (array == nullptr) return {};
  std::vector<double> values;
  for (const toml::node& item : *array) {
    if (!item.is_number()) return {};
    values.push_back(*item.value<double>());
  }
  return values;
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
