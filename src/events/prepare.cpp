// The prepare job: its TOML form, the pipeline and the printed summary.
#include "qev/prepare.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "events/homogenise_toml.h"
#include "events/reading.h"
#include "events/settings_toml.h"
#include "qev/event_settings.h"
#include "textio/number_text.h"

namespace qev {

using events_detail::ParseDouble;
using events_detail::Trim;

namespace {

class TomlJob {
 public:
  TomlJob(const std::string& source, const std::filesystem::path& base)
      : source_(source), base_(base) {}

  [[noreturn]] void Fail(const toml::node& node, const std::string& key,
                         const std::string& expected) const {
    std::string shown;
    if (auto s = node.value<std::string>()) {
      shown = *s;
    } else if (auto d = node.value<double>()) {
      char text[40];
      std::snprintf(text, sizeof text, "%g", *d);
      shown = text;
    } else {
      shown = std::string(toml::impl::node_type_friendly_names[static_cast<int>(node.type())]);
    }
    throw ReadingError(source_, static_cast<long>(node.source().begin.line), shown,
                       "for '" + key + "' " + expected);
  }

  const toml::table& Table(const toml::node& node, const std::string& key) const {
    if (const toml::table* t = node.as_table()) return *t;
    Fail(node, key, "a table");
  }

  using Handlers =
      std::map<std::string, std::function<void(const toml::node&, const std::string&)>>;

  // The keys of the rows, read into `options` through the settings reader:
  // those of `table` (the rows "TABLE.KEY") or, without one, those without a
  // table.
  template <class Options>
  void AddRows(Handlers& handlers, std::span<const OptionsRow<Options>> rows, Options& options,
               std::string_view table = "") const {
    for (const OptionsRow<Options>& row : rows) {
      std::string_view key = row.key;
      const std::size_t dot = key.find('.');
      if (dot == std::string_view::npos ? !table.empty() : key.substr(0, dot) != table) continue;
      if (dot != std::string_view::npos) key.remove_prefix(dot + 1);
      handlers.emplace(key, [&, row = &row](const toml::node& n, const std::string& k) {
        ReadOption(n, *row, k, source_, options, base_);
      });
    }
  }

  // Calls the handler of each key; an unknown key is an error.
  void Keys(const toml::table& table, const std::string& prefix, const Handlers& handlers) const {
    for (auto&& [key, node] : table) {
      const std::string name = prefix + std::string(key.str());
      const auto handler = handlers.find(std::string(key.str()));
      if (handler == handlers.end()) {
        std::string known;
        for (const auto& [k, h] : handlers) known += (known.empty() ? "" : ", ") + k;
        throw ReadingError(source_, static_cast<long>(key.source().begin.line), name,
                           "one of the keys " + known);
      }
      handler->second(node, name);
    }
  }

  PrepareJob Parse(std::string_view text) {
    toml::table root;
    try {
      root = toml::parse(text, source_);
    } catch (const toml::parse_error& e) {
      throw ReadingError(source_, static_cast<long>(e.source().begin.line), "",
                         "TOML (" + std::string(e.description()) + ")");
    }
    PrepareJob job;
    Handlers handlers{
        {"read", [&](const toml::node& n, const std::string& k) { Read(Table(n, k), k, job); }},
        {"homogenise",
         [&](const toml::node& n, const std::string& k) {
           job.homogenise = events_detail::HomogeniseFromToml(Table(n, k), k, source_);
         }},
        {"select", [&](const toml::node& n, const std::string& k) { Select(Table(n, k), k, job); }},
        {"decluster",
         [&](const toml::node& n, const std::string& k) { Decluster(Table(n, k), k, job); }},
        {"split", [&](const toml::node& n, const std::string& k) { Split(Table(n, k), k, job); }},
        {"completeness",
         [&](const toml::node& n, const std::string& k) { Completeness(Table(n, k), k, job); }},
        {"analysis",
         [&](const toml::node& n, const std::string& k) { Analysis(Table(n, k), k, job); }},
        {"classic",
         [&](const toml::node& n, const std::string& k) { Classic(Table(n, k), k, job); }}};
    AddRows(handlers, PrepareJobSettings(), job);
    Keys(root, "", handlers);
    return job;
  }

