// Source zones from GeoJSON (through nlohmann-json) or WKT, and the
// point-in-zone test.
#include <cmath>
#include <nlohmann/json.hpp>
#include <string>

#include "events/reading.h"
#include "qev/event_selection.h"
#include "qev/event_settings.h"

namespace qev {

using events_detail::Lower;
using events_detail::ReadWholeFile;

namespace {

bool InRing(const Zone::Ring& ring, double x, double y) {
  bool inside = false;
  const std::size_t n = ring.longitude.size();
  for (std::size_t i = 0, j = n - 1; i < n; j = i++) {
    const double xi = ring.longitude[i];
    const double yi = ring.latitude[i];
    const double xj = ring.longitude[j];
    const double yj = ring.latitude[j];
    if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi) inside = !inside;
  }
  return inside;
}

bool InPolygon(const std::vector<Zone::Ring>& polygon, double x, double y) {
  bool inside = false;
  for (const Zone::Ring& ring : polygon) inside ^= InRing(ring, x, y);
  return inside;
}

// Closes a ring and checks it: at least three distinct vertices, finite
// values, latitudes within +-90, longitudes within +-540.
void FinishRing(Zone::Ring& ring, const std::string& source, const std::string& where) {
  auto fail = [&](const std::string& text, const std::string& expected) {
    throw ReadingError(source, 0, text, expected + " (" + where + ")");
  };
  for (std::size_t i = 0; i < ring.longitude.size(); ++i) {
    const double x = ring.longitude[i];
    const double y = ring.latitude[i];
    const std::string shown = std::to_string(x) + " " + std::to_string(y);
    if (!std::isfinite(x) || !std::isfinite(y)) fail(shown, "finite longitude and latitude");
    if (y < -90.0 || y > 90.0) fail(shown, "a latitude between -90 and 90");
    if (x < -540.0 || x > 540.0) fail(shown, "a longitude between -540 and 540");
  }
  const std::size_t n = ring.longitude.size();
  if (n > 0 &&
      (ring.longitude[0] != ring.longitude[n - 1] || ring.latitude[0] != ring.latitude[n - 1])) {
    ring.longitude.push_back(ring.longitude[0]);
    ring.latitude.push_back(ring.latitude[0]);
  }
  if (ring.longitude.size() < 4) {
    fail(std::to_string(n) + " vertices", "a ring of at least three distinct vertices");
  }
}

Zone::Ring RingFromJson(const nlohmann::json& positions, const std::string& source,
                        const std::string& where) {
  if (!positions.is_array()) {
    throw ReadingError(source, 0, positions.dump().substr(0, 60),
                       "a ring: an array of positions (" + where + ")");
  }
  Zone::Ring ring;
  for (const nlohmann::json& position : positions) {
    if (!position.is_array() || position.size() < 2 || !position[0].is_number() ||
        !position[1].is_number()) {
      throw ReadingError(source, 0, position.dump().substr(0, 60),
                         "a position [longitude, latitude] (" + where + ")");
    }
    ring.longitude.push_back(position[0].get<double>());
    ring.latitude.push_back(position[1].get<double>());
  }
  FinishRing(ring, source, where);
  return ring;
}

std::vector<Zone::Ring> PolygonFromJson(const nlohmann::json& rings, const std::string& source,
                                        const std::string& where) {
  if (!rings.is_array() || rings.empty()) {
    throw ReadingError(source, 0, rings.dump().substr(0, 60),
                       "a polygon: an array of rings, the outer ring first (" + where + ")");
  }
  std::vector<Zone::Ring> polygon;
  for (std::size_t r = 0; r < rings.size(); ++r) {
    polygon.push_back(RingFromJson(rings[r], source, where + ", ring " + std::to_string(r + 1)));
  }
  return polygon;
}

void AddGeometry(Zone& zone, const nlohmann::json& geometry, const std::string& source) {
  if (!geometry.is_object() || !geometry.contains("type") || !geometry["type"].is_string()) {
    throw ReadingError(source, 0, geometry.dump().substr(0, 60),
                       "a GeoJSON geometry object with a type");
  }
  const std::string type = geometry["type"].get<std::string>();
  if (type != "Polygon" && type != "MultiPolygon") {
    throw ReadingError(source, 0, type, "a Polygon or MultiPolygon (a source zone is an area)");
  }
  if (!geometry.contains("coordinates")) {
    throw ReadingError(source, 0, type, "the geometry's coordinates");
  }
  const nlohmann::json& coordinates = geometry["coordinates"];
  if (type == "Polygon") {
    zone.polygons.push_back(PolygonFromJson(coordinates, source, "polygon 1"));
    return;
  }
  if (!coordinates.is_array() || coordinates.empty()) {
    throw ReadingError(source, 0, coordinates.dump().substr(0, 60), "an array of polygons");
  }
  for (std::size_t p = 0; p < coordinates.size(); ++p) {
    zone.polygons.push_back(
        PolygonFromJson(coordinates[p], source, "polygon " + std::to_string(p + 1)));
  }
}

// WKT by recursive descent.
class WktParser {
 public:
  WktParser(std::string_view text, const std::string& source) : text_(text), source_(source) {}

