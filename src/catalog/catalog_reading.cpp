#include "catalog/catalog_reading.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "catalog/catalog.h"
#include "qev/errors.h"

namespace qev {

namespace {

bool WholeFits(double value) {
  const double whole = std::trunc(value);
  return std::isfinite(whole) &&
         whole >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
         whole <= static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

// A value as the reports show it: at most seven significant digits.
std::string Shown(double value) {
  char shown[64];
  std::snprintf(shown, sizeof shown, "%.7g", value);
  return shown;
}

}  // namespace

std::string Ruler(int stars) { return " " + std::string(static_cast<std::size_t>(stars), '*'); }

void WriteMessageBox(ReportSink& sink, std::string_view screenFeed, int stars,
                     const std::vector<Items>& lines, bool emptyLineFirst) {
  sink.Format(Dest::Console, screenFeed);
  if (emptyLineFirst) sink.ConsoleEmpty();
  sink.ConsoleLine(Ruler(stars));
  for (const Items& line : lines) sink.List(Dest::Console, line);
  sink.ConsoleLine(Ruler(stars));
}

std::int32_t CheckedScaled(const LineSource& file, float value, double factor,
                           std::string_view what) {
  if (!ScaledFits(value, factor)) {
    const std::string scaled = factor == 1.0
                                   ? std::string("its integer part")
                                   : "the value times " + std::to_string(static_cast<long>(factor));
    throw ReadingError(file.Description(), file.LineNumber(),
                       std::string(what) + " " + Shown(value),
                       scaled + " within the 32-bit integers");
  }
  return ScaledTruncation(value, factor);
}

void CheckNotNegative(const LineSource& file, float value, std::string_view what) {
  if (value >= 0.0f) return;
  throw ReadingError(file.Description(), file.LineNumber(), std::string(what) + " " + Shown(value),
                     "a " + std::string(what) + " not below 0");
}

std::int32_t CheckedWhole(const LineSource& file, long line, double value, std::string_view what) {
  if (!WholeFits(value)) {
    throw ReadingError(file.Description(), line, std::string(what) + " " + Shown(value),
                       "a value within the 32-bit integers");
  }
  return static_cast<std::int32_t>(std::trunc(value));
}

}  // namespace qev
