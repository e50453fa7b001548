// The settings table of a batch job's top level (output, seed, replicates,
// calibrated_intervals, calibrated_method, strict), as rows of
// qev/settings.h: the job reader, the key table of docs/batch.md and
// Validate take them from here. The analysis settings of [defaults], the
// zones and the alternatives are the rows of AnalysisSettings().
#pragma once

#include <span>

#include "qev/batch.h"
#include "qev/settings.h"

namespace qev {

std::span<const OptionsRow<BatchJob>> BatchSettings();

// Every top-level member within its row's range; InvalidSetting naming the
// first that is not.
void Validate(const BatchJob& job);

}  // namespace qev
