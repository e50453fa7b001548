#include "catalog/catalog.h"

#include <cmath>
#include <limits>

namespace qev {

std::int32_t ScaledTruncation(float value, double factor) {
  return static_cast<std::int32_t>(std::trunc(static_cast<double>(value) * factor));
}

bool ScaledFits(float value, double factor) {
  const double scaled = std::trunc(static_cast<double>(value) * factor);
  return std::isfinite(scaled) &&
         scaled >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
         scaled <= static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

float DecimalYear(float year, float month, float day) {
  const double sum = (static_cast<double>(month) - 1.0) / 12.0 + (static_cast<double>(year) - 1.0) +
                     static_cast<double>(day) / 365.25;
  float result = static_cast<float>(sum);
  // Years before the common era: there is no year 0, so year -1 begins at -1.0.
  if (year < 0.0f) result = result + 1.0f;
  return result;
}

void UpdateObservedMaxima(Catalog& catalog, float magnitude) {
  if (catalog.MaxObserved > magnitude) {
    if (catalog.SecondMaxObserved < magnitude) catalog.SecondMaxObserved = magnitude;
  } else {
    catalog.SecondMaxObserved = catalog.MaxObserved;
    catalog.MaxObserved = magnitude;
  }
}

}  // namespace qev
