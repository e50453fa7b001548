// Threshold magnitude Mmin, maximum observed magnitude Xmax with its error and time span, and the
// M_max procedure.
#pragma once

#include "classic/session.h"

namespace qev {

void ChooseThresholdXmaxProcedure(Session& session);

}  // namespace qev
