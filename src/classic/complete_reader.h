// Dialog, reading and summaries of the complete catalog parts (three file layouts).
#pragma once

#include "classic/records.h"
#include "console/textio.h"
#include "qev/catalog.h"

namespace qev {

void ReadCompleteParts(TextIo& io, SessionSettings& settings, Catalog& catalog);

}  // namespace qev
