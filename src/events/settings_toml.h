// The settings keys of a job file (a prepare job's tables, a batch job's top
// level, defaults, zones and alternatives) read through the tables of
// qev/settings.h and qev/event_settings.h: the one reader of those keys.
// Every refusal names the source, the line and the key, and what the key
// takes.
#pragma once

#include <toml++/toml.h>

#include <filesystem>
#include <string>

#include "qev/settings.h"

namespace qev {

// The node as a setting's value: a number, a text, a flag, an array of
// numbers, of texts or of arrays of numbers (none for anything else: the row
// refuses it).
SettingValue TomlSettingValue(const toml::node& node);

// The same in the form the terms take: the rows of an array of tables by the
// names of the terms' columns (a column left out takes its `omitted` value),
// a table of texts as "NAME=TEXT" texts, an array of tables of texts as
// records by the names of the terms' fields, and a file name taken from `base`
// (the job file's folder; empty: as written) unless absolute.
SettingValue TomlSettingValue(const toml::node& node, const SettingTerms& terms,
                              const std::filesystem::path& base = {});

// The node's value as a message shows it (a number with %g, a text quoted,
// the kind of an array, a table or a date).
std::string ShownNode(const toml::node& node);

// A refused value: a ReadingError with the source, the node's line, the
// value and "for 'KEY' EXPECTED", KEY as the job spells it (e.g. "select.from").
[[noreturn]] void RefuseNode(const toml::node& node, const std::string& key,
                             const std::string& source, const std::string& expected);

// Reads the node as the row's value into the layer. A value the row refuses
// is a ReadingError (RefuseNode). Without units the larger units' limit
// bounds the sizes.
void ReadSetting(const toml::node& node, const SettingRow& row, const std::string& key,
                 const std::string& source, AnalysisLayer& layer,
                 std::optional<Units> units = std::nullopt);

// The same for a member of an options struct through its row (file names
// from `base`, as TomlSettingValue).
template <class Options>
void ReadOption(const toml::node& node, const OptionsRow<Options>& row, const std::string& key,
                const std::string& source, Options& options,
                const std::filesystem::path& base = {}) {
  try {
    SetOption(options, row, TomlSettingValue(node, row, base));
  } catch (const InvalidSetting& e) {
    RefuseNode(node, key, source, e.expected());
  }
}

}  // namespace qev