 private:
  void Read(const toml::table& t, const std::string& p, PrepareJob& job) {
    Handlers handlers;
    AddRows(handlers, ReadSettings(), job.read);
    Keys(t, p + ".", handlers);
  }

  void Select(const toml::table& t, const std::string& p, PrepareJob& job) {
    Handlers handlers;
    AddRows(handlers, SelectionSettings(), job.selection);
    AddRows(handlers, PrepareJobSettings(), job, "select");
    Keys(t, p + ".", handlers);
  }

  // [decluster]: the method by name ('window', its older key, still read)
  // and the methods' parameters, all from the method table.
  void Decluster(const toml::table& t, const std::string& p, PrepareJob& job) {
    DeclusterOptions options;
    bool named = false;
    Handlers handlers;
    AddRows(handlers, DeclusterSettings(), options);
    const auto read_method = handlers.at("method");
    const auto method = [&, read_method](const toml::node& n, const std::string& k) {
      if (named) Fail(n, k, "one of 'method' and 'window', not both");
      named = true;
      read_method(n, k);
    };
    handlers["method"] = method;
    handlers["window"] = method;
    Keys(t, p + ".", handlers);
    try {
      Validate(options);
    } catch (const Error& e) {
      Fail(t, p, std::string("parameters that fit together (") + e.what() + ")");
    }
    job.decluster = options;
  }

  void Split(const toml::table& t, const std::string& p, PrepareJob& job) {
    Handlers handlers;
    AddRows(handlers, SplitSettings(), job.split);
    AddRows(handlers, PrepareJobSettings(), job, "split");
    Keys(t, p + ".", handlers);
  }

  // [completeness]: the options of the estimated table, by the library's
  // names, and the folder of the figures.
  void Completeness(const toml::table& t, const std::string& p, PrepareJob& job) {
    Handlers handlers;
    AddRows(handlers, CompletenessSettings(), job.completeness);
    AddRows(handlers, PrepareJobSettings(), job, "completeness");
    Keys(t, p + ".", handlers);
    try {
      job.completeness.Validate();
    } catch (const InvalidOptions& e) {
      throw ReadingError(source_, static_cast<long>(t.source().begin.line), p, e.what());
    }
  }

  // [analysis]: the keys of the settings table that the classic answers can
  // carry, and mmax (a fixed Mmax) and mmax_cap for --analyze; the events
  // are magnitudes (at most 10).
  void Analysis(const toml::table& t, const std::string& p, PrepareJob& job) {
    std::map<std::string, std::function<void(const toml::node&, const std::string&)>> handlers;
    for (const SettingRow& row : AnalysisSettings()) {
      if (!row.prepare_job) continue;
      handlers.emplace(row.key, [&, row = &row](const toml::node& n, const std::string& k) {
        ReadSetting(n, *row, k, source_, job.analysis, Units::Magnitude);
        if (job.analysis.procedure == MmaxProcedure::None) {
          Fail(n, k, "\"cramer\" or \"bayes\" (the classic answers need a procedure)");
        }
      });
    }
    Keys(t, p + ".", handlers);
  }

  void Classic(const toml::table& t, const std::string& p, PrepareJob& job) {
    Handlers handlers;
    AddRows(handlers, PrepareJobSettings(), job, "classic");
    Keys(t, p + ".", handlers);
  }

