// Dialog, reading, checks, echo and summary of the extreme catalog file.
#pragma once

#include "classic/session.h"

namespace qev {

void ReadExtremeCatalog(Session& session);

}  // namespace qev
