// The status word of a failed task, from the type of the error.
#pragma once

#include <string>

#include "qev/errors.h"

namespace qev {

// no-estimate, catalog-error, trial-point-not-positive, reading-error,
// invalid-options, error.
std::string StatusOf(const Error& error);

}  // namespace qev
