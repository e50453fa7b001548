// Hazard queries and the HAZARD EVALUATION table; closes the output file.
#pragma once

#include "model/session.h"

namespace qev {

void EvaluateHazard(Session& session);

}  // namespace qev
