// The settings table of a batch job's top level (output, seed, replicates,
// calibrated_intervals, calibrated_method, strict), as rows of
// qev/settings.h: the job reader, the key table of docs/batch.md and
// Validate take them from here. The analysis settings of [defaults], the
// zones and the alternatives are the rows of AnalysisSettings(); the tables
// below hold the layers', the zones', the alternatives' and the sources' keys.
#pragma once

#include <span>

#include "qev/batch.h"
#include "qev/settings.h"

namespace qev {

std::span<const OptionsRow<BatchJob>> BatchSettings();

// The keys of a layer ([defaults], a zone, an alternative) besides the
// analysis settings: completeness and decluster.
std::span<const OptionsRow<SettingsLayer>> LayerSettings();

// A [[zone]]'s own keys: name and prepare (its classic files, extreme and
// complete, are each a file name or a table of ClassicFileSettings()).
std::span<const OptionsRow<BatchZone>> ZoneSettings();

// A zone's classic file written as a table: file and layout (written as a
// name, the file alone).
std::span<const OptionsRow<ClassicZoneFile>> ClassicFileSettings();

// An alternative's own keys: name and weight.
std::span<const OptionsRow<Alternative>> AlternativeSettings();

// The keys of the sources of [openquake] and [zone.openquake].
std::span<const OptionsRow<SourceSettings>> OpenQuakeSettings();

// Every top-level member within its row's range; InvalidSetting naming the
// first that is not.
void Validate(const BatchJob& job);

}  // namespace qev
