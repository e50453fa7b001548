// The prepare job: its TOML form, the pipeline and the printed summary.
#include "qev/prepare.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "events/reading.h"
#include "textio/number_text.h"

namespace qev {

using events_detail::Lower;
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

  double Number(const toml::node& node, const std::string& key) const {
    if (auto value = node.value<double>(); value && std::isfinite(*value)) return *value;
    Fail(node, key, "a finite number");
  }
  std::string Text(const toml::node& node, const std::string& key) const {
    if (auto value = node.value<std::string>()) return *value;
    Fail(node, key, "a text in quotes");
  }
  bool Flag(const toml::node& node, const std::string& key) const {
    if (auto value = node.value<bool>()) return *value;
    Fail(node, key, "true or false");
  }
  CivilDate Date(const toml::node& node, const std::string& key) const {
    if (auto value = node.value<std::string>()) return ParseDate(*value, source_ + ", " + key);
    // A year as a whole number (a float node is not one: toml++ would cast it).
    if (node.is_integer()) {
      return ParseDate(std::to_string(*node.value<std::int64_t>()), source_ + ", " + key);
    }
    Fail(node, key, "a date \"YYYY-MM-DD\" or a year");
  }
  std::string Path(const toml::node& node, const std::string& key) const {
    const std::filesystem::path path = Text(node, key);
    return (path.is_absolute() ? path : base_ / path).string();
  }
  const toml::table& Table(const toml::node& node, const std::string& key) const {
    if (const toml::table* t = node.as_table()) return *t;
    Fail(node, key, "a table");
  }

  // Calls the handler of each key; an unknown key is an error.
  void Keys(const toml::table& table, const std::string& prefix,
            const std::map<std::string, std::function<void(const toml::node&, const std::string&)>>&
                handlers) const {
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
    Keys(root, "",
         {{"catalog", [&](const toml::node& n, const std::string& k) { job.catalog = Path(n, k); }},
          {"format",
           [&](const toml::node& n, const std::string& k) {
             const std::string name = Lower(Text(n, k));
             if (name == "csv") {
               job.format = EventFormat::Csv;
             } else if (name == "zmap") {
               job.format = EventFormat::Zmap;
             } else if (name == "quakeml") {
               job.format = EventFormat::QuakeMl;
             } else {
               Fail(n, k, "csv, zmap or quakeml");
             }
           }},
          {"read", [&](const toml::node& n, const std::string& k) { Read(Table(n, k), k, job); }},
          {"select",
           [&](const toml::node& n, const std::string& k) { Select(Table(n, k), k, job); }},
          {"decluster",
           [&](const toml::node& n, const std::string& k) { Decluster(Table(n, k), k, job); }},
          {"split", [&](const toml::node& n, const std::string& k) { Split(Table(n, k), k, job); }},
          {"analysis",
           [&](const toml::node& n, const std::string& k) { Analysis(Table(n, k), k, job); }},
          {"classic",
           [&](const toml::node& n, const std::string& k) { Classic(Table(n, k), k, job); }}});
    return job;
  }

 private:
  void Read(const toml::table& t, const std::string& p, PrepareJob& job) {
    Keys(t, p + ".",
         {{"default_sd",
           [&](const toml::node& n, const std::string& k) {
             const double sd = Number(n, k);
             if (sd < 0.0) Fail(n, k, "an SD of 0 or more");
             job.read.default_sd = static_cast<float>(sd);
           }},
          {"skip_bad_rows",
           [&](const toml::node& n, const std::string& k) { job.read.skip_bad_rows = Flag(n, k); }},
          {"columns", [&](const toml::node& n, const std::string& k) {
             for (auto&& [role, name] : Table(n, k)) {
               job.read.columns[std::string(role.str())] =
                   Text(name, k + "." + std::string(role.str()));
             }
           }}});
  }

  void Select(const toml::table& t, const std::string& p, PrepareJob& job) {
    Selection& s = job.selection;
    auto number = [&](std::optional<float>& target) {
      return [&](const toml::node& n, const std::string& k) {
        target = static_cast<float>(Number(n, k));
      };
    };
    Keys(t, p + ".",
         {{"from", [&](const toml::node& n, const std::string& k) { s.from = Date(n, k); }},
          {"until", [&](const toml::node& n, const std::string& k) { s.until = Date(n, k); }},
          {"min_magnitude", number(s.min_magnitude)},
          {"max_magnitude", number(s.max_magnitude)},
          {"min_depth", number(s.min_depth)},
          {"max_depth", number(s.max_depth)},
          {"magnitude_types",
           [&](const toml::node& n, const std::string& k) {
             const toml::array* types = n.as_array();
             if (types == nullptr) Fail(n, k, "an array of texts");
             for (const toml::node& type : *types) s.magnitude_types.push_back(Text(type, k));
           }},
          {"zone",
           [&](const toml::node& n, const std::string& k) {
             job.zone_file = Path(n, k);
             s.zone = ReadZoneFile(job.zone_file);
           }},
          {"zone_wkt", [&](const toml::node& n, const std::string& k) {
             s.zone = ZoneFromWkt(Text(n, k), source_ + ", " + k);
           }}});
  }

