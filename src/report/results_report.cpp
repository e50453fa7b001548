#include "report/results_report.h"

namespace qev {

// Placeholder until this procedure is built.
void ReportResults(Session& /*session*/) {}

}  // namespace qev
