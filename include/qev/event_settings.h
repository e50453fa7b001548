// The settings tables of the catalog import: the prepare job's own keys,
// reading, selection, declustering and the split, as rows of qev/settings.h
// (key, member, type, range, default, one-line description). The prepare
// job's TOML tables, qev-prepare's options, Python's keywords, the key
// tables of docs/catalogs.md and Validate all take them from here.
//
// Keys whose values are tables of names, file paths or completeness tables
// (columns, magnitude_columns, magnitude_types, zone, zone_wkt, catalog,
// completeness) are read by the front ends themselves and listed in the
// docs beside these tables.
#pragma once

#include <span>

#include "qev/prepare.h"
#include "qev/settings.h"

namespace qev {

// The prepare job's keys at the top of its file: format and strict.
std::span<const OptionsRow<PrepareJob>> PrepareJobSettings();
// [read]: default_sd and skip_bad_rows.
std::span<const OptionsRow<ReadOptions>> ReadSettings();
// [select]: from, until, min_magnitude, max_magnitude, min_depth, max_depth.
std::span<const OptionsRow<Selection>> SelectionSettings();
// [decluster]: method and the parameters of DeclusterParameters(), in its order.
std::span<const OptionsRow<DeclusterOptions>> DeclusterSettings();
// [split]: end, extreme_window, extreme_from, extreme_to, empty_windows.
std::span<const OptionsRow<SplitOptions>> SplitSettings();
// [completeness]: the methods and numbers of the estimated table (figures,
// the folder of the SVG figures, is the reader's own).
std::span<const OptionsRow<CompletenessOptions>> CompletenessSettings();
// [homogenise]: target and default_sd (target_types, priority and the
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
