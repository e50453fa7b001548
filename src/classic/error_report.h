// The classic program's report of the library's errors: the lines its stop
// writes to the console for a reading error and for a trial point that is
// not positive.
#pragma once

#include "console/stop.h"
#include "qev/errors.h"

namespace qev {

// The program stop (exit status 1) for an error of reading a console answer or
// a catalog file: the READING ERROR block with the source, line, text read and
// what was expected, or the end of the input and what was expected.
ProgramStop ReadingErrorStop(const ReadingError& error);

// The program stop for a trial point of the minimiser that is not positive:
// "SOUGHT PARAMETERS LESS than 0 !!!".
ProgramStop TrialPointStop();

}  // namespace qev
