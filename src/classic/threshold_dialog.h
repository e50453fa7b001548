// Threshold magnitude Mmin, maximum observed magnitude Xmax with its error and time span, and the
// M_max procedure.
#pragma once

#include "classic/records.h"
#include "console/textio.h"
#include "qev/catalog.h"

namespace qev {

void ChooseThresholdXmaxProcedure(TextIo& io, SessionSettings& settings, const Catalog& catalog);

}  // namespace qev
