// The catalog as the engine sees it: an optional extreme part (the largest
// earthquakes of a long historical period, with their dates) and any number of
// complete parts (each complete at and above its own threshold over its own
// period). Value types with no fixed capacity.
//
// Values are kept as they were read (single precision). The engine takes
// magnitudes and standard deviations in hundredths and the times between
// extreme events in thousandths of a year, each truncated toward zero, as the
// classic catalog files store them: a magnitude written 4.1 (single precision
// 4.0999999) counts as 4.09, one written 4.3 as 4.30. The interval of extreme
// event i is trunc((t_i - t_(i-1)) x 1000) thousandths, formed in double from
// the single-precision decimal years (the first from `start`); the end of the
// period adds trunc((end - t_last) x 1000) to the last one.
//
// The analysis refuses (CatalogError) a catalog whose parts in use hold a
// value whose hundredths do not fit 32 bits, a negative SD or frequency, an
// extreme event less than 0.001 year after the one before it (or the start),
// an extreme period ending before its last event, a complete part with rows
// ending before it starts, or more than 2^31 - 1 events in one part. The
// readers of qev/classic_files.h never return such a part.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace qev {

// Size of an earthquake: magnitude or macroseismic intensity. The computations
// are the same; the unit sets the starting Beta of an extremes-only catalog
// and the upper bound of plausible values.
enum class Units { Magnitude = 1, Intensity = 2 };

// Which parts a catalog has.
enum class DataKind { Extremes = 1, Complete = 2, ExtremesAndComplete = 3 };

// One extreme event: the largest earthquake since the event before it (or
// since the start of the extreme period).
struct ExtremeEvent {
  float time = 0.0f;       // decimal year of occurrence (see DecimalYear)
  float magnitude = 0.0f;  // apparent magnitude or intensity
  float sd = 0.0f;         // standard deviation of the magnitude
};

struct ExtremePart {
  float start = 0.0f;  // decimal year at which the extreme period begins
  float end = 0.0f;    // decimal year at which it ends
  // In time order; each event at least 0.001 year after the one before it
  // (the first after `start`), the last not after `end`.
  std::vector<ExtremeEvent> events;
};

// Events of one magnitude and SD within a complete part (one event per row
// unless the part was given grouped by frequency).
struct MagnitudeRow {
  float magnitude = 0.0f;
  float sd = 0.0f;
  std::int32_t frequency = 1;
};

struct CompletePart {
  float start = 0.0f;      // decimal year at which the part begins
  float end = 0.0f;        // decimal year at which it ends (not before start)
  float threshold = 0.0f;  // complete at and above this magnitude
  // The part's standard deviation: the one SD of a file that gives one, else
  // the mean of the rows' SDs (see MeanSd). Used by the starting point and
  // the score of Lambda.
  float sd = 0.0f;
  std::vector<MagnitudeRow> rows;  // rows more than 0.02 below the threshold are not used
};

struct Catalog {
  std::optional<ExtremePart> extreme;
  std::vector<CompletePart> complete;  // in time order, earliest first
};

// Decimal year of a calendar date: months as twelfths and days as 1/365.25 of
// a year, no calendar and no year 0 (year 1 begins at 0.0, year -1 at -1.0).
// The sum is formed in double precision and rounded once to single precision.
float DecimalYear(float year, float month, float day);

// The kind of data present; throws CatalogError for a catalog with neither an
// extreme part nor a complete part.
DataKind KindOf(const Catalog& catalog);

// The largest and second-largest magnitude over the extreme events and the
// complete rows (extreme events in time order, then each complete part's rows
// in order). Two equal largest magnitudes make both equal. Both 0 for a
// catalog without events, the second 0 for a catalog of one event.
struct ObservedMaxima {
  float largest = 0.0f;
  float second = 0.0f;
};
ObservedMaxima ObservedMaximaOf(const Catalog& catalog);

// Mean of the rows' SDs weighted by frequency, summed in row order in single
// precision as the classic layout with one SD per event defines the part's SD.
float MeanSd(const std::vector<MagnitudeRow>& rows);

}  // namespace qev
