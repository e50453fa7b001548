// The catalog the benchmarks time: one at the classic program's full capacity
// (500 extreme events, 5 complete parts of 1500 rows), simulated from Beta 2,
// Lambda 30 a year above Mmin 4 and Mmax 7.5, with magnitudes given to 0.1 and
// SDs to 0.05 as real catalogs give them.
#pragma once

#include "qev/catalog.h"

namespace qev::bench {

inline constexpr double kBeta = 2.0;
inline constexpr double kLambda = 30.0;
inline constexpr double kMmin = 4.0;
inline constexpr double kMmax = 7.5;

// The same catalog on every call (a fixed seed).
Catalog FullCapacityCatalog();

}  // namespace qev::bench
