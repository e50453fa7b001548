// The catalog as read: the extreme part (largest historical events with their
// intervals) and up to ncpx complete parts. Magnitudes and standard deviations
// are kept as integers in hundredths, extreme intervals in thousandths of a
// year, each truncated toward zero; the capacities are fixed.
#pragma once

#include <array>
#include <cstdint>

namespace qev {

inline constexpr int nex = 500;   // events of the extreme file
inline constexpr int nfx = 1500;  // stored rows of one complete file
inline constexpr int ncpx = 5;    // number of complete parts

struct Event {
  std::int32_t MagHundredths = 0;
  std::int32_t SdHundredths = 0;
  std::int32_t IntervalThousandths = 0;
};

struct MagnitudeRow {
  std::int32_t MagHundredths = 0;
  std::int32_t SdHundredths = 0;
  std::int32_t Frequency = 0;
};

struct ExtremeCatalog {
  float Start = 0.0f;
  float End = 0.0f;
  float SmallestMagnitude = 999.0f;
  float EventCount = 0.0f;  // an integer value held as a real; 0 switches the part off
  float CommonSdValue = 0.0f;
  std::array<Event, nex> Events{};  // index 0 is event 1
};

struct CompletePart {
  float Start = 0.0f;
  float End = 0.0f;
  float Threshold = 0.0f;
  float RowCount = 0.0f;
  float EventCount = 0.0f;  // sum of the rows' Frequency; 0 switches the part off
  float Sd = 0.0f;
  std::array<MagnitudeRow, nfx> Rows{};  // index 0 is row 1
};

struct Catalog {
  ExtremeCatalog Extreme;
  std::int32_t PartCount = 0;
  std::array<CompletePart, ncpx> Parts{};  // index 0 is part 1
  float MaxObserved = 0.0f;
  float SecondMaxObserved = 0.0f;
};

// Scaled integer of a single-precision value: value × factor formed in double
// precision and truncated toward zero (4.1 → 409 hundredths, 0.35 → 34).
// The caller makes sure the product fits a 32-bit integer.
std::int32_t ScaledTruncation(float value, double factor);

// Whether value × factor (in double precision, truncated) fits a 32-bit integer.
bool ScaledFits(float value, double factor);

// Decimal year of a calendar date: months as twelfths and days as 1/365.25 of
// a year, no calendar and no year 0 (year 1 begins at 0.0, year -1 at -1.0).
float DecimalYear(float year, float month, float day);

// The running maxima of the observed magnitudes (both readers use this rule:
// two equal largest magnitudes make both maxima equal).
void UpdateObservedMaxima(Catalog& catalog, float magnitude);

}  // namespace qev
