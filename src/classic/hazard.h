// Hazard queries and the HAZARD EVALUATION table; closes the output file.
#pragma once

#include "classic/session.h"

namespace qev {

void EvaluateHazard(Session& session);

}  // namespace qev
