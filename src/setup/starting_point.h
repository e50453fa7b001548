// Prior b-value and starting point of the estimation; builds the starting simplex of every run.
#pragma once

#include "model/session.h"

namespace qev {

void PrepareStartingPoint(Session& session);

}  // namespace qev
