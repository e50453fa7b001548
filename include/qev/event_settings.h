// The settings tables of the catalog import: the prepare job's own keys,
// reading, selection, declustering and the split, as rows of qev/settings.h
// (key, member, type, range, default, one-line description). The prepare
// job's TOML tables, qev-prepare's options, Python's keywords, the key
// tables of docs/catalogs.md and Validate all take them from here.
//
// The arrays of tables of [homogenise] relation are the job's structure: the
// reader reads them, their texts and numbers checked as here.
#pragma once

#include <span>

#include "qev/prepare.h"
#include "qev/settings.h"

namespace qev {

// The prepare job's own keys: at the top of its file catalog, format and
// strict; in the tables of the options (keys "TABLE.KEY") select.zone,
// select.zone_wkt, split.completeness, completeness.figures and the keys of
// [classic].
std::span<const OptionsRow<PrepareJob>> PrepareJobSettings();

// The terms of a completeness table (key "completeness"): [[year, Mc], ...]
// with the years increasing (or the text "1964:5.5,1990:5"), or "auto", an
// empty table: estimated from the events. The prepare job's [split] and the
// batch job's layers take them.
SettingTerms CompletenessTableTerms();
// The steps of rows CheckedValue gave for those terms, and back (none for no
// steps).
std::vector<CompletenessStep> CompletenessSteps(const SettingValue& rows);
SettingValue CompletenessRows(const std::vector<CompletenessStep>& steps);
// [read]: columns, magnitude_columns, default_sd and skip_bad_rows.
std::span<const OptionsRow<ReadOptions>> ReadSettings();
// [select]: magnitude_types, from, until, min_magnitude, max_magnitude, min_depth, max_depth.
std::span<const OptionsRow<Selection>> SelectionSettings();
// [decluster]: method and the parameters of DeclusterParameters(), in its order.
std::span<const OptionsRow<DeclusterOptions>> DeclusterSettings();
// [split]: end, extreme_window, extreme_from, extreme_to, empty_windows.
std::span<const OptionsRow<SplitOptions>> SplitSettings();
// [completeness]: the methods and numbers of the estimated table (figures,
// the folder of the SVG figures, is the reader's own).
std::span<const OptionsRow<CompletenessOptions>> CompletenessSettings();
// [homogenise]: target, default_sd, target_types and priority (the
// relations are the reader's own).
std::span<const OptionsRow<HomogeniseOptions>> HomogeniseSettings();

// The row of a key in rows; none for a key that is no row.
template <class Options>
const OptionsRow<Options>* FindOption(std::span<const OptionsRow<Options>> rows,
                                      std::string_view key) {
  for (const OptionsRow<Options>& row : rows) {
    if (row.key == key) return &row;
  }
  return nullptr;
}

// Every member within its row's range; InvalidSetting naming the first that
// is not. Select, the readers and Split call them on the options they are given.
void Validate(const ReadOptions& options);
void Validate(const Selection& selection);
void Validate(const SplitOptions& options);

}  // namespace qev