  Zone Parse() {
    Zone zone;
    const std::string word = Lower(Word());
    if (word == "polygon") {
      zone.polygons.push_back(Polygon(1));
    } else if (word == "multipolygon") {
      Expect('(');
      int p = 1;
      do {
        zone.polygons.push_back(Polygon(p++));
      } while (Accept(','));
      Expect(')');
    } else {
      Fail(word, "POLYGON or MULTIPOLYGON (a source zone is an area)");
    }
    Skip();
    if (at_ != text_.size()) Fail(std::string(text_.substr(at_, 20)), "the end of the WKT text");
    return zone;
  }

 private:
  std::vector<Zone::Ring> Polygon(int number) {
    std::vector<Zone::Ring> rings;
    Expect('(');
    int r = 1;
    do {
      Zone::Ring ring;
      Expect('(');
      do {
        ring.longitude.push_back(Number());
        ring.latitude.push_back(Number());
      } while (Accept(','));
      Expect(')');
      FinishRing(ring, source_,
                 "polygon " + std::to_string(number) + ", ring " + std::to_string(r++));
      rings.push_back(std::move(ring));
    } while (Accept(','));
    Expect(')');
    return rings;
  }

  void Skip() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  std::string Word() {
    Skip();
    const std::size_t begin = at_;
    while (at_ < text_.size() && std::isalpha(static_cast<unsigned char>(text_[at_]))) ++at_;
    return std::string(text_.substr(begin, at_ - begin));
  }
  bool Accept(char c) {
    Skip();
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  void Expect(char c) {
    if (!Accept(c)) Fail(std::string(text_.substr(at_, 20)), std::string("'") + c + "'");
  }
  double Number() {
    Skip();
    const std::size_t begin = at_;
    while (at_ < text_.size() &&
           (std::isdigit(static_cast<unsigned char>(text_[at_])) ||
            std::string_view("+-.eE").find(text_[at_]) != std::string_view::npos)) {
      ++at_;
    }
    const auto value = events_detail::ParseDouble(text_.substr(begin, at_ - begin));
    if (!value) Fail(std::string(text_.substr(begin, 20)), "a coordinate");
    return *value;
  }
  [[noreturn]] void Fail(const std::string& text, const std::string& expected) {
    throw ReadingError(source_, 0, text, expected + " at character " + std::to_string(at_ + 1));
  }

  std::string_view text_;
  const std::string& source_;
  std::size_t at_ = 0;
};

Zone ZoneFromJson(nlohmann::json document, const std::string& source);

}  // namespace

bool Zone::Contains(double longitude, double latitude) const {
  for (const std::vector<Ring>& polygon : polygons) {
    for (double shift : {0.0, 360.0, -360.0}) {
      if (InPolygon(polygon, longitude + shift, latitude)) return true;
    }
  }
  return false;
}

Zone ZoneFromGeoJson(std::string_view text, const std::string& source) {
  try {
    events_detail::CheckNesting(text, source, "[{", "]}");
    return ZoneFromJson(nlohmann::json::parse(text.begin(), text.end()), source);
  } catch (const nlohmann::json::exception& e) {
    // Not JSON, a number beyond double range, or a member of another type.
    throw ReadingError(source, 0, "", std::string("GeoJSON text (") + e.what() + ")");
  }
}

namespace {

Zone ZoneFromJson(nlohmann::json document, const std::string& source) {
  Zone zone;
  if (!document.is_object() || !document.contains("type") || !document["type"].is_string()) {
    throw ReadingError(source, 0, document.dump().substr(0, 60), "a GeoJSON object with a type");
  }
  const std::string type = document["type"].get<std::string>();
  if (type == "FeatureCollection") {
    const nlohmann::json& features = document.value("features", nlohmann::json::array());
    if (!features.is_array() || features.size() != 1) {
      throw ReadingError(source, 0,
                         std::to_string(features.is_array() ? features.size() : 0) + " features",
                         "one feature: a source zone (keep its Polygon or MultiPolygon alone)");
    }
    document = features[0];
  }
  if (document.is_object() && document.value("type", "") == "Feature") {
    if (!document.contains("geometry")) throw ReadingError(source, 0, "Feature", "a geometry");
    AddGeometry(zone, document["geometry"], source);
  } else {
    AddGeometry(zone, document, source);
  }
  return zone;
}

}  // namespace

Zone ZoneFromWkt(std::string_view text, const std::string& source) {
  return WktParser(text, source).Parse();
}

Zone ReadZoneFile(const std::string& path) {
  const std::string text = ReadWholeFile(path, "the zone file");
  const std::string name = Lower(path);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".wkt") == 0) {
    return ZoneFromWkt(text, path);
  }
  return ZoneFromGeoJson(text, path);
}

