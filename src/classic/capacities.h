// Capacities of the classic program's catalog: the readers stop with a
// message box beyond them. The library itself has no such limits.
#pragma once

namespace qev {

inline constexpr int nex = 500;   // events of the extreme file
inline constexpr int nfx = 1500;  // rows of one complete file
inline constexpr int ncpx = 5;    // number of complete parts

}  // namespace qev
