// Dialog, reading and summaries of the complete catalog parts (three file layouts).
#pragma once

#include "classic/session.h"

namespace qev {

void ReadCompleteParts(Session& session);

}  // namespace qev
