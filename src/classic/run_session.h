// The program's entry: the whole session from the first screen to the stop.
#pragma once

#include "console/textio.h"

namespace qev {

// Runs the session and returns the exit status: 0 for the normal end, 1 for a
// stop caused by an error. The stop line has been written in both cases.
int RunSession(TextIo& io);

}  // namespace qev