  const std::string& source_;
  std::filesystem::path base_;
};

void Line(std::string& out, const std::string& label, const std::string& value) {
  constexpr std::size_t kLabelWidth = 48;
  out += "  " + label;
  out.append(label.size() < kLabelWidth ? kLabelWidth - label.size() : 0, ' ');
  out += " " + value + "\n";
}

// The lowest threshold of a completeness table: the catalog's completeness
// magnitude for the declustering methods that use one.
double LowestThreshold(const std::vector<CompletenessStep>& steps) {
  float lowest = steps.front().threshold;
  for (const CompletenessStep& s : steps) lowest = std::min(lowest, s.threshold);
  return lowest;
}

// Per magnitude type: read, converted, left out (and why).
void AppendConversion(std::string& out, const HomogeniseCounts& h) {
  for (const TypeConversionCounts& t : h.types) {
    std::string value = std::to_string(t.read) + " read, " + std::to_string(t.converted) +
                        " converted, " + std::to_string(t.left_out()) + " left out";
    if (t.out_of_range > 0) value += " (outside the relation's range)";
    if (t.unlisted > 0) value += " (no relation)";
    Line(out, "magnitude type " + (t.type.empty() ? std::string("(none)") : t.type), value);
  }
  std::string value = std::to_string(h.converted) + " events";
  if (h.from_other_magnitudes > 0) {
    value += " (" + std::to_string(h.from_other_magnitudes) + " by a further magnitude)";
  }
  Line(out, "converted to " + h.target, value);
  if (h.left_out > 0) Line(out, "left out by the conversion", std::to_string(h.left_out));
}

}  // namespace

PrepareJob ParsePrepareToml(std::string_view text, const std::string& source,
                            const std::filesystem::path& base) {
  return TomlJob(source, base).Parse(text);
}

std::vector<CompletenessStep> ParseCompleteness(std::string_view text, const std::string& what) {
  std::vector<CompletenessStep> steps;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string_view item = Trim(text.substr(at, comma - at));
    const std::size_t colon = item.find(':');
    const auto year =
        colon == std::string_view::npos ? std::nullopt : ParseDouble(item.substr(0, colon));
    const auto mc =
        colon == std::string_view::npos ? std::nullopt : ParseDouble(item.substr(colon + 1));
    if (!year || !mc || *year != std::floor(*year) || std::fabs(*year) > 1e6) {
      throw ReadingError(what, 0, std::string(item),
                         "YEAR:MC pairs separated by commas, e.g. 1900:6,1964:5");
    }
    steps.push_back({static_cast<std::int32_t>(*year), static_cast<float>(*mc)});
    at = comma + 1;
  }
  return steps;
}

DeclusterWindow ParseWindowName(std::string_view name, const std::string& what) {
  return ParseDeclusterMethod(name, what);
}

std::optional<CivilDate> ObservedEnd(const EventTable& events,
                                     const std::optional<CivilDate>& known_end,
                                     const std::optional<CivilDate>& until) {
  std::optional<CivilDate> end = known_end;
  if (!end && !events.empty()) {
    std::size_t last = 0;
    for (std::size_t i = 1; i < events.size(); ++i) {
      if (events.days(i) > events.days(last)) last = i;
    }
    end = CompletedDate(events.date(last));
  }
  if (end && until) {
    const CivilDate before = PreviousDay(FirstDayOf(*until));
    if (DayNumber(before) < DayNumber(*end)) end = before;
  }
  return end;
}

namespace {

// No event passed the selection: the count after each filter, and the
// filter that left none.
[[noreturn]] void RefuseEmptySelection(const EventTable& events, const Selection& selection,
                                       const PrepareReport& report) {
  if (events.empty()) {
    throw CatalogError(report.read.source + ": the catalog holds no events (" +
                       std::to_string(report.read.rows_read) + " rows read, " +
                       std::to_string(report.read.skipped_total()) + " skipped)");
  }
  const SelectionCounts& c = report.selection;
  const std::pair<const char*, std::size_t> filters[] = {
      {"the time window", c.outside_time},
      {"the magnitude range", c.outside_magnitude},
      {"the magnitude types", c.other_magnitude_type},
      {"the depth range", c.outside_depth},
      {"the zone", c.outside_zone}};
  std::size_t left = events.size();
  std::string counts = std::to_string(left) + " events read";
  const char* culprit = "the selection";
  for (const auto& [name, out] : filters) {
    if (out == 0) continue;
    left -= out;
    counts += ", " + std::to_string(left) + " in " + name;
    if (left == 0) {
      culprit = name;
      break;
    }
  }
  std::string hint;
  if (selection.zone && culprit == std::string("the zone")) {
    std::size_t swapped = 0;
    for (std::size_t i = 0; i < events.size(); ++i) {
      swapped += selection.zone->Contains(events.latitude[i], events.longitude[i]);
    }
    if (swapped > 0) {
      hint = "; " + std::to_string(swapped) +
             " events would lie in the zone with longitude and latitude exchanged: the zone's "
             "points are longitude first, then latitude";
    }
  }
  throw CatalogError("the selection leaves no events: " + std::string(culprit) + " left none (" +
                     counts + ")" + hint);
}

}  // namespace

