// The final RESULTS block and the table of data contributions.
#pragma once

#include "classic/records.h"
#include "console/textio.h"
#include "qev/catalog.h"

namespace qev {

void ReportResults(TextIo& io, const SessionSettings& settings, const Catalog& catalog,
                   ModelParameters& model);

}  // namespace qev
