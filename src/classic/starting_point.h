// Prior b-value and starting point of the estimation (asked before the first
// run; every run starts from the same point, against its own Mmax).
#pragma once

#include "classic/records.h"
#include "console/textio.h"
#include "qev/catalog.h"

namespace qev {

void PrepareStartingPoint(TextIo& io, SessionSettings& settings, const Catalog& catalog,
                          ModelParameters& model);

}  // namespace qev
