// The final RESULTS block and the table of data contributions.
#pragma once

#include "classic/session.h"

namespace qev {

void ReportResults(Session& session);

}  // namespace qev
