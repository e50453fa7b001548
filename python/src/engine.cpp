// The engine: catalogs between Python and qev::Catalog, the classic file
// readers, Analyze and the hazard. Every computation runs without the GIL.
#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <utility>

#include "binding.h"
#include "qev/analysis.h"
#include "qev/batch_settings.h"
#include "qev/calibration.h"
#include "qev/classic_files.h"
#include "qev/event_settings.h"
#include "qev/input_checks.h"
#include "qev/settings.h"
#include "qev/weichert.h"

namespace qev::python {

namespace {

template <typename T>
std::vector<T> Vector(py::handle values, const std::string& what) {
  if (values.is_none()) throw py::type_error(what + " is None, expected an array of numbers");
  py::array_t<T, py::array::c_style | py::array::forcecast> array;
  try {
    array = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(values);
  } catch (const py::error_already_set&) {
  }
  if (!array) {
    PyErr_Clear();
    throw py::type_error(what + " is " +
                         std::string(py::str(py::type::of(values).attr("__name__"))) +
                         ", expected an array of numbers");
  }
  if (array.ndim() != 1) {
    throw py::value_error(what + " has " + std::to_string(array.ndim()) +
                          " dimensions, expected a 1-D array");
  }
  return std::vector<T>(array.data(), array.data() + array.size());
}

// The float of an attribute that the Python classes hold as a number.
float Real(py::handle object, const char* name) { return object.attr(name).cast<float>(); }

void SameLength(std::size_t expected, std::size_t got, const std::string& what) {
  if (got != expected) {
    throw py::value_error(what + " has " + std::to_string(got) + " values, expected " +
                          std::to_string(expected));
  }
}

// The options of the analysis rows' keys the dictionary holds (None: the
// default), checked by the rows; data_kind beside them. A key of no analysis
// row (a hazard row's too) is a TypeError: no setting is dropped unseen.
AnalysisOptions OptionsFrom(const py::dict& d) {
  AnalysisLayer layer;
  AnalysisOptions o;
  for (const auto& [name, value] : d) {
    const std::string key = py::str(name);
    if (key == "data_kind") {
      if (!value.is_none()) o.data_kind = static_cast<DataKind>(value.cast<int>());
      continue;
    }
    const SettingRow* row = FindSetting(key);
    if (row == nullptr || row->target != SettingTarget::Analysis) {
      throw py::type_error("'" + key + "' is no key of the analysis settings");
    }
    if (!value.is_none()) SetSetting(layer, *row, SettingFrom(value, key));
  }
  layer.ApplyTo(o);
  return o;
}

py::object Optional(const std::optional<float>& value) {
  return value ? py::object(py::float_(*value)) : py::object(py::none());
}

py::dict RunToDict(const RunResult& r) {
  py::dict d;
  d["mmax"] = r.mmax;
  d["beta"] = r.beta;
  d["lambda_"] = r.lambda;
  d["iterations"] = r.iterations;
  d["converged"] = r.converged;
  d["suggested_mmax"] = Optional(r.suggested_mmax);
  return d;
}

py::dict ResultToDict(const AnalysisResult& r) {
  py::dict settings;
  settings["data_kind"] = static_cast<int>(r.settings.kind);
  settings["mmin"] = r.settings.mmin;
  settings["xmax"] = r.settings.xmax;
  settings["sig_xmax"] = r.settings.sig_xmax;
  settings["span_t"] = r.settings.span_t;
  settings["prior_beta"] = r.settings.prior_beta;
  settings["prior_beta_sd"] = r.settings.prior_beta_sd;
  py::list runs;
  for (const RunResult& run : r.runs) runs.append(RunToDict(run));
  py::list contributions;
  for (const DataContribution& c : r.uncertainties.contributions) {
    contributions.append(py::make_tuple(c.beta, c.lambda));
  }
  const Uncertainties& u = r.uncertainties;
  py::dict d;
  d["settings"] = settings;
  d["start"] = py::make_tuple(r.start.beta, r.start.lambda, r.start.mmax);
  d["runs"] = runs;
  d["mmax_converged"] = r.mmax_converged;
  d["beta"] = r.beta;
  d["lambda_"] = r.lambda;
  d["mmax"] = r.mmax;
  d["sd_beta"] = u.sd_beta;
  d["sd_lambda"] = u.sd_lambda;
  d["b"] = u.b;
  d["sd_b"] = u.sd_b;
  d["sd_mmax"] = u.sd_mmax;
  d["transmission_coefficient"] = u.transmission_coefficient;
  d["contributions"] = contributions;
  d["mmax_status"] = MmaxStatusName(r.mmax_status);
  d["data_share_beta"] = u.data_share_beta;
  return d;
}

// Weichert's estimate (None without one) and the input checks of the
// catalog with its analysis, into the result's dict.
void AddChecks(const Catalog& catalog, const AnalysisResult& result, py::dict& d) {
  std::optional<WeichertResult> weichert;
  std::string note;
  std::vector<InputWarning> warnings;
  {
    py::gil_scoped_release release;
    if (!catalog.complete.empty()) {
      try {
        weichert = Weichert(catalog, {result.settings.mmin});
      } catch (const NoEstimate& e) {
        note = e.reason();
      }
    }
    InputCheckData data;
    data.catalog = &catalog;
    data.analysis = &result;
    data.weichert = weichert ? &*weichert : nullptr;
    warnings = CheckInputs(data);
  }
  py::list listed;
  for (const InputWarning& w : warnings) {
    listed.append(py::make_tuple(InputWarningName(w.kind), Text(w.text)));
  }
  d["warnings"] = listed;
  if (weichert) {
    py::dict w;
    w["b"] = weichert->b;
    w["sd_b"] = weichert->sd_b;
    w["beta"] = weichert->beta;
    w["sd_beta"] = weichert->sd_beta;
    w["rate"] = weichert->rate;
    w["sd_rate"] = weichert->sd_rate;
    w["lowest_edge"] = weichert->lowest_edge;
    w["events"] = weichert->events;
    w["bins"] = weichert->bins;
    d["weichert"] = w;
  } else {
    d["weichert"] = py::none();
  }
  d["weichert_note"] = Text(note);
}

HazardModel ModelFrom(const py::tuple& t) {
  if (t.size() != 5)
    throw py::value_error("a hazard model is (beta, lambda, sd_lambda, mmin, mmax)");
  return {t[0].cast<float>(), t[1].cast<float>(), t[2].cast<float>(), t[3].cast<float>(),
          t[4].cast<float>()};
}

py::dict HazardToDict(const std::vector<HazardPoint>& points, std::size_t spans) {
  const auto n = static_cast<py::ssize_t>(points.size());
  py::array_t<float> magnitude(n), rate(n), period(n), lower(n), upper(n), one_year(n);
  py::array_t<float> probabilities({n, static_cast<py::ssize_t>(spans)});
  auto p = probabilities.mutable_unchecked<2>();
  for (py::ssize_t i = 0; i < n; ++i) {
    const HazardPoint& h = points[static_cast<std::size_t>(i)];
    magnitude.mutable_at(i) = h.magnitude;
    rate.mutable_at(i) = h.annual_rate;
    period.mutable_at(i) = h.return_period;
    lower.mutable_at(i) = h.return_period_lower;
    upper.mutable_at(i) = h.return_period_upper;
    one_year.mutable_at(i) = h.probability_one_year;
    for (std::size_t s = 0; s < spans; ++s) p(i, static_cast<py::ssize_t>(s)) = h.probabilities[s];
  }
  py::dict d;
  d["magnitude"] = magnitude;
  d["annual_rate"] = rate;
  d["return_period"] = period;
  d["return_period_lower"] = lower;
  d["return_period_upper"] = upper;
  d["probability_one_year"] = one_year;
  d["probabilities"] = probabilities;
  return d;
}

py::tuple ClassicDateTuple(const ClassicDate& d) {
  return py::make_tuple(d.shown_year, d.shown_month, d.shown_day);
}

}  // namespace

std::vector<float> FloatVector(py::handle values, const std::string& what) {
  return Vector<float>(values, what);
}
std::vector<double> DoubleVector(py::handle values, const std::string& what) {
  return Vector<double>(values, what);
}
std::vector<std::int32_t> IntVector(py::handle values, const std::string& what) {
  return Vector<std::int32_t>(values, what);
}

Catalog CatalogFrom(py::handle catalog) {
  Catalog c;
  const py::object extreme = catalog.attr("extreme");
  if (!extreme.is_none()) {
    ExtremePart part;
    part.start = Real(extreme, "start");
    part.end = Real(extreme, "end");
    const auto time = FloatVector(extreme.attr("time"), "extreme part: time");
    const auto magnitude = FloatVector(extreme.attr("magnitude"), "extreme part: magnitude");
    const auto sd = FloatVector(extreme.attr("sd"), "extreme part: sd");
    SameLength(time.size(), magnitude.size(), "extreme part: magnitude");
    SameLength(time.size(), sd.size(), "extreme part: sd");
    part.events.reserve(time.size());
    for (std::size_t i = 0; i < time.size(); ++i)
      part.events.push_back({time[i], magnitude[i], sd[i]});
    c.extreme = std::move(part);
  }
  std::size_t k = 0;
  for (py::handle complete : catalog.attr("complete")) {
    const std::string what = "complete part " + std::to_string(++k) + ": ";
    CompletePart part;
    part.start = Real(complete, "start");
    part.end = Real(complete, "end");
    part.threshold = Real(complete, "threshold");
    part.sd = Real(complete, "part_sd");
    const auto magnitude = FloatVector(complete.attr("magnitude"), what + "magnitude");
    const auto sd = FloatVector(complete.attr("sd"), what + "sd");
    const auto frequency = IntVector(complete.attr("frequency"), what + "frequency");
    SameLength(magnitude.size(), sd.size(), what + "sd");
    SameLength(magnitude.size(), frequency.size(), what + "frequency");
    part.rows.reserve(magnitude.size());
    for (std::size_t i = 0; i < magnitude.size(); ++i) {
      part.rows.push_back({magnitude[i], sd[i], frequency[i]});
    }
    c.complete.push_back(std::move(part));
  }
  return c;
}

py::tuple ExtremeToTuple(const ExtremePart& part) {
  const auto n = static_cast<py::ssize_t>(part.events.size());
  py::array_t<float> time(n), magnitude(n), sd(n);
  for (py::ssize_t i = 0; i < n; ++i) {
    const ExtremeEvent& e = part.events[static_cast<std::size_t>(i)];
    time.mutable_at(i) = e.time;
    magnitude.mutable_at(i) = e.magnitude;
    sd.mutable_at(i) = e.sd;
  }
  return py::make_tuple(part.start, part.end, time, magnitude, sd);
}

py::tuple CompleteToTuple(const CompletePart& part) {
  const auto n = static_cast<py::ssize_t>(part.rows.size());
  py::array_t<float> magnitude(n), sd(n);
  py::array_t<std::int32_t> frequency(n);
  for (py::ssize_t i = 0; i < n; ++i) {
    const MagnitudeRow& r = part.rows[static_cast<std::size_t>(i)];
    magnitude.mutable_at(i) = r.magnitude;
    sd.mutable_at(i) = r.sd;
    frequency.mutable_at(i) = r.frequency;
  }
  return py::make_tuple(part.start, part.end, part.threshold, magnitude, sd, frequency, part.sd);
}

py::tuple CatalogToTuple(const Catalog& catalog) {
  py::list complete;
  for (const CompletePart& part : catalog.complete) complete.append(CompleteToTuple(part));
  return py::make_tuple(
      catalog.extreme ? py::object(ExtremeToTuple(*catalog.extreme)) : py::object(py::none()),
      complete);
}

const char* TypeName(SettingType type) {
  switch (type) {
    case SettingType::Number:
      return "number";
    case SettingType::Whole:
      return "whole";
    case SettingType::Choice:
      return "choice";
    case SettingType::Numbers:
      return "numbers";
    case SettingType::Flag:
      return "flag";
    case SettingType::Text:
      return "text";
    case SettingType::Texts:
      return "texts";
    case SettingType::Path:
      return "path";
    case SettingType::Rows:
      return "rows";
    case SettingType::Labels:
      return "labels";
    case SettingType::Records:
      return "records";
    case SettingType::Date:
      break;
  }
  return "date";
}

py::dict TermsToDict(const SettingTerms& terms) {
  py::dict d;
  d["key"] = std::string(terms.key);
  d["member"] = std::string(terms.member);
  d["type"] = TypeName(terms.type);
  d["expected"] = ExpectedText(terms);
  d["default"] = std::string(terms.default_text);
  d["description"] = std::string(terms.description);
  // Rows: the columns of each row; Numbers: the range of each place.
  py::list columns;
  for (const SettingColumn& c : terms.columns) {
    py::dict column;
    column["name"] = std::string(c.name);
    column["low"] = c.low;
    column["high"] = c.high;
    column["whole"] = c.whole;
    columns.append(column);
  }
  d["columns"] = columns;
  return d;
}

// The analysis table's rows also say what they set: "analysis" (an
// analysis setting, a keyword of qev.analyze) or "hazard".
py::dict RowToDict(const SettingRow& row) {
  py::dict d = TermsToDict(row);
  d["target"] = row.target == SettingTarget::Analysis ? "analysis" : "hazard";
  return d;
}
template <class Options>
py::dict RowToDict(const OptionsRow<Options>& row) {
  return TermsToDict(row);
}

template <class Rows>
py::tuple RowsToTuple(const Rows& rows) {
  py::list list;
  for (const auto& row : rows) list.append(RowToDict(row));
  return py::tuple(list);
}

// The rows of one of the settings tables by the name of its options.
py::tuple SettingsTable(const std::string& name) {
  if (name == "analysis") return RowsToTuple(AnalysisSettings());
  if (name == "prepare") return RowsToTuple(PrepareJobSettings());
  if (name == "read") return RowsToTuple(ReadSettings());
  if (name == "select") return RowsToTuple(SelectionSettings());
  if (name == "decluster") return RowsToTuple(DeclusterSettings());
  if (name == "split") return RowsToTuple(SplitSettings());
  if (name == "completeness") return RowsToTuple(CompletenessSettings());
  if (name == "homogenise") return RowsToTuple(HomogeniseSettings());
  if (name == "batch") return RowsToTuple(BatchSettings());
  if (name == "layer") return RowsToTuple(LayerSettings());
  if (name == "zone") return RowsToTuple(ZoneSettings());
  if (name == "classic_file") return RowsToTuple(ClassicFileSettings());
  if (name == "alternative") return RowsToTuple(AlternativeSettings());
  if (name == "openquake") return RowsToTuple(OpenQuakeSettings());
  throw py::value_error("table is '" + name +
                        "', expected one of 'analysis', 'prepare', 'read', 'select', 'decluster', "
                        "'split', 'completeness', 'homogenise', 'batch', 'layer', 'zone', "
                        "'classic_file', 'alternative', 'openquake'");
}

void BindEngine(py::module_& m) {
  m.def("settings_table", &SettingsTable, py::arg("table") = "analysis");
  m.def(
      "analyze",
      [](py::handle catalog, const py::dict& options) {
        const Catalog c = CatalogFrom(catalog);
        const AnalysisOptions o = OptionsFrom(options);
        const AnalysisResult result = Interruptible([&](const std::atomic<bool>* cancel) {
          AnalysisOptions with = o;
          with.cancel = cancel;
          return Analyze(c, with);
        });
        py::dict d = ResultToDict(result);
        AddChecks(c, result, d);
        return d;
      },
      py::arg("catalog"), py::arg("options"));

  m.def(
      "bootstrap_intervals",
      [](py::handle catalog, const py::dict& options, std::int32_t replicates, std::uint64_t seed,
         std::int32_t threads, py::handle magnitudes, const std::string& method) {
        const Catalog c = CatalogFrom(catalog);
        const AnalysisOptions o = OptionsFrom(options);
        BootstrapOptions b;
        const auto chosen = BootstrapMethodFromName(method);
        if (!chosen) {
          throw InvalidOptions("unknown bootstrap method '" + method +
                               "' (expected inverted, studentized or basic)");
        }
        b.method = *chosen;
        b.replicates = replicates;
        b.seed = seed;
        b.threads = threads;
        b.hazard_magnitudes = FloatVector(magnitudes, "hazard_magnitudes");
        const CalibratedIntervals result = Interruptible([&](const std::atomic<bool>* cancel) {
          AnalysisOptions with = o;
          with.cancel = cancel;
          CalibratedIntervals intervals = BootstrapIntervals(c, with, Analyze(c, with), b);
          // Cancelled replicates fail; they must not pass for intervals.
          if (cancel->load()) throw Cancelled();
          return intervals;
        });
        auto value = [](const CalibratedValue& v) {
          return py::make_tuple(v.estimate, v.bias, v.corrected, v.sd, v.lower68, v.upper68,
                                v.lower95, v.upper95);
        };
        py::list hazard;
        for (const CalibratedRate& r : result.hazard) {
          hazard.append(py::make_tuple(r.magnitude, r.annual_rate, r.corrected, r.lower68,
                                       r.upper68, r.lower95, r.upper95));
        }
        py::dict d;
        d["b"] = value(result.b);
        d["lambda_"] = value(result.lambda);
        d["mmax"] = value(result.mmax);
        d["hazard"] = hazard;
        d["replicates"] = result.replicates;
        d["failed"] = result.failed;
        d["unsettled_share"] = result.unsettled_share;
        d["calibrated"] = result.calibrated;
        d["method"] = std::string(BootstrapMethodName(result.method));
        d["warning"] = Text(result.warning);
        return d;
      },
      py::arg("catalog"), py::arg("options"), py::arg("replicates"), py::arg("seed"),
      py::arg("threads"), py::arg("magnitudes"), py::arg("method"));

  m.def(
      "hazard",
      [](const py::tuple& model, py::handle magnitudes, py::handle spans) {
        const HazardModel h = ModelFrom(model);
        const auto m_values = FloatVector(magnitudes, "magnitudes");
        const auto s_values = FloatVector(spans, "spans");
        std::vector<HazardPoint> points;
        {
          py::gil_scoped_release release;
          points = CheckedHazard(h, m_values, s_values);
        }
        return HazardToDict(points, s_values.size());
      },
      py::arg("model"), py::arg("magnitudes"), py::arg("spans"));

  m.def(
      "hazard_table",
      [](const py::tuple& model, py::handle spans) {
        const HazardModel h = ModelFrom(model);
        const auto s_values = FloatVector(spans, "spans");
        std::vector<HazardPoint> points;
        {
          py::gil_scoped_release release;
          points = HazardTable(h, s_values);
        }
        return HazardToDict(points, s_values.size());
      },
      py::arg("model"), py::arg("spans"));

  m.def(
      "mean_sd",
      [](py::handle sd, py::handle frequency) {
        const auto s = FloatVector(sd, "sd");
        const auto f = IntVector(frequency, "frequency");
        SameLength(s.size(), f.size(), "frequency");
        std::vector<MagnitudeRow> rows;
        for (std::size_t i = 0; i < s.size(); ++i) rows.push_back({0.0f, s[i], f[i]});
        return MeanSd(rows);
      },
      py::arg("sd"), py::arg("frequency"));

  m.def("decimal_year", &DecimalYear, py::arg("year"), py::arg("month"), py::arg("day"));

  m.def(
      "read_extreme_text",
      [](const std::string& text, const std::string& source, int layout) {
        ExtremeFile file;
        {
          py::gil_scoped_release release;
          std::istringstream in(text);
          file = ReadExtremeFile(in, source, static_cast<ExtremeLayout>(layout));
        }
        return py::make_tuple(ExtremeToTuple(file.part), ClassicDateTuple(file.header.start),
                              ClassicDateTuple(file.header.end));
      },
      py::arg("text"), py::arg("source"), py::arg("layout"));

  m.def(
      "read_complete_text",
      [](const std::string& text, const std::string& source, int layout) {
        CompleteFile file;
        {
          py::gil_scoped_release release;
          std::istringstream in(text);
          file = ReadCompleteFile(in, source, static_cast<CompleteLayout>(layout));
        }
        return py::make_tuple(CompleteToTuple(file.part), ClassicDateTuple(file.header.start),
                              ClassicDateTuple(file.header.end),
                              ToArray(std::vector<std::int64_t>(file.below_threshold.begin(),
                                                                file.below_threshold.end())));
      },
      py::arg("text"), py::arg("source"), py::arg("layout"));
}

SettingValue SettingFrom(py::handle value, const std::string& key) {
  // NumPy's bool_ is a number to Python; a flag given as one is a flag.
  if (py::isinstance<py::bool_>(value) ||
      py::isinstance(value, py::module_::import("numpy").attr("bool_"))) {
    return py::cast<bool>(py::bool_(py::reinterpret_borrow<py::object>(value)));
  }
  if (py::isinstance<py::str>(value)) return value.cast<std::string>();
  if (PyNumber_Check(value.ptr()) != 0 && PySequence_Check(value.ptr()) == 0) {
    return py::cast<double>(py::float_(py::reinterpret_borrow<py::object>(value)));
  }
  // A list of texts (magnitude types); an empty list is one of numbers, which
  // a row of texts takes as an empty list too.
  if (py::isinstance<py::sequence>(value) && py::len(value) > 0) {
    const auto items = py::reinterpret_borrow<py::sequence>(value);
    if (std::all_of(items.begin(), items.end(),
                    [](py::handle item) { return py::isinstance<py::str>(item); })) {
      return items.cast<std::vector<std::string>>();
    }
  }
  return Vector<double>(value, key);
}

}  // namespace qev::python
