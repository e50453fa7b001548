// The catalog as the engine computes with it. Magnitudes and standard
// deviations are taken in hundredths and the times between extreme events in
// thousandths of a year, each truncated toward zero, and turned back into
// single precision once per analysis: a magnitude given as 4.1 (single
// precision 4.0999999) counts as 4.09, one given as 4.3 as 4.30.
#pragma once

#include <cstdint>
#include <vector>

#include "catalog/scaled.h"
#include "qev/catalog.h"

namespace qev {

// A stored number of hundredths (thousandths) as the engine's value.
inline float FromHundredths(std::int32_t value) { return static_cast<float>(value) * 0.01f; }
inline float FromThousandths(std::int32_t value) { return static_cast<float>(value) * 0.001f; }

struct DecodedRow {
  float Magnitude = 0.0f;
  float Sd = 0.0f;
  float Frequency = 0.0f;
};

struct DecodedPart {
  float Start = 0.0f;
  float End = 0.0f;
  float Threshold = 0.0f;
  float Sd = 0.0f;          // the part's SD as given (not scaled)
  float EventCount = 0.0f;  // sum of the rows' frequencies
  bool On = true;           // switched off while the information of other parts is taken
  std::vector<DecodedRow> Rows;
};

struct DecodedEvent {
  float Magnitude = 0.0f;
  float Sd = 0.0f;
  float Interval = 0.0f;  // years since the event before (the last one closed by the end)
};

struct DecodedExtreme {
  float Start = 0.0f;
  float End = 0.0f;
  float Smallest = 999.0f;  // smallest magnitude as given; 999 without events
  float EventCount = 0.0f;
  bool On = true;
  std::vector<DecodedEvent> Events;
};

struct DecodedCatalog {
  DataKind Kind = DataKind::Complete;
  std::vector<DecodedPart> Parts;  // the complete parts in use: none for Extremes
  DecodedExtreme Extreme;          // no events when absent or not in use (Complete)
};

// Decodes the parts that `kind` uses. Throws CatalogError for a value whose
// scaled integer does not fit 32 bits, a negative SD or frequency, an extreme
// event less than 0.001 year after the one before it (or the start), an end
// of the extreme period before its last event, a complete part with rows
// whose end is before its start, and an event count beyond 32 bits.
DecodedCatalog Decode(const Catalog& catalog, DataKind kind);

// Whether an analysis of this kind uses the extreme part, the complete parts.
inline bool UsesExtremes(DataKind kind) { return kind != DataKind::Complete; }
inline bool UsesParts(DataKind kind) { return kind != DataKind::Extremes; }

}  // namespace qev