std::vector<std::size_t> Select(const EventTable& events, const Selection& selection,
                                SelectionCounts& counts) {
  Validate(selection);
  counts = SelectionCounts{};
  const double from = selection.from ? DayNumber(FirstDayOf(*selection.from)) : -1e300;
  const double until = selection.until ? DayNumber(FirstDayOf(*selection.until)) : 1e300;
  std::vector<bool> type_kept(events.magnitude_types.size(), selection.magnitude_types.empty());
  for (std::size_t k = 0; k < events.magnitude_types.size(); ++k) {
    for (const std::string& wanted : selection.magnitude_types) {
      if (Lower(wanted) == Lower(events.magnitude_types[k])) type_kept[k] = true;
    }
  }
  std::vector<std::size_t> kept;
  for (std::size_t i = 0; i < events.size(); ++i) {
    const double t = events.days(i);
    const float m = events.magnitude[i];
    const float depth = events.depth[i];
    if (t < from || t >= until) {
      ++counts.outside_time;
    } else if ((selection.min_magnitude && m < *selection.min_magnitude) ||
               (selection.max_magnitude && m > *selection.max_magnitude)) {
      ++counts.outside_magnitude;
    } else if (!type_kept[events.magnitude_type[i]] && !type_kept[events.original_type[i]]) {
      ++counts.other_magnitude_type;
    } else if ((selection.min_depth && !(depth >= *selection.min_depth)) ||
               (selection.max_depth && !(depth <= *selection.max_depth))) {
      ++counts.outside_depth;
    } else if (selection.zone &&
               !selection.zone->Contains(events.longitude[i], events.latitude[i])) {
      ++counts.outside_zone;
    } else {
      kept.push_back(i);
    }
  }
  counts.kept = kept.size();
  return kept;
}

}  // namespace qev