std::vector<std::pair<std::string, std::size_t>> MagnitudeTypesOfParts(
    const PrepareReport& report) {
  const EventTable& e = report.events;
  std::vector<std::size_t> count(e.magnitude_types.size(), 0);
  for (const auto& rows : report.split.complete_rows) {
    for (std::size_t i : rows) ++count[e.magnitude_type[i]];
  }
  for (std::size_t i : report.split.extreme_rows) ++count[e.magnitude_type[i]];
  std::vector<std::pair<std::string, std::size_t>> types;
  for (std::size_t t = 0; t < count.size(); ++t) types.emplace_back(e.magnitude_types[t], count[t]);
  return types;
}

std::vector<InputWarning> CheckPrepared(const PrepareReport& report, const PrepareJob& job,
                                        const AnalysisResult* analysis) {
  InputCheckData data;
  data.catalog = &report.split.catalog;
  std::vector<std::pair<std::int32_t, float>> steps;
  for (const CompletenessStep& step : job.split.completeness) {
    steps.emplace_back(step.year, step.threshold);
  }
  data.completeness = steps;
  data.magnitude_types = MagnitudeTypesOfParts(report);
  data.extreme_windows = report.split.extreme_window_count;
  data.empty_extreme_windows = report.split.empty_windows;
  data.analysis = analysis;
  data.weichert = report.weichert ? &*report.weichert : nullptr;
  return CheckInputs(data);
}

AnalysisOptions PrepareAnalysisOptions(const PrepareReport& report, const PrepareJob& job) {
  AnalysisOptions options;
  job.analysis.ApplyTo(options);
  options.mmin = report.mmin;
  return options;
}

ClassicSession ClassicSessionOf(const PrepareReport& report, const PrepareJob& job) {
  const AnalysisOptions options = PrepareAnalysisOptions(report, job);
  ClassicSession session = job.session;
  session.mmin = options.mmin;
  session.sig_xmax = options.sig_xmax;
  session.procedure = static_cast<int>(options.procedure);
  session.prior_b = options.prior_b;
  session.prior_b_sd = options.prior_b_sd;
  return session;
}

std::string FormatChecks(const PrepareReport& report, const std::vector<InputWarning>& warnings,
                         const AnalysisResult* analysis) {
  std::string out;
  if (report.weichert) {
    const WeichertResult& w = *report.weichert;
    Line(out, "Weichert (1980), bins of 0.1 from " + FixedText(w.lowest_edge, 2),
         "b = " + FixedText(w.b, 3) + " +- " + FixedText(w.sd_b, 3) + ", " + FixedText(w.rate, 3) +
             " +- " + FixedText(w.sd_rate, 3) + " a year at or above Mmin (" +
             std::to_string(w.events) + " events)");
    if (analysis) {
      Line(out, "engine beside it",
           "b = " + FixedText(analysis->uncertainties.b, 3) + " +- " +
               FixedText(analysis->uncertainties.sd_b, 3) + ", " + FixedText(analysis->lambda, 3) +
               " +- " + FixedText(analysis->uncertainties.sd_lambda, 3) + " a year");
    }
  } else if (!report.weichert_note.empty()) {
    Line(out, "Weichert (1980)", "none: " + report.weichert_note);
  }
  for (const InputWarning& w : warnings) out += "  warning: " + w.text + "\n";
  return out;
}

PrepareReport RunPrepare(const PrepareJob& job) {
  return RunPrepare(job, ReadEventFile(job.catalog, job.read, job.format));
}

