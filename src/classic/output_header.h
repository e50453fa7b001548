// The fixed block that identifies the method and the program at the top of
// the output file.
#pragma once

#include "console/sink.h"

namespace qev {

void WriteOutputHeader(ReportSink& sink);

}  // namespace qev
