#include "catalog/complete_reader.h"

namespace qev {

// Placeholder until this procedure is built.
void ReadCompleteParts(Session& /*session*/) {}

}  // namespace qev