namespace {

// The events read, converted to the job's magnitude type.
void HomogeniseEvents(const PrepareJob& job, EventTable& events, PrepareReport& report) {
  HomogeniseOptions options = *job.homogenise;
  if (!options.default_sd) options.default_sd = job.read.default_sd;
  HomogeniseResult converted = Homogenise(events, options);
  events = std::move(converted.events);
  report.homogenised = std::move(converted.counts);
}

// The mainshocks of the selected events become the report's events.
void DeclusterEvents(const PrepareJob& job, const SplitOptions& split, const EventTable& selected,
                     PrepareReport& report) {
  DeclusterOptions options = *job.decluster;
  if (!options.completeness_magnitude && !split.completeness.empty()) {
    options.completeness_magnitude = LowestThreshold(split.completeness);
  }
  const DeclusterResult clusters = Decluster(selected, options);
  report.mainshocks = clusters.mainshocks.size();
  report.removed_by_declustering = clusters.removed_total();
  for (std::size_t r : clusters.removed) {
    report.largest_cluster = std::max(report.largest_cluster, r);
  }
  report.events = selected.Subset(clusters.mainshocks);
}

// The completeness table estimated from the events, and its figures.
void EstimateTable(const PrepareJob& job, SplitOptions& split, PrepareReport& report) {
  report.completeness = EstimateCompleteness(report.events, job.completeness, split.end);
  split.completeness = report.completeness->table;
  if (!job.completeness_figures.empty()) {
    report.completeness_figures =
        WriteCompletenessFigures(report.events, *report.completeness, job.completeness_figures);
  }
}

// The complete parts checked against Mmin and Weichert's estimate beside them.
void CheckCompleteParts(PrepareReport& report) {
  if (report.split.catalog.complete.empty()) return;
  // The analysis refuses an Mmin above a threshold: so does the job, before
  // any file is written.
  AnalysisOptions options;
  options.mmin = report.mmin;
  options.data_kind = DataKind::Complete;
  Resolve(report.split.catalog, options);
  try {
    report.weichert = Weichert(report.split.catalog, {report.mmin});
  } catch (const NoEstimate& e) {
    report.weichert_note = e.reason();
  }
}

void WriteClassic(const PrepareJob& job, PrepareReport& report) {
  ClassicFilesOptions options;
  options.directory = *job.classic_directory;
  options.prefix = job.classic_prefix;
  options.session = ClassicSessionOf(report, job);
  options.inputs.emplace_back(job.catalog);
  if (!job.zone_file.empty()) options.inputs.emplace_back(job.zone_file);
  if (!job.job_file.empty()) options.inputs.emplace_back(job.job_file);
  report.classic = WriteClassicFiles(report.split, options);
}

}  // namespace

PrepareReport RunPrepare(const PrepareJob& job, ReadResult read) {
  PrepareReport report;
  report.read = std::move(read.summary);
  report.events_read = read.events.size();

  // The catalog ends with its last event as read, not with the last event the
  // selection keeps: the years after the last selected event are observed too.
  SplitOptions split = job.split;
  if (!split.end) split.end = ObservedEnd(read.events, std::nullopt, job.selection.until);

  if (job.homogenise) HomogeniseEvents(job, read.events, report);

  const std::vector<std::size_t> kept = Select(read.events, job.selection, report.selection);
  if (kept.empty()) RefuseEmptySelection(read.events, job.selection, report);
  if (job.selection.from) split.start = job.selection.from;
  EventTable selected =
      kept.size() == read.events.size() ? std::move(read.events) : read.events.Subset(kept);
  read.events = EventTable{};

  if (job.decluster) {
    DeclusterEvents(job, split, selected, report);
  } else {
    report.events = std::move(selected);
  }

  if (job.completeness_auto) EstimateTable(job, split, report);
  report.split = Split(report.events, split);
  const float lowest = LowestLevel(report.split.catalog);
  report.mmin = job.analysis.mmin.value_or(lowest - kDefaultMminStep);
  CheckCompleteParts(report);
  report.warnings = CheckPrepared(report, job);
  if (job.strict) RefuseWarnings(report.warnings);

  if (job.classic_directory) WriteClassic(job, report);
  return report;
}

