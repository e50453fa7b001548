#include "setup/threshold_dialog.h"

namespace qev {

// Placeholder until this procedure is built.
void ChooseThresholdXmaxProcedure(Session& /*session*/) {}

}  // namespace qev
