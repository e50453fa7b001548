#include "catalog/extreme_reader.h"

namespace qev {

// Placeholder until this procedure is built.
void ReadExtremeCatalog(Session& /*session*/) {}

}  // namespace qev
