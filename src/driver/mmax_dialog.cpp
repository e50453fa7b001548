#include "driver/mmax_dialog.h"

namespace qev {

// Placeholder until this procedure is built.
void AskMmax(Session& /*session*/) {}

}  // namespace qev
