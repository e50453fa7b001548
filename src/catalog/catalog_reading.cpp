#include "catalog/catalog_reading.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "catalog/catalog.h"
#include "textio/stop.h"

namespace qev {

namespace {

bool WholeFits(double value) {
  const double whole = std::trunc(value);
  return std::isfinite(whole) &&
         whole >= static_cast<double>(std::numeric_limits<std::int32_t>::min()) &&
         whole <= static_cast<double>(std::numeric_limits<std::int32_t>::max());
}

// The report has the form of the other reading errors of the program.
[[noreturn]] void StopTooLarge(const LineSource& file, long line, double value,
                               std::string_view what, std::string_view scaled) {
  char shown[64];
  std::snprintf(shown, sizeof shown, "%.7g", value);
  const std::string ruler = " *************************************************";
  StopWithMessage({"", ruler,
                   " READING ERROR in " + file.Description() + ", line " + std::to_string(line),
                   " read     : " + std::string(what) + " " + shown,
                   " expected : " + std::string(scaled) + " within the 32-bit integers", ruler, ""});
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
    const std::string scaled = factor == 1.0 ? std::string("its integer part")
                                             : "the value times " + std::to_string(static_cast<long>(factor));
    StopTooLarge(file, file.LineNumber(), static_cast<double>(value), what, scaled);
  }
  return ScaledTruncation(value, factor);
}

void CheckNotNegative(const LineSource& file, float value, std::string_view what) {
  if (value >= 0.0f) return;
  char shown[64];
  std::snprintf(shown, sizeof shown, "%.7g", static_cast<double>(value));
  const std::string ruler = " *************************************************";
  StopWithMessage({"", ruler,
                   " READING ERROR in " + file.Description() + ", line " + std::to_string(file.LineNumber()),
                   " read     : " + std::string(what) + " " + shown,
                   " expected : a " + std::string(what) + " not below 0", ruler, ""});
}

std::int32_t CheckedWhole(const LineSource& file, long line, double value, std::string_view what) {
  if (!WholeFits(value)) StopTooLarge(file, line, value, what, "a value");
  return static_cast<std::int32_t>(std::trunc(value));
}

}  // namespace qev
