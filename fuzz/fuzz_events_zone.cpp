// Fuzzes the source-zone readers (GeoJSON and WKT, by the first byte) and the
// point-in-zone test of what they accept.
#include <cmath>
#include <cstdint>
#include <string_view>

#include "fuzz_common.h"
#include "qev/event_selection.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  try {
    const qev::Zone zone =
        (data[0] & 1) != 0 ? qev::ZoneFromWkt(text, "fuzz") : qev::ZoneFromGeoJson(text, "fuzz");
    for (const auto& polygon : zone.polygons) {
      for (const auto& ring : polygon) {
        if (ring.longitude.size() < 4 || ring.longitude.size() != ring.latitude.size()) {
          fuzz::Broken("an open or short ring accepted");
        }
      }
    }
    (void)zone.Contains(0.0, 0.0);
    (void)zone.Contains(179.9, -89.9);
  } catch (const qev::Error&) {
  }
  return 0;
}
