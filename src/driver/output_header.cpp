#include "driver/output_header.h"

namespace qev {

// Placeholder until this procedure is built.
void WriteOutputHeader(ReportSink& /*sink*/) {}

}  // namespace qev
