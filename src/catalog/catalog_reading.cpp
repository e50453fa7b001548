#include "catalog/catalog_reading.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

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

[[noreturn]] void StopTooLarge(const LineSource& file, long line, double value,
                               std::string_view what, std::string_view scaled) {
  char shown[64];
  std::snprintf(shown, sizeof shown, "%.7g", value);
  std::vector<std::string> lines;
  lines.push_back("Reading error in " + file.Description() + ", line " + std::to_string(line) + ":");
  lines.push_back("  the " + std::string(what) + " " + shown + " is out of range (" +
                  std::string(scaled) + " must fit a 32-bit integer).");
  StopWithMessage(std::move(lines));
}

}  // namespace

std::string Ruler(int stars) { return " " + std::string(static_cast<std::size_t>(stars), '*'); }

std::int32_t CheckedScaled(const LineSource& file, float value, double factor,
                           std::string_view what) {
  if (!ScaledFits(value, factor)) {
    std::string scaled = factor == 1.0 ? std::string("its integer part")
                                       : "the value times " + std::to_string(static_cast<long>(factor));
    StopTooLarge(file, file.LineNumber(), static_cast<double>(value), what, scaled);
  }
  return ScaledTruncation(value, factor);
}

std::int32_t CheckedWhole(const LineSource& file, long line, double value, std::string_view what) {
  if (!WholeFits(value)) StopTooLarge(file, line, value, what, "it");
  return static_cast<std::int32_t>(std::trunc(value));
}

}  // namespace qev
