// The [homogenise] table of TOML text, for the prepare job and for a file of
// relations of its own.
#pragma once

#include <toml++/toml.h>

#include <string>

#include "qev/homogenise.h"

namespace qev::events_detail {

// The keys of `table` (written under the name `prefix`, e.g. "homogenise"),
// checked and validated. Throws ReadingError naming `source`, the line and
// the key.
HomogeniseOptions HomogeniseFromToml(const toml::table& table, const std::string& prefix,
                                     const std::string& source);

}  // namespace qev::events_detail
