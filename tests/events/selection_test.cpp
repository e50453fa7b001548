// Source zones from GeoJSON and WKT (holes, several polygons, the
// antimeridian, refusals) and the selection counts.
#include <gtest/gtest.h>

#include <cmath>

#include "qev/event_selection.h"

namespace qev {
namespace {

// A square 0..10 with a hole 4..6, and a second square across the antimeridian.
constexpr const char* kGeoJson = R"({"type": "MultiPolygon", "coordinates": [
  [[[0,0],[10,0],[10,10],[0,10],[0,0]], [[4,4],[6,4],[6,6],[4,6],[4,4]]],
  [[[175,-20],[185,-20],[185,-10],[175,-10]]]]})";
constexpr const char* kWkt =
    "MULTIPOLYGON (((0 0, 10 0, 10 10, 0 10, 0 0), (4 4, 6 4, 6 6, 4 6, 4 4)),"
    " ((175 -20, 185 -20, 185 -10, 175 -10)))";

TEST(SourceZone, HolesPolygonsAndTheAntimeridianInBothNotations) {
  const std::tuple<double, double, bool> points[] = {
      {2, 2, true},      {5, 5, false},      {11, 5, false}, {178, -15, true},
      {-178, -15, true}, {-174, -15, false}, {5, 3.9, true}, {-1, 5, false}};
  for (const Zone& zone :
       {ZoneFromGeoJson(kGeoJson, "zone.json"), ZoneFromWkt(kWkt, "zone.wkt"),
        ZoneFromGeoJson(
            std::string(R"({"type":"FeatureCollection","features":[{"type":"Feature",)") +
                R"("properties":{},"geometry":)" + kGeoJson + "}]}",
            "zone.json")}) {
    for (const auto& [longitude, latitude, inside] : points) {
      EXPECT_EQ(zone.Contains(longitude, latitude), inside) << longitude << " " << latitude;
    }
  }
}

// (What is no area: the table of the event readers, data/reader_cases.tsv.)

TEST(Selection, EachEventIsCountedUnderTheFirstCriterionThatLeavesItOut) {
  EventTable table;
  auto add = [&](CivilDate date, float magnitude, const char* type, float depth, double lon) {
    EventTable::Row row;
    row.date = date;
    row.magnitude = magnitude;
    row.magnitude_type = type;
    row.depth = depth;
    row.longitude = lon;
    row.latitude = 1.0;
    table.Append(row);
  };
  add({1999, 12, 31}, 9.0f, "ml", 500.0f, 50.0);  // time
  add({2000, 1, 1}, 4.9f, "mw", 10.0f, 1.0);      // magnitude
  add({2000, 1, 1}, 5.0f, "ml", 10.0f, 1.0);      // type
  add({2000, 6, 1}, 5.0f, "MW", NAN, 1.0);        // depth unknown
  add({2000, 6, 1}, 5.0f, "mww", 71.0f, 1.0);     // depth
  add({2000, 6, 1}, 7.0f, "mw", 10.0f, 50.0);     // zone
  add({2000, 12, 31}, 7.0f, "Mw", 0.0f, 2.0);     // kept
  add({2001, 1, 1}, 7.0f, "mw", 10.0f, 2.0);      // time: until is not kept
  Selection s;
  s.from = CivilDate{2000, 0, 0};  // bounds given as years: from 1 January
  s.until = CivilDate{2001, 0, 0};
  s.min_magnitude = 5.0f;
  s.max_magnitude = 8.0f;
  s.magnitude_types = {"mw", "MWW"};
  s.min_depth = 0.0f;
  s.max_depth = 70.0f;
  s.zone = ZoneFromWkt("POLYGON ((0 0, 10 0, 10 10, 0 10, 0 0))", "z");
  SelectionCounts counts;
  EXPECT_EQ(Select(table, s, counts), (std::vector<std::size_t>{6}));
  EXPECT_EQ(counts.outside_time, 2u);
  EXPECT_EQ(counts.outside_magnitude, 1u);
  EXPECT_EQ(counts.other_magnitude_type, 1u);
  EXPECT_EQ(counts.outside_depth, 2u);
  EXPECT_EQ(counts.outside_zone, 1u);
  EXPECT_EQ(counts.kept, 1u);
}

}  // namespace
}  // namespace qev
