// Real catalogs: the event table with its numeric columns as NumPy views,
// its readers, selection, declustering and the split into catalog parts.
#include "qev/events.h"

#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <utility>

#include "binding.h"
#include "qev/catalog_split.h"
#include "qev/completeness.h"
#include "qev/declustering.h"
#include "qev/event_selection.h"
#include "qev/homogenise.h"
#include "qev/prepare.h"

namespace qev::python {

namespace {

std::optional<float> OptionalFloat(py::handle value) {
  if (value.is_none()) return std::nullopt;
  return value.cast<float>();
}

std::optional<CivilDate> OptionalDate(py::handle value, const std::string& what) {
  if (value.is_none()) return std::nullopt;
  return ParseDate(value.cast<std::string>(), what);
}

py::tuple DateTuple(const CivilDate& d) { return py::make_tuple(d.year, d.month, d.day); }

std::vector<std::size_t> Rows(py::handle rows, std::size_t size) {
  std::vector<std::size_t> out;
  for (std::int64_t r : py::array_t<std::int64_t, py::array::forcecast>::ensure(rows)
                            .cast<std::vector<std::int64_t>>()) {
    if (r < 0 || static_cast<std::size_t>(r) >= size) {
      throw py::index_error("row " + std::to_string(r) + " is not a row of a table of " +
                            std::to_string(size) + " events");
    }
    out.push_back(static_cast<std::size_t>(r));
  }
  return out;
}

py::array_t<std::int64_t> IndexArray(const std::vector<std::size_t>& rows) {
  return ToArray(std::vector<std::int64_t>(rows.begin(), rows.end()));
}

const char* FormatName(EventFormat f) {
  switch (f) {
    case EventFormat::Csv:
      return "csv";
    case EventFormat::Zmap:
      return "zmap";
    case EventFormat::QuakeMl:
      return "quakeml";
  }
  return "csv";
}

py::dict SummaryToDict(const ReadSummary& s) {
  py::list skipped;
  for (const auto& k : s.skipped) {
    skipped.append(py::make_tuple(Text(k.reason), k.count, Text(k.first)));
  }
  py::dict d;
  d["source"] = Text(s.source);
  d["format"] = FormatName(s.format);
  d["rows_read"] = s.rows_read;
  d["sd_defaulted"] = s.sd_defaulted;
  d["skipped"] = skipped;
  py::list notes;
  for (const std::string& note : s.notes) notes.append(Text(note));
  d["notes"] = notes;
  return d;
}

// The columns of a table as Python gives them.
struct GivenColumns {
  std::vector<std::int32_t> year, month, day, hour, minute;
  std::vector<float> second;
  std::vector<double> longitude, latitude;
  std::vector<float> depth, magnitude, sd;
  std::vector<std::string> types, ids;
  // Optional: the agency, and the original magnitude and type of a
  // converted table.
  std::vector<std::string> agency;
  std::vector<float> original_magnitude;
  std::vector<std::string> original_type;
};

GivenColumns ColumnsOf(const py::dict& c) {
  GivenColumns g;
  g.year = IntVector(c["year"], "year");
  g.month = IntVector(c["month"], "month");
  g.day = IntVector(c["day"], "day");
  g.hour = IntVector(c["hour"], "hour");
  g.minute = IntVector(c["minute"], "minute");
  g.second = FloatVector(c["second"], "second");
  g.longitude = DoubleVector(c["longitude"], "longitude");
  g.latitude = DoubleVector(c["latitude"], "latitude");
  g.depth = FloatVector(c["depth"], "depth");
  g.magnitude = FloatVector(c["magnitude"], "magnitude");
  g.sd = FloatVector(c["sd"], "sd");
  g.types = c["magnitude_type"].cast<std::vector<std::string>>();
  g.ids = c["id"].cast<std::vector<std::string>>();
  const std::size_t n = g.magnitude.size();
  g.agency = c.contains("agency") ? c["agency"].cast<std::vector<std::string>>()
                                  : std::vector<std::string>(n);
  g.original_magnitude = c.contains("original_magnitude")
                             ? FloatVector(c["original_magnitude"], "original_magnitude")
                             : g.magnitude;
  g.original_type =
      c.contains("original_type") ? c["original_type"].cast<std::vector<std::string>>() : g.types;
  return g;
}

// Every column as long as the magnitudes.
void CheckLengths(const GivenColumns& g) {
  const std::size_t n = g.magnitude.size();
  const std::pair<const char*, std::size_t> lengths[] = {{"year", g.year.size()},
                                                         {"month", g.month.size()},
                                                         {"day", g.day.size()},
                                                         {"hour", g.hour.size()},
                                                         {"minute", g.minute.size()},
                                                         {"second", g.second.size()},
                                                         {"longitude", g.longitude.size()},
                                                         {"latitude", g.latitude.size()},
                                                         {"depth", g.depth.size()},
                                                         {"sd", g.sd.size()},
                                                         {"magnitude_type", g.types.size()},
                                                         {"id", g.ids.size()}};
  const std::pair<const char*, std::size_t> optional_lengths[] = {
      {"agency", g.agency.size()},
      {"original_magnitude", g.original_magnitude.size()},
      {"original_type", g.original_type.size()}};
  for (const auto& [name, size] : lengths) {
    if (size != n) {
      throw py::value_error(std::string(name) + " has " + std::to_string(size) +
                            " values, magnitude " + std::to_string(n));
    }
  }
  for (const auto& [name, size] : optional_lengths) {
    if (size != n) throw py::value_error(std::string(name) + " is not as long as magnitude");
  }
}

// Row i checked as a reader checks it.
EventTable::Row CheckedRow(const GivenColumns& g, std::size_t i) {
  const std::string row = "row " + std::to_string(i) + ": ";
  auto bad = [&](const std::string& field, const std::string& value, const char* expected) {
    throw py::value_error(row + field + " is " + value + ", expected " + expected);
  };
  const CivilDate date{g.year[i], g.month[i], g.day[i]};
  if (!IsValidDate(date)) bad("the date", FormatDate(date), "a date that exists");
  if (g.hour[i] < 0 || g.hour[i] > 23) bad("hour", std::to_string(g.hour[i]), "0 to 23");
  if (g.minute[i] < 0 || g.minute[i] > 59) bad("minute", std::to_string(g.minute[i]), "0 to 59");
  if (!(g.second[i] >= 0.0f && g.second[i] < 61.0f)) {
    bad("second", std::to_string(g.second[i]), "0 to below 61");
  }
  if (!(g.longitude[i] >= -180.0 && g.longitude[i] <= 360.0)) {
    bad("longitude", std::to_string(g.longitude[i]), "-180 to 360 degrees");
  }
  if (!(g.latitude[i] >= -90.0 && g.latitude[i] <= 90.0)) {
    bad("latitude", std::to_string(g.latitude[i]), "-90 to 90 degrees");
  }
  if (std::isinf(g.depth[i])) bad("depth", "infinite", "km or NaN (not known)");
  if (!std::isfinite(g.magnitude[i])) bad("magnitude", std::to_string(g.magnitude[i]), "a number");
  if (!(g.sd[i] >= 0.0f) || !std::isfinite(g.sd[i])) {
    bad("sd", std::to_string(g.sd[i]), "a finite number not below 0");
  }
  EventTable::Row r;
  r.date = date;
  r.hour = g.hour[i];
  r.minute = g.minute[i];
  r.second = g.second[i];
  r.longitude = g.longitude[i];
  r.latitude = g.latitude[i];
  r.depth = g.depth[i];
  r.magnitude = g.magnitude[i];
  r.sd = g.sd[i];
  r.magnitude_type = g.types[i];
  r.id = g.ids[i];
  r.agency = g.agency[i];
  r.original_magnitude = g.original_magnitude[i];
  r.original_type = g.original_type[i];
  return r;
}

// A table from columns given by Python, each row checked as a reader checks
// it; errors name the row.
EventTable TableFromColumns(const py::dict& c) {
  const GivenColumns g = ColumnsOf(c);
  CheckLengths(g);
  EventTable table;
  table.Reserve(g.magnitude.size());
  for (std::size_t i = 0; i < g.magnitude.size(); ++i) table.Append(CheckedRow(g, i));
  return table;
}

// A numeric column of the table as a read-only view that keeps the table alive.
template <auto column>
py::array Column(py::object self) {
  return ReadOnlyView(self.cast<const EventTable&>().*column, self);
}

// The table class: its columns, names, ids and subsets.
void BindEventTable(py::module_& m) {
  py::class_<EventTable>(m, "EventTable", py::dynamic_attr(), R"(
Events of a catalog as columns: year, month, day (0: not known), hour, minute,
second (UTC), longitude and latitude (degrees), depth (km, NaN when not given),
magnitude and sd (its standard deviation), magnitude_type (codes into
magnitude_types). The numeric columns are read-only NumPy views of the table's
own memory (no copy); they keep the table alive.)")
      .def("__len__", &EventTable::size)
      .def_property_readonly("year", &Column<&EventTable::year>)
      .def_property_readonly("month", &Column<&EventTable::month>)
      .def_property_readonly("day", &Column<&EventTable::day>)
      .def_property_readonly("hour", &Column<&EventTable::hour>)
      .def_property_readonly("minute", &Column<&EventTable::minute>)
      .def_property_readonly("second", &Column<&EventTable::second>)
      .def_property_readonly("longitude", &Column<&EventTable::longitude>)
      .def_property_readonly("latitude", &Column<&EventTable::latitude>)
      .def_property_readonly("depth", &Column<&EventTable::depth>)
      .def_property_readonly("magnitude", &Column<&EventTable::magnitude>)
      .def_property_readonly("sd", &Column<&EventTable::sd>)
      .def_property_readonly("magnitude_type", &Column<&EventTable::magnitude_type>)
      .def_property_readonly("magnitude_types",
                             [](const EventTable& t) {
                               py::list names;
                               for (const auto& n : t.magnitude_types) names.append(Text(n));
                               return names;
                             })
      .def_property_readonly("magnitude_agency", &Column<&EventTable::magnitude_agency>)
      .def_property_readonly("agencies",
                             [](const EventTable& t) {
                               py::list names;
                               for (const auto& n : t.agencies) names.append(Text(n));
                               return names;
                             })
      .def_property_readonly("original_magnitude", &Column<&EventTable::original_magnitude>)
      .def_property_readonly("original_type", &Column<&EventTable::original_type>)
      .def_property_readonly("other_magnitude", &Column<&EventTable::other_magnitude>)
      .def_property_readonly("other_sd", &Column<&EventTable::other_sd>)
      .def_property_readonly("other_type", &Column<&EventTable::other_type>)
      .def_property_readonly("other_agency", &Column<&EventTable::other_agency>)
      .def_property_readonly("other_end", &Column<&EventTable::other_end>)
      .def_property_readonly("ids",
                             [](const EventTable& t) {
                               py::list ids;
                               for (std::size_t i = 0; i < t.size(); ++i) {
                                 ids.append(Text(std::string(t.id(i))));
                               }
                               return ids;
                             })
      .def(
          "subset",
          [](const EventTable& t, py::handle rows) {
            const std::vector<std::size_t> r = Rows(rows, t.size());
            py::gil_scoped_release release;
            return t.Subset(r);
          },
          py::arg("rows"), "The rows given, in the order given, as a new table.")
      .def_static("_from_columns", &TableFromColumns);
}

}  // namespace

namespace {

// The completeness table estimated from the events (EstimateCompleteness);
// options by the library's names, as texts.
py::dict CompletenessToDict(const CompletenessEstimate& e) {
  auto steps = [](const std::vector<CompletenessStep>& table) {
    py::list out;
    for (const CompletenessStep& s : table) out.append(py::make_tuple(s.year, s.threshold));
    return out;
  };
  py::list windows;
  for (const McWindow& w : e.windows) {
    py::dict d;
    d["start"] = w.start;
    d["end"] = w.end;
    d["mc"] = w.estimate.mc;
    d["mc_mean"] = w.estimate.mc_mean;
    d["mc_sd"] = w.estimate.mc_sd;
    d["b"] = w.estimate.b.b;
    d["b_sd"] = w.estimate.b.sd;
    d["events"] = w.estimate.events;
    d["fallback"] = w.estimate.fallback;
    windows.append(d);
  }
  py::list classes;
  for (const SteppClass& c : e.stepp) {
    py::dict d;
    d["low"] = c.low;
    d["high"] = c.high;
    d["spans"] = ToArray(c.spans);
    d["events"] = ToArray(c.events);
    d["rate_sd"] = ToArray(c.rate_sd);
    d["complete_span"] = c.complete_span;
    d["complete_from"] = c.complete_from;
    d["rate"] = c.rate;
    classes.append(d);
  }
  py::dict d;
  d["start"] = e.start;
  d["end"] = e.end;
  d["table"] = steps(e.table);
  d["windows_table"] = steps(e.windows_table);
  d["stepp_table"] = steps(e.stepp_table);
  d["windows"] = windows;
  d["stepp"] = classes;
  d["option"] = Text(FormatCompletenessOption(e.table));
  d["toml"] = Text(FormatCompletenessToml(e.table));
  d["report"] = Text(FormatCompletenessReport(e));
  d["method"] = Text(std::string(McMethodName(e.options.mc.method)));
  d["table_method"] = Text(std::string(CompletenessTableMethodName(e.options.table)));
  return d;
}

void BindCompleteness(py::module_& m) {
  m.def(
      "completeness",
      [](const EventTable& t, const std::map<std::string, std::string>& settings, py::handle end,
         py::handle figures) {
        CompletenessOptions o;
        for (const auto& [key, value] : settings) SetCompletenessOption(o, key, value, "option");
        const std::optional<CivilDate> last = OptionalDate(end, "end");
        CompletenessEstimate e;
        std::vector<std::string> written;
        {
          py::gil_scoped_release release;
          e = EstimateCompleteness(t, o, last);
        }
        if (!figures.is_none())
          written = WriteCompletenessFigures(t, e, figures.cast<std::string>());
        py::dict d = CompletenessToDict(e);
        d["figures"] = written;
        return d;
      },
      py::arg("events"), py::arg("settings"), py::arg("end"), py::arg("figures"));
  m.def("completeness_keys", &CompletenessOptionKeys);
}

}  // namespace

namespace {

void BindSelection(py::module_& m);
void BindSplitting(py::module_& m);

}  // namespace

void BindEvents(py::module_& m) {
  BindEventTable(m);

  m.def(
      "read_event_file",
      [](const std::string& path, py::handle format, const py::dict& settings,
         const std::map<std::string, std::string>& columns,
         const std::vector<std::tuple<std::string, std::string, std::string>>& magnitude_columns) {
        ReadOptions options;
        SetKeywords(options, ReadSettings(), settings);
        options.columns = columns;
        for (const auto& [type, column, sd] : magnitude_columns) {
          options.magnitude_columns.push_back({type, column, sd});
        }
        std::optional<EventFormat> f;
        if (!format.is_none()) f = static_cast<EventFormat>(format.cast<int>());
        ReadResult result = Interruptible([&](const std::atomic<bool>* cancel) {
          ReadOptions with = options;
          with.cancel = cancel;
          return ReadEventFile(path, with, f);
        });
        py::dict summary = SummaryToDict(result.summary);
        return py::make_tuple(std::move(result.events), summary);
      },
      py::arg("path"), py::arg("format"), py::arg("settings"), py::arg("columns"),
      py::arg("magnitude_columns") =
          std::vector<std::tuple<std::string, std::string, std::string>>{});

  py::class_<Zone>(m, "Zone", "A source zone: polygons in longitude and latitude (degrees).")
      .def_static(
          "from_geojson",
          [](const std::string& text, const std::string& source) {
            return ZoneFromGeoJson(text, source);
          },
          py::arg("text"), py::arg("source") = "GeoJSON text")
      .def_static(
          "from_wkt",
          [](const std::string& text, const std::string& source) {
            return ZoneFromWkt(text, source);
          },
          py::arg("text"), py::arg("source") = "WKT text")
      .def_static("read", &ReadZoneFile, py::arg("path"),
                  "A zone file: WKT when the name ends in .wkt, GeoJSON otherwise.")
      .def("contains", &Zone::Contains, py::arg("longitude"), py::arg("latitude"))
      .def_property_readonly("polygons", [](const Zone& z) { return z.polygons.size(); });
  BindSelection(m);
  BindSplitting(m);
  m.def("lowest_level", [](py::handle catalog) { return LowestLevel(CatalogFrom(catalog)); });
  BindCompleteness(m);
}

namespace {

// Selection and declustering.
void BindSelection(py::module_& m) {
  m.def(
      "select",
      [](const EventTable& t, const py::dict& settings, std::optional<Zone> zone) {
        Selection s;
        SetKeywords(s, SelectionSettings(), settings);
        s.zone = std::move(zone);
        SelectionCounts counts;
        std::vector<std::size_t> rows;
        {
          py::gil_scoped_release release;
          rows = Select(t, s, counts);
        }
        py::dict c;
        c["outside_time"] = counts.outside_time;
        c["outside_magnitude"] = counts.outside_magnitude;
        c["other_magnitude_type"] = counts.other_magnitude_type;
        c["outside_depth"] = counts.outside_depth;
        c["outside_zone"] = counts.outside_zone;
        c["kept"] = counts.kept;
        return py::make_tuple(IndexArray(rows), c);
      },
      py::arg("events"), py::arg("settings"), py::arg("zone"));

  m.def(
      "decluster",
      [](const EventTable& t, const std::string& method,
         const std::vector<std::pair<std::string, double>>& parameters) {
        DeclusterOptions o;
        o.method = ParseDeclusterMethod(method, "method");
        for (const auto& [key, value] : parameters) {
          SetDeclusterParameter(o, key, value, "decluster");
        }
        DeclusterResult r;
        {
          py::gil_scoped_release release;
          r = Decluster(t, o);
        }
        return py::make_tuple(IndexArray(r.mainshocks), IndexArray(r.removed),
                              IndexArray(r.mainshock_of));
      },
      py::arg("events"), py::arg("method"), py::arg("parameters"));

  // The method and parameter tables, for the keywords and the docstring.
  m.def("decluster_methods", [] {
    py::list rows;
    for (const DeclusterMethodInfo& d : DeclusterMethods()) {
      rows.append(py::make_tuple(d.name, d.aliases, d.description));
    }
    return rows;
  });
  m.def("decluster_parameters", [] {
    py::list rows;
    for (const DeclusterParameterInfo& d : DeclusterParameters()) {
      rows.append(py::make_tuple(d.key, d.methods, d.description, d.low, d.high));
    }
    return rows;
  });
}

// The split into parts, the catalog's end and the conversion of magnitudes.
void BindSplitting(py::module_& m) {
  m.def(
      "split",
      [](const EventTable& t, const std::vector<std::pair<std::int32_t, float>>& completeness,
         const py::dict& settings, py::handle start) {
        SplitOptions o;
        for (const auto& [year, threshold] : completeness)
          o.completeness.push_back({year, threshold});
        SetKeywords(o, SplitSettings(), settings);
        o.start = OptionalDate(start, "start");
        SplitResult r;
        {
          py::gil_scoped_release release;
          r = Split(t, o);
        }
        py::list periods, rows;
        for (const PartPeriod& p : r.complete_periods) {
          periods.append(py::make_tuple(DateTuple(p.first_day), DateTuple(p.last_day)));
        }
        for (const auto& part_rows : r.complete_rows) rows.append(IndexArray(part_rows));
        py::object extreme_period = py::none();
        if (r.extreme_period) {
          extreme_period = py::make_tuple(DateTuple(r.extreme_period->first_day),
                                          DateTuple(r.extreme_period->last_day));
        }
        py::dict d;
        d["catalog"] = CatalogToTuple(r.catalog);
        d["extreme_period"] = extreme_period;
        d["extreme_rows"] = IndexArray(r.extreme_rows);
        d["complete_periods"] = periods;
        d["complete_rows"] = rows;
        d["below_threshold"] = r.below_threshold;
        d["outside_parts"] = r.outside_parts;
        return d;
      },
      py::arg("events"), py::arg("completeness"), py::arg("settings"),
      py::arg("start") = py::none());

  // The last day the catalog observes (ObservedEnd).
  m.def(
      "catalog_end",
      [](const EventTable& t, py::handle known_end, py::handle until) -> py::object {
        const std::optional<CivilDate> known = OptionalDate(known_end, "catalog_end");
        const std::optional<CivilDate> bound = OptionalDate(until, "until");
        std::optional<CivilDate> end;
        {
          py::gil_scoped_release release;
          end = ObservedEnd(t, known, bound);
        }
        return end ? py::object(Text(FormatDate(*end))) : py::object(py::none());
      },
      py::arg("events"), py::arg("known_end"), py::arg("until"));

  // One magnitude scale by the relations of TOML text (qev.homogenise).
  m.def(
      "homogenise",
      [](const EventTable& t, const std::string& text, const std::string& source,
         py::handle default_sd) {
        HomogeniseOptions o = ParseHomogeniseToml(text, source);
        if (!o.default_sd) o.default_sd = OptionalFloat(default_sd);
        HomogeniseResult r;
        {
          py::gil_scoped_release release;
          r = Homogenise(t, o);
        }
        py::list types;
        for (const TypeConversionCounts& c : r.counts.types) {
          types.append(
              py::make_tuple(Text(c.type), c.read, c.converted, c.out_of_range, c.unlisted));
        }
        py::dict d;
        d["target"] = Text(r.counts.target);
        d["types"] = types;
        d["converted"] = r.counts.converted;
        d["left_out"] = r.counts.left_out;
        d["from_other_magnitudes"] = r.counts.from_other_magnitudes;
        return py::make_tuple(std::move(r.events), IndexArray(r.rows), d);
      },
      py::arg("events"), py::arg("text"), py::arg("source"), py::arg("default_sd"));
}

}  // namespace

}  // namespace qev::python