  void Decluster(const toml::table& t, const std::string& p, PrepareJob& job) {
    DeclusterOptions options;
    Keys(t, p + ".",
         {{"window",
           [&](const toml::node& n, const std::string& k) {
             options.window = ParseWindowName(Text(n, k), source_ + ", " + k);
           }},
          {"foreshock_fraction", [&](const toml::node& n, const std::string& k) {
             options.foreshock_fraction = Number(n, k);
             if (options.foreshock_fraction < 0.0 || options.foreshock_fraction > 1.0) {
               Fail(n, k, "a fraction from 0 to 1");
             }
           }}});
    job.decluster = options;
  }

  void Split(const toml::table& t, const std::string& p, PrepareJob& job) {
    SplitOptions& s = job.split;
    Keys(t, p + ".",
         {{"completeness",
           [&](const toml::node& n, const std::string& k) {
             const toml::array* steps = n.as_array();
             if (steps == nullptr) Fail(n, k, "an array of [year, Mc] pairs");
             for (const toml::node& step : *steps) {
               const toml::array* pair = step.as_array();
               if (pair == nullptr || pair->size() != 2) Fail(step, k, "a pair [year, Mc]");
               const double year = Number(*pair->get(0), k);
               if (year != std::floor(year) || std::fabs(year) > 1e6) {
                 Fail(*pair->get(0), k, "a whole year");
               }
               s.completeness.push_back(
                   {static_cast<std::int32_t>(year), static_cast<float>(Number(*pair->get(1), k))});
             }
           }},
          {"end", [&](const toml::node& n, const std::string& k) { s.end = Date(n, k); }},
          {"extreme_window",
           [&](const toml::node& n, const std::string& k) {
             const auto years = n.is_integer() ? n.value<std::int64_t>() : std::nullopt;
             if (!years || *years < 1 || *years > 100000)
               Fail(n, k, "a whole number of years, 1 or more");
             s.extreme_window_years = static_cast<std::int32_t>(*years);
           }},
          {"extreme_from",
           [&](const toml::node& n, const std::string& k) { s.extreme_from = Date(n, k); }},
          {"extreme_to",
           [&](const toml::node& n, const std::string& k) { s.extreme_to = Date(n, k); }}});
  }

  void Analysis(const toml::table& t, const std::string& p, PrepareJob& job) {
    ClassicSession& s = job.session;
    Keys(
        t, p + ".",
        {{"mmin", [&](const toml::node& n,
                      const std::string& k) { job.mmin = static_cast<float>(Number(n, k)); }},
         {"sig_xmax", [&](const toml::node& n,
                          const std::string& k) { s.sig_xmax = static_cast<float>(Number(n, k)); }},
         {"procedure",
          [&](const toml::node& n, const std::string& k) {
            const std::string name = Lower(Text(n, k));
            if (name == "cramer") {
              s.procedure = 1;
            } else if (name == "bayes") {
              s.procedure = 2;
            } else {
              Fail(n, k, "cramer or bayes");
            }
          }},
         {"prior_b", [&](const toml::node& n,
                         const std::string& k) { s.prior_b = static_cast<float>(Number(n, k)); }},
         {"prior_b_sd", [&](const toml::node& n, const std::string& k) {
            s.prior_b_sd = static_cast<float>(Number(n, k));
          }}});
  }

