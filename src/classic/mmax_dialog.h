// The Mmax suggestion and entry dialog at the end of every run.
#pragma once

#include "classic/session.h"

namespace qev {

void AskMmax(Session& session);

}  // namespace qev
