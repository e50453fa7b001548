// Capacities of the classic program's catalog: the readers stop with a
// message box beyond them. The library itself has no such limits.
#pragma once

#include "qev/classic_bounds.h"

namespace qev {

inline constexpr int nex = classic::kExtremeEvents;   // events of the extreme file
inline constexpr int nfx = classic::kCompleteRows;    // rows of one complete file
inline constexpr int ncpx = classic::kCompleteParts;  // number of complete parts

}  // namespace qev