  void Classic(const toml::table& t, const std::string& p, PrepareJob& job) {
    Keys(t, p + ".",
         {{"directory",
           [&](const toml::node& n, const std::string& k) { job.classic_directory = Path(n, k); }},
          {"prefix",
           [&](const toml::node& n, const std::string& k) { job.classic_prefix = Text(n, k); }},
          {"report", [&](const toml::node& n,
                         const std::string& k) { job.session.report_name = Text(n, k); }},
          {"spans", [&](const toml::node& n, const std::string& k) {
             const toml::array* spans = n.as_array();
             if (spans == nullptr || spans->size() != 3) Fail(n, k, "three spans in years");
             for (std::size_t i = 0; i < 3; ++i) {
               job.session.spans[i] = static_cast<float>(Number(*spans->get(i), k));
             }
           }}});
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
  const std::string n = Lower(Trim(name));
  if (n == "gk" || n == "gardner-knopoff") return DeclusterWindow::GardnerKnopoff1974;
  if (n == "uhrhammer") return DeclusterWindow::Uhrhammer1986;
  if (n == "gruenthal") return DeclusterWindow::Gruenthal;
  throw ReadingError(what, 0, std::string(name), "a window table: gk, uhrhammer or gruenthal");
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

PrepareReport RunPrepare(const PrepareJob& job) {
  return RunPrepare(job, ReadEventFile(job.catalog, job.read, job.format));
}

PrepareReport RunPrepare(const PrepareJob& job, ReadResult read) {
  PrepareReport report;
  report.read = std::move(read.summary);
  report.events_read = read.events.size();

  // The catalog ends with its last event as read, not with the last event the
  // selection keeps: the years after the last selected event are observed too.
  SplitOptions split = job.split;
  if (!split.end) split.end = ObservedEnd(read.events, std::nullopt, job.selection.until);

  const std::vector<std::size_t> kept = Select(read.events, job.selection, report.selection);
  EventTable selected =
      kept.size() == read.events.size() ? std::move(read.events) : read.events.Subset(kept);
  read.events = EventTable{};

  if (job.decluster) {
    const DeclusterResult clusters = Decluster(selected, *job.decluster);
    report.mainshocks = clusters.mainshocks.size();
    report.removed_by_declustering = clusters.removed_total();
    for (std::size_t r : clusters.removed)
      report.largest_cluster = std::max(report.largest_cluster, r);
    report.events = selected.Subset(clusters.mainshocks);
  } else {
    report.events = std::move(selected);
  }

  report.split = Split(report.events, split);
  const float lowest = LowestLevel(report.split.catalog);
  report.mmin = job.mmin ? *job.mmin : lowest - kDefaultMminStep;

  if (job.classic_directory) {
    ClassicFilesOptions options;
    options.directory = *job.classic_directory;
    options.prefix = job.classic_prefix;
    options.session = job.session;
    options.session.mmin = report.mmin;
    options.inputs.emplace_back(job.catalog);
    if (!job.zone_file.empty()) options.inputs.emplace_back(job.zone_file);
    if (!job.job_file.empty()) options.inputs.emplace_back(job.job_file);
    report.classic = WriteClassicFiles(report.split, options);
  }
  return report;
}

std::string FormatPrepareSummary(const PrepareReport& report) {
  static const char* kFormats[] = {"CSV", "ZMAP", "QuakeML"};
  std::string out =
      report.read.source + " (" + kFormats[static_cast<int>(report.read.format)] + ")\n";
  Line(out, "rows read", std::to_string(report.read.rows_read));
  for (const ReadSummary::Skipped& s : report.read.skipped) {
    Line(out, "skipped, " + s.reason, std::to_string(s.count));
  }
  if (report.read.sd_defaulted > 0) {
    Line(out, "magnitude SD defaulted", std::to_string(report.read.sd_defaulted));
  }
  Line(out, "events read", std::to_string(report.events_read));
  const SelectionCounts& c = report.selection;
  const std::pair<const char*, std::size_t> left_out[] = {
      {"outside the time window", c.outside_time},
      {"outside the magnitude range", c.outside_magnitude},
      {"of other magnitude types", c.other_magnitude_type},
      {"outside the depth range", c.outside_depth},
      {"outside the zone", c.outside_zone}};
  for (const auto& [label, count] : left_out) {
    if (count > 0) Line(out, label, std::to_string(count));
  }
  if (report.mainshocks > 0 || report.removed_by_declustering > 0) {
    Line(out, "removed by declustering",
         std::to_string(report.removed_by_declustering) + " (by " +
             std::to_string(report.mainshocks) + " mainshocks, at most " +
             std::to_string(report.largest_cluster) + " by one)");
  }
  Line(out, "events for the parts", std::to_string(report.events.size()));
  const SplitResult& split = report.split;
  if (split.extreme_period) {
    Line(out,
         "extreme part " + FormatDate(split.extreme_period->first_day) + " to " +
             FormatDate(split.extreme_period->last_day),
         std::to_string(split.extreme_rows.size()) + " events");
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
  if (!report.events.empty()) {
    std::size_t largest = 0;
    for (std::size_t i = 1; i < report.events.size(); ++i) {
      if (report.events.magnitude[i] > report.events.magnitude[largest]) largest = i;
    }
    const EventTable& e = report.events;
    std::string text = "M " + FixedText(e.magnitude[largest], 2);
    if (!e.type_name(largest).empty()) text += " " + e.type_name(largest);
    text += " on " + FormatDate(e.date(largest)) + " at " + FixedText(e.latitude[largest], 3) +
            ", " + FixedText(e.longitude[largest], 3);
    if (!e.id(largest).empty()) text += " (" + std::string(e.id(largest)) + ")";
    Line(out, "largest event", text);
  }
  Line(out, "Mmin", FixedText(report.mmin, 2));
  if (report.classic) {
    for (const std::filesystem::path& path : report.classic->written) {
      Line(out, "written", path.string());
    }
  }
  return out;
}

}  // namespace qev
