#include "report/hazard.h"

namespace qev {

// Placeholder until this procedure is built.
void EvaluateHazard(Session& /*session*/) {}

}  // namespace qev
