// Selection of events from an event table: a time window, a magnitude range,
// magnitude types, a depth range and a source zone (a polygon in longitude
// and latitude, from GeoJSON or WKT).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "qev/events.h"

namespace qev {

// A source zone: one or more polygons; each polygon is an outer ring followed
// by its holes. A point is inside when it lies inside an outer ring and in
// none of that polygon's holes (the even-odd rule over the polygon's rings).
// Longitudes beyond +-180 are allowed in a ring that crosses the antimeridian;
// points are then tested at their longitude and at that longitude +-360.
struct Zone {
  struct Ring {
    std::vector<double> longitude;
    std::vector<double> latitude;  // closed: the last vertex repeats the first
  };
  std::vector<std::vector<Ring>> polygons;
  bool Contains(double longitude, double latitude) const;
};

// A GeoJSON Polygon or MultiPolygon: bare, as a Feature, or as the single
// feature of a FeatureCollection. Other geometries, several features, open or
// degenerate rings and latitudes beyond +-90 throw ReadingError naming what
// was found and what is accepted.
Zone ZoneFromGeoJson(std::string_view text, const std::string& source);
// WKT text: POLYGON ((lon lat, ...), (hole ...)) or MULTIPOLYGON (((...)), ...).
Zone ZoneFromWkt(std::string_view text, const std::string& source);
// A zone file: WKT when the name ends in .wkt, GeoJSON otherwise.
Zone ReadZoneFile(const std::string& path);

struct Selection {
  std::optional<CivilDate> from;             // first day kept
  std::optional<CivilDate> until;            // first day no longer kept
  std::optional<float> min_magnitude;        // kept at and above
  std::optional<float> max_magnitude;        // kept at and below
  std::vector<std::string> magnitude_types;  // kept types or original types (any case); empty: all
  std::optional<float> min_depth;            // km; an event of unknown depth is then left out
  std::optional<float> max_depth;
  std::optional<Zone> zone;
};

// How many events each criterion left out, each event counted under the
// first criterion (in this order) that leaves it out.
struct SelectionCounts {
  std::size_t outside_time = 0;
  std::size_t outside_magnitude = 0;
  std::size_t other_magnitude_type = 0;
  std::size_t outside_depth = 0;
  std::size_t outside_zone = 0;
  std::size_t kept = 0;
};

// The rows of the table that the selection keeps, in table order.
std::vector<std::size_t> Select(const EventTable& events, const Selection& selection,
                                SelectionCounts& counts);

}  // namespace qev
