// Hazard queries and the HAZARD EVALUATION table; closes the output file.
#pragma once

#include "classic/records.h"
#include "console/textio.h"

namespace qev {

void EvaluateHazard(TextIo& io, const SessionSettings& settings, const ModelParameters& model);

}  // namespace qev
