// Queries on the catalog value types shared by every reader and the engine.
#include <cstdint>

#include "qev/catalog.h"
#include "qev/errors.h"

namespace qev {

float DecimalYear(float year, float month, float day) {
  const double sum = (static_cast<double>(month) - 1.0) / 12.0 + (static_cast<double>(year) - 1.0) +
                     static_cast<double>(day) / 365.25;
  float result = static_cast<float>(sum);
  // Years before the common era: there is no year 0, so year -1 begins at -1.0.
  if (year < 0.0f) result = result + 1.0f;
  return result;
}

DataKind KindOf(const Catalog& catalog) {
  const bool complete = !catalog.complete.empty();
  if (catalog.extreme) return complete ? DataKind::ExtremesAndComplete : DataKind::Extremes;
  if (complete) return DataKind::Complete;
  throw CatalogError("the catalog has neither an extreme part nor a complete part");
}

ObservedMaxima ObservedMaximaOf(const Catalog& catalog) {
  // The running rule of the classic readers, started from the first value
  // rather than from 0, so that a catalog of negative magnitudes has its own
  // largest event as maximum.
  ObservedMaxima maxima;
  std::size_t seen = 0;
  auto update = [&](float m) {
    if (seen == 0) {
      maxima.largest = m;
    } else if (maxima.largest > m) {
      if (seen == 1 || maxima.second < m) maxima.second = m;
    } else {
      maxima.second = maxima.largest;
      maxima.largest = m;
    }
    ++seen;
  };
  if (catalog.extreme) {
    for (const ExtremeEvent& event : catalog.extreme->events) update(event.magnitude);
  }
  for (const CompletePart& part : catalog.complete) {
    for (const MagnitudeRow& row : part.rows) update(row.magnitude);
  }
  return maxima;
}

float MeanSd(const std::vector<MagnitudeRow>& rows) {
  float sum = 0.0f;
  std::int64_t count = 0;
  for (const MagnitudeRow& row : rows) {
    sum = sum + static_cast<float>(row.frequency) * row.sd;
    count += row.frequency;
  }
  return count == 0 ? 0.0f : sum / static_cast<float>(count);
}

}  // namespace qev
