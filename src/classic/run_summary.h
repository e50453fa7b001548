// The short summary of one estimation run, shown on the console only.
#pragma once

#include "classic/records.h"
#include "console/sink.h"

namespace qev {

// b = 0.43429 Beta, shown beside Beta.
inline constexpr float kLog10E = 0.43429f;

// Run number, iteration count (with a warning at the iteration limit), Beta
// with b, Lambda for Mmin, and the Mmax the run used.
void WriteRunSummary(ReportSink& sink, const SessionSettings& settings,
                     const ModelParameters& model);

}  // namespace qev
