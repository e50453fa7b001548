// The Mmax suggestion and entry dialog at the end of every run.
#pragma once

#include "classic/records.h"
#include "console/textio.h"

namespace qev {

[[nodiscard]] bool AskMmax(TextIo& io, const SessionSettings& settings, ModelParameters& model);

}  // namespace qev
