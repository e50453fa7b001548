#include "estimation/decoded_catalog.h"

#include <cmath>
#include <limits>
#include <string>

#include "qev/errors.h"
#include "textio/number_text.h"

namespace qev {

namespace {

std::int32_t Scaled(float value, double factor, const std::string& where, const char* what) {
  if (!ScaledFits(value, factor)) {
    throw CatalogError(where + ": " + what + " " + ShownValue(value) + " times " +
                       std::to_string(static_cast<long>(factor)) +
                       " is not within the 32-bit integers");
  }
  return ScaledTruncation(value, factor);
}

float Sd(float value, const std::string& where) {
  if (!(value >= 0.0f)) {
    throw CatalogError(where + ": standard deviation " + ShownValue(value) + " is below 0");
  }
  return FromHundredths(Scaled(value, 100.0, where, "standard deviation"));
}

DecodedExtreme DecodeExtreme(const ExtremePart& part) {
  DecodedExtreme extreme;
  extreme.Start = part.start;
  extreme.End = part.end;
  float previous = part.start;
  std::int32_t lastInterval = 0;
  long number = 0;
  for (const ExtremeEvent& event : part.events) {
    ++number;
    const std::string where = "extreme event " + std::to_string(number);
    DecodedEvent decoded;
    decoded.Magnitude = FromHundredths(Scaled(event.magnitude, 100.0, where, "magnitude"));
    decoded.Sd = Sd(event.sd, where);
    const double interval =
        std::trunc((static_cast<double>(event.time) - static_cast<double>(previous)) * 1000.0);
    if (!(interval > 0.0)) {
      throw CatalogError(where + " is not at least 0.001 year after the " +
                             (number == 1 ? std::string("start of the extreme period")
                                          : std::string("event before it")),
                         {}, 0, number);
    }
    if (!WholeFits(interval)) {
      throw CatalogError(where +
                         ": the time since the event before it is not within the 32-bit "
                         "integers in thousandths of a year");
    }
    lastInterval = static_cast<std::int32_t>(interval);
    decoded.Interval = FromThousandths(lastInterval);
    previous = event.time;
    if (extreme.Smallest > event.magnitude) extreme.Smallest = event.magnitude;
    extreme.Events.push_back(decoded);
  }
  if (number > 0) {
    if (part.end < previous) {
      throw CatalogError("the extreme period ends before its last event", {}, 0, number);
    }
    const double tail =
        std::trunc((static_cast<double>(part.end) - static_cast<double>(previous)) * 1000.0);
    const double closed = static_cast<double>(lastInterval) + tail;
    if (!WholeFits(closed)) {
      throw CatalogError(
          "the time from the last extreme event to the end of the period is not "
          "within the 32-bit integers in thousandths of a year");
    }
    extreme.Events.back().Interval = FromThousandths(static_cast<std::int32_t>(closed));
  }
  extreme.EventCount = static_cast<float>(number);
  return extreme;
}

DecodedPart DecodePart(const CompletePart& part, std::size_t index) {
  const std::string name = "complete part " + std::to_string(index + 1);
  DecodedPart decoded;
  decoded.Start = part.start;
  decoded.End = part.end;
  decoded.Threshold = part.threshold;
  decoded.Sd = part.sd;
  if (!part.rows.empty() && part.end < part.start) {
    throw CatalogError(name + " ends before it starts");
  }
  std::int64_t events = 0;
  long number = 0;
  for (const MagnitudeRow& row : part.rows) {
    ++number;
    const std::string where = name + ", row " + std::to_string(number);
    if (row.frequency < 0) {
      throw CatalogError(where + ": frequency " + std::to_string(row.frequency) + " is below 0");
    }
    DecodedRow r;
    r.Magnitude = FromHundredths(Scaled(row.magnitude, 100.0, where, "magnitude"));
    r.Sd = Sd(row.sd, where);
    r.Frequency = static_cast<float>(row.frequency);
    events += row.frequency;
    if (events > std::numeric_limits<std::int32_t>::max()) {
      throw CatalogError(name + ": the number of earthquakes is not within the 32-bit integers");
    }
    decoded.Rows.push_back(r);
  }
  decoded.EventCount = static_cast<float>(static_cast<std::int32_t>(events));
  return decoded;
}

}  // namespace

DecodedCatalog Decode(const Catalog& catalog, DataKind kind) {
  DecodedCatalog decoded;
  decoded.Kind = kind;
  if (UsesExtremes(kind) && catalog.extreme) {
    decoded.Extreme = DecodeExtreme(*catalog.extreme);
  }
  if (UsesParts(kind)) {
    for (std::size_t p = 0; p < catalog.complete.size(); ++p) {
      decoded.Parts.push_back(DecodePart(catalog.complete[p], p));
    }
  }
  return decoded;
}

}  // namespace qev
