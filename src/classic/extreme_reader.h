// Dialog, reading, checks, echo and summary of the extreme catalog file.
#pragma once

#include "classic/records.h"
#include "console/textio.h"
#include "qev/catalog.h"

namespace qev {

void ReadExtremeCatalog(TextIo& io, SessionSettings& settings, Catalog& catalog);

}  // namespace qev
