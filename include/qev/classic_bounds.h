// The bounds of the classic program's answers and catalog values, in one
// place: the classic dialogs and catalog readers apply them, and qev-prepare
// checks the sessions it writes for the classic program against them, so that
// every answers file it writes runs to its end. Standard library only.
#pragma once

#include <limits>

namespace qev::classic {

// The largest earthquake size: magnitudes (units 1) and intensities (any
// other units answer). Catalog values, an own Xmax, SIG(Xmax) and every Mmax
// answer stay within it.
inline constexpr float kLargestMagnitude = 10.0f;
inline constexpr float kLargestIntensity = 12.0f;
inline constexpr float UpperLimitOfUnits(int units) {
  return units == 1 ? kLargestMagnitude : kLargestIntensity;
}

// The largest prior b-value: its Beta (6.9) times the largest size (12) keeps
// exp(-Beta m) a normal single-precision number, which the likelihood and the
// keyboard start need. Real b-values lie between about 0.5 and 2.
inline constexpr float kLargestPriorB = 3.0f;

// The largest magnitude SD of a catalog value. The likelihood multiplies each
// rate by the apparent factor exp(a^2) (1 + erf(z)) / 2, a = Beta SD / 1.4142,
// so the Lambda it finds falls as 1 / exp(a^2). Once Lambda is below 2^-25
// (3e-8), exp(-Lambda) is 1 in single precision and the hazard table's
// one-year probability 0 / 0 (`1#IND`); far beyond, exp(a^2) and the SDs of
// the estimates (which hold 1 / Lambda^2) overflow (`1#QNAN`). The factor stays
// below 2^25 = 3.4e7, so that a catalog of one event a year above Mmin keeps a
// Lambda the table can use, while a^2 <= ln(2^25) = 17.3: at the Beta of a
// b-value of 1 (2.3026) an SD of at most 2.56. Measured: a common SD of 2.8
// on an extreme file of b = 0.86 still gives numbers, 3 at b = 0.96 `1#IND`,
// 4.7 `1#QNAN` SDs, one event of SD 6 in a complete part `1#QNAN` SDs. Below
// the bound Lambda may still be a tiny number the report prints as `.00`
// (docs/reliability.md).
inline constexpr float kLargestSd = 2.5f;

// The smallest time span of the hazard table and the smallest starting Lambda
// of the keyboard start: the smallest normal single-precision number. A span
// below it gives 1 - exp(-Lambda t) = 0 / 0 (`1#IND`) for every Lambda below
// 2.5e30; a starting Lambda below it leaves every expected count at the floor
// of the likelihood, which is then flat in Lambda (`1#QNAN` SDs) or sends the
// minimisation below zero.
inline constexpr float kSmallestSpan = std::numeric_limits<float>::min();
inline constexpr float kSmallestStartLambda = std::numeric_limits<float>::min();

// Capacities of the classic files and the length of the names it takes.
inline constexpr int kExtremeEvents = 500;
inline constexpr int kCompleteRows = 1500;
inline constexpr int kCompleteParts = 5;
inline constexpr int kNameLength = 15;

}  // namespace qev::classic
