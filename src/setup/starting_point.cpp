#include "setup/starting_point.h"

namespace qev {

// Placeholder until this procedure is built.
void PrepareStartingPoint(Session& /*session*/) {}

}  // namespace qev
