// The Mmax suggestion and entry dialog at the end of every run.
#pragma once

#include "model/session.h"

namespace qev {

void AskMmax(Session& session);

}  // namespace qev
