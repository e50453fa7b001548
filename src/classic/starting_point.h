// Prior b-value and starting point of the estimation (asked before the first
// run; every run starts from the same point, against its own Mmax).
#pragma once

#include "classic/session.h"

namespace qev {

void PrepareStartingPoint(Session& session);

}  // namespace qev