namespace {

// The extreme windows as built: their count and, where empty windows were
// merged, each built window that joins more than one.
void ExtremeWindowLines(std::string& out, const SplitResult& split) {
  if (split.extreme_window_count == 0) return;
  Line(out, "extreme windows",
       std::to_string(split.extreme_window_count) + ", " + std::to_string(split.empty_windows) +
           " empty" + (split.empty_windows > 0 ? " (merged into the next)" : ""));
  for (const ExtremeWindow& w : split.extreme_windows) {
    if (w.windows < 2) continue;
    Line(out, "  window " + FormatDate(w.first_day) + " to " + FormatDate(w.last_day),
         std::to_string(w.windows) + " windows, largest event " +
             FormatDate(
                 split.extreme_dates[static_cast<std::size_t>(&w - split.extreme_windows.data())]));
  }
}

// What the reading gave: rows, skipped rows, notes and events.
void ReadingLines(std::string& out, const ReadSummary& read, std::size_t events_read) {
  static const char* kFormats[] = {"CSV", "ZMAP", "QuakeML"};
  out += read.source + " (" + kFormats[static_cast<int>(read.format)] + ")\n";
  Line(out, "rows read", std::to_string(read.rows_read));
  for (const ReadSummary::Skipped& s : read.skipped) {
    Line(out, "skipped, " + s.reason, std::to_string(s.count));
  }
  if (read.sd_defaulted > 0) Line(out, "magnitude SD defaulted", std::to_string(read.sd_defaulted));
  for (const std::string& note : read.notes) Line(out, "note", note);
  Line(out, "events read", std::to_string(events_read));
}

// The events each filter of the selection left out.
void SelectionLines(std::string& out, const SelectionCounts& c) {
  const std::pair<const char*, std::size_t> left_out[] = {
      {"outside the time window", c.outside_time},
      {"outside the magnitude range", c.outside_magnitude},
      {"of other magnitude types", c.other_magnitude_type},
      {"outside the depth range", c.outside_depth},
      {"outside the zone", c.outside_zone}};
  for (const auto& [label, count] : left_out) {
    if (count > 0) Line(out, label, std::to_string(count));
  }
}

// The extreme part, the complete parts and the events in none of them.
void PartLines(std::string& out, const SplitResult& split) {
  if (split.extreme_period) {
    Line(out,
         "extreme part " + FormatDate(split.extreme_period->first_day) + " to " +
             FormatDate(split.extreme_period->last_day),
         std::to_string(split.extreme_rows.size()) + " events");
    ExtremeWindowLines(out, split);
  }
  for (std::size_t k = 0; k < split.complete_periods.size(); ++k) {
    const PartPeriod& p = split.complete_periods[k];
    Line(out,
         "complete part " + std::to_string(k + 1) + " " + FormatDate(p.first_day) + " to " +
             FormatDate(p.last_day) + ", Mc " + FixedText(split.catalog.complete[k].threshold, 2),
         std::to_string(split.complete_rows[k].size()) + " events, mean SD " +
             FixedText(split.catalog.complete[k].sd, 3));
  }
  if (split.below_threshold > 0) {
    Line(out, "below the threshold of their period", std::to_string(split.below_threshold));
  }
  if (split.outside_parts > 0) Line(out, "in no period", std::to_string(split.outside_parts));
}

// The largest of the events (the first of equals), when there are any.
void LargestEventLine(std::string& out, const EventTable& e) {
  if (e.empty()) return;
  std::size_t largest = 0;
  for (std::size_t i = 1; i < e.size(); ++i) {
    if (e.magnitude[i] > e.magnitude[largest]) largest = i;
  }
  std::string text = "M " + FixedText(e.magnitude[largest], 2);
  if (!e.type_name(largest).empty()) text += " " + e.type_name(largest);
  text += " on " + FormatDate(e.date(largest)) + " at " + FixedText(e.latitude[largest], 3) + ", " +
          FixedText(e.longitude[largest], 3);
  if (!e.id(largest).empty()) text += " (" + std::string(e.id(largest)) + ")";
  Line(out, "largest event", text);
}

}  // namespace

std::string FormatPrepareSummary(const PrepareReport& report) {
  std::string out;
  ReadingLines(out, report.read, report.events_read);
  if (report.homogenised) AppendConversion(out, *report.homogenised);
  SelectionLines(out, report.selection);
  if (report.mainshocks > 0 || report.removed_by_declustering > 0) {
    Line(out, "removed by declustering",
         std::to_string(report.removed_by_declustering) + " (by " +
             std::to_string(report.mainshocks) + " mainshocks, at most " +
             std::to_string(report.largest_cluster) + " by one)");
  }
  Line(out, "events for the parts", std::to_string(report.events.size()));
  if (report.completeness) out += FormatCompletenessReport(*report.completeness);
  for (const std::string& figure : report.completeness_figures) Line(out, "written", figure);
  PartLines(out, report.split);
  LargestEventLine(out, report.events);
  Line(out, "Mmin", FixedText(report.mmin, 2));
  if (report.classic) {
    for (const std::filesystem::path& path : report.classic->written) {
      Line(out, "written", path.string());
    }
  }
  return out;
}

}  // namespace qev
