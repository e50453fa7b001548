// The settings keys of a job file (a prepare job's [analysis], a batch job's
// defaults, zones and alternatives) read into an AnalysisLayer through the
// table of qev/settings.h: the one reader of those keys.
#pragma once

#include <toml++/toml.h>

#include <string>

#include "qev/settings.h"

namespace qev {

// The node as a setting's value: a number, a text or an array of numbers
// (none for anything else: the row refuses it).
SettingValue TomlSettingValue(const toml::node& node);

// Reads the node as the row's value into the layer. A value the row refuses
// is a ReadingError: the source, the node's line, the value and "for 'KEY'
// EXPECTED", KEY as the job spells it (e.g. "defaults.prior_b").
// Without units the larger units' limit bounds the sizes.
void ReadSetting(const toml::node& node, const SettingRow& row, const std::string& key,
                 const std::string& source, AnalysisLayer& layer,
                 std::optional<Units> units = std::nullopt);

}  // namespace qev
