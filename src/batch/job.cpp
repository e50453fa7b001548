// The job file: TOML read with toml++, every key checked against the keys of
// its table, every value against its type and range.
#include <toml++/toml.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "events/settings_toml.h"
#include "qev/batch.h"
#include "qev/batch_settings.h"
#include "textio/files.h"

namespace qev {

void SettingsLayer::Overlay(const SettingsLayer& above) {
  AnalysisLayer::Overlay(above);
  if (above.completeness) completeness = above.completeness;
  if (above.decluster) decluster = above.decluster;
}

void SourceSettings::Overlay(const SourceSettings& above) {
  auto take = [](auto& mine, const auto& theirs) {
    if (theirs) mine = theirs;
  };
  take(tectonic_region, above.tectonic_region);
  take(upper_depth, above.upper_depth);
  take(lower_depth, above.lower_depth);
  take(mag_scale_rel, above.mag_scale_rel);
  take(rupt_aspect_ratio, above.rupt_aspect_ratio);
  take(nodal_planes, above.nodal_planes);
  if (above.hypo_depths || above.hypo_depth_bin) {
    hypo_depths = above.hypo_depths;
    hypo_depth_bin = above.hypo_depth_bin;
  }
  take(location, above.location);
}

namespace {

// Above 2^53 a seed is read as the whole number it is (SeedOf), not as a double.
constexpr double kLargestSeed = 9223372036854775807.0;
constexpr double kLeastCalibrated = 20;  // simulated catalogs of calibrated intervals

// A row leaves out the members that keep their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<OptionsRow<BatchJob>> MakeBatchRows() {
  OptionsRow<BatchJob> output;
  static_cast<SettingTerms&>(output) = {
      .key = "output",
      .type = SettingType::Text,
      .default_text = "\"<job name>-results\" beside the job file",
      .description = "the output folder, relative to the job file (--output overrides)",
      .expected = "a folder name"};
  output.set = [](BatchJob& job, const SettingValue& v) {
    const std::string& folder = std::get<std::string>(v);
    if (folder.empty()) throw InvalidSetting("output", ShownValue(v), "a folder name");
    job.output = folder;
  };
  output.get = [](const BatchJob& job) { return SettingValue(job.output.string()); };
  return {
      output,
      MemberRow<&BatchJob::seed>({.key = "seed",
                                  .type = SettingType::Whole,
                                  .high = kLargestSeed,
                                  .default_text = "1",
                                  .description = "the master seed of the bootstrap",
                                  .expected = "a whole number from 0 to 9223372036854775807"}),
      MemberRow<&BatchJob::replicates>({.key = "replicates",
                                        .type = SettingType::Whole,
                                        .high = 1000000,
                                        .default_text = "0",
                                        .description = "bootstrap resamples per zone and branch"}),
      MemberRow<&BatchJob::calibrated_intervals>(
          {.key = "calibrated_intervals",
           .type = SettingType::Whole,
           .high = 100000,
           .default_text = "0: none",
           .description = "simulated catalogs of the parametric-bootstrap intervals of each zone "
                          "and branch (calibrated.csv)",
           .accepts = [](double n) { return n == 0 || n >= kLeastCalibrated; },
           .expected = "a whole number, 0 (none) or at least 20 simulated catalogs, at most "
                       "100000"}),
      MemberRow<&BatchJob::calibrated_method>(
          {.key = "calibrated_method",
           .type = SettingType::Choice,
           .names = "inverted|studentized|basic",
           .codes = {static_cast<int>(BootstrapMethod::Inverted),
                     static_cast<int>(BootstrapMethod::Studentized),
                     static_cast<int>(BootstrapMethod::Basic)},
           .default_text = "inverted",
           .description = "how the calibrated intervals are built (docs/method.md, section 12)",
           .expected = "\"inverted\", \"studentized\" or \"basic\""}),
      MemberRow<&BatchJob::strict>(
          {.key = "strict",
           .type = SettingType::Flag,
           .default_text = "false",
           .description = "a task whose input checks warn fails (status input-warning)"}),
  };
}
#pragma GCC diagnostic pop

using Handler = std::function<void(const toml::node&, const std::string&)>;
using Handlers = std::vector<std::pair<std::string, Handler>>;

// What a node holds, for messages: the value of a scalar, the kind otherwise.
std::string Shown(const toml::node& node) {
  if (auto s = node.value_exact<std::string>()) {
    std::string text;
    for (char c : s->substr(0, 40)) {
      text +=
          (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7e) ? '?' : c;
    }
    return "\"" + text + "\"";
  }
  if (auto i = node.value_exact<std::int64_t>()) return std::to_string(*i);
  if (auto d = node.value_exact<double>()) {
    char text[40];
    std::snprintf(text, sizeof text, "%g", *d);
    return text;
  }
  if (auto b = node.value_exact<bool>()) return *b ? "true" : "false";
  if (node.is_array()) return "an array";
  if (node.is_table()) return "a table";
  return "a date or time";
}

class JobReader {
 public:
  explicit JobReader(std::string source) : source_(std::move(source)) {}

  [[noreturn]] void Fail(long line, const std::string& text, const std::string& key,
                         const std::string& expected) const {
    throw ReadingError(source_, line, text, (key.empty() ? "" : "for '" + key + "' ") + expected);
  }
  [[noreturn]] void Fail(const toml::node& node, const std::string& key,
                         const std::string& expected) const {
    Fail(Line(node), Shown(node), key, expected);
  }
  static long Line(const toml::node& node) { return static_cast<long>(node.source().begin.line); }

  double Number(const toml::node& node, const std::string& key) const {
    if (!node.is_number()) Fail(node, key, "a number");
    const double value = *node.value<double>();
    if (!std::isfinite(value) || std::fabs(value) > 1e30) Fail(node, key, "a finite number");
    return value;
  }
  double Double(const toml::node& node, const std::string& key, double low, double high,
                const std::string& range) const {
    const double value = Number(node, key);
    if (value < low || value > high) Fail(node, key, range);
    return value;
  }
  float Real(const toml::node& node, const std::string& key, double low, double high,
             const std::string& range) const {
    const double value = Number(node, key);
    if (value < low || value > high) Fail(node, key, range);
    return static_cast<float>(value);
  }
  std::int64_t Whole(const toml::node& node, const std::string& key, std::int64_t low,
                     std::int64_t high) const {
    const auto value = node.value_exact<std::int64_t>();
    if (!value || *value < low || *value > high) {
      Fail(node, key, "a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return *value;
  }
  std::string Text(const toml::node& node, const std::string& key) const {
    if (auto value = node.value_exact<std::string>()) return *value;
    Fail(node, key, "a text in quotes");
  }
  // A name used in outputs and seeds: printable, no separators of the
  // branch names or of CSV.
  std::string Name(const toml::node& node, const std::string& key) const {
    std::string name = Text(node, key);
    bool good = !name.empty() && name.size() <= 64;
    for (char c : name) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 0x21 || u > 0x7e || c == ';' || c == '=' || c == ',' || c == '"' || c == '/' ||
          c == '\\') {
        good = false;
      }
    }
    if (!good) {
      Fail(node, key, "a name of 1 to 64 printable characters without blanks, ; = , \" / or \\");
    }
    return name;
  }
  const toml::table& Table(const toml::node& node, const std::string& key) const {
    if (const toml::table* t = node.as_table()) return *t;
    Fail(node, key, "a table");
  }
  const toml::array& Array(const toml::node& node, const std::string& key,
                           const std::string& of) const {
    if (const toml::array* a = node.as_array()) return *a;
    Fail(node, key, "an array of " + of);
  }
  std::string Choice(const toml::node& node, const std::string& key,
                     const std::vector<std::string>& names) const {
    std::string value = Text(node, key);
    std::string known;
    for (const std::string& n : names) {
      if (n == value) return value;
      known += (known.empty() ? "" : ", ") + n;
    }
    Fail(node, key, "one of " + known);
  }

  // Calls the handler of each key; an unknown key is refused.
  void Keys(const toml::table& table, const std::string& prefix, const Handlers& handlers) const {
    for (auto&& [key, node] : table) {
      const std::string name(key.str());
      const Handler* handler = nullptr;
      for (const auto& [k, h] : handlers) {
        if (k == name) handler = &h;
      }
      if (handler == nullptr) {
        std::string known;
        for (const auto& [k, h] : handlers) known += (known.empty() ? "" : ", ") + k;
        Fail(static_cast<long>(key.source().begin.line), "\"" + prefix + name + "\"", "",
             "one of the keys " + known + (prefix.empty() ? "" : " in " + prefix));
      }
      (*handler)(node, prefix + name);
    }
  }
  // A key that must be present.
  const toml::node& Required(const toml::table& table, const std::string& key,
                             const std::string& where, long line) const {
    const toml::node* node = table.get(key);
    if (node == nullptr) Fail(line, where, "", "the key '" + key + "'");
    return *node;
  }

  // A completeness table: [[year, Mc], ...], the text "YEAR:MC,YEAR:MC", or
  // "auto" (an empty table: estimated from the zone's events).
  std::vector<CompletenessStep> Completeness(const toml::node& node, const std::string& key) const {
    if (const auto text = node.value_exact<std::string>()) {
      std::string lower = *text;
      for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (lower == "auto") return {};
      std::vector<CompletenessStep> table;
      try {
        table = ParseCompleteness(*text, key);
      } catch (const ReadingError&) {
        Fail(node, key,
             "YEAR:MC pairs separated by commas, e.g. \"1964:5.5,1990:5.0\", or \"auto\"");
      }
      for (std::size_t i = 0; i < table.size(); ++i) {
        if (!(table[i].threshold >= -10.0f && table[i].threshold <= 100.0f)) {
          Fail(node, key, "thresholds Mc from -10 to 100");
        }
        if (i > 0 && table[i].year <= table[i - 1].year) Fail(node, key, "years increasing");
      }
      return table;
    }
    const toml::array& steps = Array(node, key, "[year, Mc] pairs");
    if (steps.empty()) Fail(node, key, "at least one [year, Mc] pair");
    std::vector<CompletenessStep> table;
    for (const toml::node& step : steps) {
      const toml::array* pair = step.as_array();
      if (pair == nullptr || pair->size() != 2) Fail(step, key, "a pair [year, Mc]");
      const auto year = Whole(*pair->get(0), key, -100000, 100000);
      const float mc = Real(*pair->get(1), key, -10.0, 100.0, "a threshold Mc");
      if (!table.empty() && year <= table.back().year) Fail(step, key, "years increasing");
      table.push_back({static_cast<std::int32_t>(year), mc});
    }
    return table;
  }

  // A declustering method by the name of the method table, or "none".
  std::optional<DeclusterMethod> Decluster(const toml::node& node, const std::string& key) const {
    const std::string name = Text(node, key);
    if (name == "none") return std::nullopt;
    if (const auto method = FindDeclusterMethod(name)) return method;
    Fail(node, key, "a declustering method: " + DeclusterMethodNames(", ") + " or none");
  }

  // The settings keys, into `layer`: those of the settings table, the
  // completeness table and the declustering.
  void AddSettings(Handlers& h, SettingsLayer& layer) const {
    for (const SettingRow& row : AnalysisSettings()) {
      h.emplace_back(std::string(row.key),
                     [&, row = &row](const toml::node& n, const std::string& k) {
                       ReadSetting(n, *row, k, source_, layer);
                     });
    }
    h.emplace_back("completeness", [&](const toml::node& n, const std::string& k) {
      layer.completeness = Completeness(n, k);
    });
    h.emplace_back("decluster", [&](const toml::node& n, const std::string& k) {
      layer.decluster = Decluster(n, k);
    });
  }

  // Probabilities of a distribution: each in (0, 1], summing to 1.
  void SumsToOne(const toml::node& node, const std::string& key, double sum) const {
    if (std::fabs(sum - 1.0) > kWeightSumTolerance) Fail(node, key, "probabilities summing to 1");
  }

  std::vector<NodalPlane> NodalPlanes(const toml::node& node, const std::string& key) const {
    const toml::array& list = Array(node, key, "tables {strike, dip, rake, probability}");
    if (list.empty() || list.size() > 100) Fail(node, key, "1 to 100 nodal planes");
    std::vector<NodalPlane> planes;
    double sum = 0.0;
    for (const toml::node& item : list) {
      NodalPlane p;
      Keys(Table(item, key), key + ".",
           {{"strike",
             [&](const toml::node& n, const std::string& k) {
               p.strike = Double(n, k, 0.0, 360.0, "0 to 360");
             }},
            {"dip", [&](const toml::node& n,
                        const std::string& k) { p.dip = Double(n, k, 0.0, 90.0, "0 to 90"); }},
            {"rake",
             [&](const toml::node& n, const std::string& k) {
               p.rake = Double(n, k, -180.0, 180.0, "-180 to 180");
             }},
            {"probability", [&](const toml::node& n, const std::string& k) {
               p.probability = Number(n, k);
               if (!(p.probability > 0.0 && p.probability <= 1.0)) Fail(n, k, "above 0, at most 1");
             }}});
      if (!(p.dip > 0.0)) Fail(item, key, "a dip above 0");
      sum += p.probability;
      planes.push_back(p);
    }
    SumsToOne(node, key, sum);
    return planes;
  }

  void HypoDepths(const toml::node& node, const std::string& key, SourceSettings& source) const {
    if (node.is_string()) {
      Choice(node, key, {"catalog"});
      source.hypo_depths.reset();
      if (!source.hypo_depth_bin) source.hypo_depth_bin = kDefaultHypoDepthBin;
      return;
    }
    const toml::array& list = Array(node, key, "[depth, probability] pairs, or \"catalog\"");
    if (list.empty() || list.size() > 100) Fail(node, key, "1 to 100 [depth, probability] pairs");
    std::vector<HypoDepth> depths;
    double sum = 0.0;
    for (const toml::node& item : list) {
      const toml::array* pair = item.as_array();
      if (pair == nullptr || pair->size() != 2) Fail(item, key, "a pair [depth, probability]");
      HypoDepth d;
      d.depth = Double(*pair->get(0), key, 0.0, 1000.0, "a depth from 0 to 1000 km");
      d.probability = Number(*pair->get(1), key);
      if (!(d.probability > 0.0 && d.probability <= 1.0)) {
        Fail(*pair->get(1), key, "a probability above 0, at most 1");
      }
      sum += d.probability;
      depths.push_back(d);
    }
    SumsToOne(node, key, sum);
    source.hypo_depths = depths;
    source.hypo_depth_bin.reset();
  }

  // The keys of [openquake] and [zone.openquake].
  void AddSource(Handlers& h, SourceSettings& source) const {
    auto depth = [&](std::optional<double>& target) {
      return [&](const toml::node& n, const std::string& k) {
        target = Double(n, k, 0.0, 1000.0, "a depth from 0 to 1000 km");
      };
    };
    h.emplace_back("tectonic_region", [&](const toml::node& n, const std::string& k) {
      source.tectonic_region = Text(n, k);
      if (source.tectonic_region->empty() || source.tectonic_region->size() > 64) {
        Fail(n, k, "a region name of 1 to 64 characters");
      }
    });
    h.emplace_back("upper_depth", depth(source.upper_depth));
    h.emplace_back("lower_depth", depth(source.lower_depth));
    h.emplace_back("mag_scale_rel", [&](const toml::node& n, const std::string& k) {
      source.mag_scale_rel = Name(n, k);
    });
    h.emplace_back("rupt_aspect_ratio", [&](const toml::node& n, const std::string& k) {
      source.rupt_aspect_ratio = Double(n, k, 1e-3, 1e3, "a ratio from 0.001 to 1000");
    });
    h.emplace_back("nodal_planes", [&](const toml::node& n, const std::string& k) {
      source.nodal_planes = NodalPlanes(n, k);
    });
    h.emplace_back("hypo_depths",
                   [&](const toml::node& n, const std::string& k) { HypoDepths(n, k, source); });
    h.emplace_back("hypo_depth_bin", [&](const toml::node& n, const std::string& k) {
      source.hypo_depth_bin = Double(n, k, 0.1, 1000.0, "a bin width from 0.1 to 1000 km");
      source.hypo_depths.reset();
    });
    h.emplace_back("location", [&](const toml::node& n, const std::string& k) {
      const toml::array& pair = Array(n, k, "[longitude, latitude]");
      if (pair.size() != 2) Fail(n, k, "[longitude, latitude]");
      source.location = std::array<double, 2>{
          Double(*pair.get(0), k, -180.0, 180.0, "a longitude from -180 to 180"),
          Double(*pair.get(1), k, -90.0, 90.0, "a latitude from -90 to 90")};
    });
  }

  ClassicZoneFile File(const toml::node& node, const std::string& key, int layouts) const {
    ClassicZoneFile file;
    if (node.is_string()) {
      file.path = Text(node, key);
    } else {
      const toml::table& t = Table(node, key);
      bool has_file = false;
      Keys(t, key + ".",
           {{"file",
             [&](const toml::node& n, const std::string& k) {
               file.path = Text(n, k);
               has_file = true;
             }},
            {"layout", [&](const toml::node& n, const std::string& k) {
               file.layout = static_cast<int>(Whole(n, k, 1, layouts));
             }}});
      if (!has_file) Fail(node, key, "a file name or a table with 'file' and 'layout'");
    }
    if (file.path.empty()) Fail(node, key, "a file name");
    return file;
  }

  BatchZone Zone(const toml::table& t, const std::string& key) const {
    BatchZone zone;
    zone.line = Line(t);
    Handlers h = {
        {"name", [&](const toml::node& n, const std::string& k) { zone.name = Name(n, k); }},
        {"extreme",
         [&](const toml::node& n, const std::string& k) { zone.extreme = File(n, k, 3); }},
        {"complete",
         [&](const toml::node& n, const std::string& k) {
           const toml::array& files = Array(n, k, "file names");
           for (const toml::node& f : files) zone.complete.push_back(File(f, k, 3));
         }},
        {"prepare",
         [&](const toml::node& n, const std::string& k) {
           zone.prepare = Text(n, k);
           if (zone.prepare.empty()) Fail(n, k, "a file name");
         }},
        {"openquake",
         [&](const toml::node& n, const std::string& k) {
           Handlers source;
           AddSource(source, zone.openquake);
           Keys(Table(n, k), k + ".", source);
         }},
    };
    AddSettings(h, zone.settings);
    Keys(t, key + ".", h);
    Required(t, "name", key, zone.line);
    const bool classic = zone.extreme || !zone.complete.empty();
    if (classic == !zone.prepare.empty()) {
      Fail(zone.line, "zone " + zone.name, "",
           "either classic files ('extreme', 'complete') or a 'prepare' job");
    }
    if (classic && zone.settings.completeness) {
      Fail(zone.line, "zone " + zone.name, "",
           "no 'completeness' for classic files (their parts are given)");
    }
    if (classic && zone.settings.decluster) {
      Fail(zone.line, "zone " + zone.name, "",
           "no 'decluster' for classic files (their parts are given)");
    }
    return zone;
  }

  BranchSet Set(const toml::table& t, const std::string& key) const {
    BranchSet set;
    const long line = Line(t);
    Keys(t, key + ".",
         {{"name", [&](const toml::node& n, const std::string& k) { set.name = Name(n, k); }},
          {"alternative", [&](const toml::node& n, const std::string& k) {
             const toml::array& list = Array(n, k, "tables ([[branch_set.alternative]])");
             for (const toml::node& a : list) set.alternatives.push_back(AlternativeOf(a, k));
           }}});
    Required(t, "name", key, line);
    if (set.alternatives.empty()) {
      Fail(line, "branch set " + set.name, "", "at least one [[branch_set.alternative]]");
    }
    double sum = 0.0;
    std::set<std::string> names;
    for (const Alternative& a : set.alternatives) {
      sum += a.weight;
      if (!names.insert(a.name).second) {
        Fail(line, "alternative " + a.name, "",
             "alternative names unique in branch set " + set.name);
      }
    }
    if (std::fabs(sum - 1.0) > kWeightSumTolerance) {
      char text[64];
      std::snprintf(text, sizeof text, "weights summing to %.9g", sum);
      Fail(line, text, "", "weights of branch set " + set.name + " summing to 1 (within 1e-5)");
    }
    return set;
  }

  Alternative AlternativeOf(const toml::node& node, const std::string& key) const {
    const toml::table& t = Table(node, key);
    Alternative a;
    bool has_weight = false;
    Handlers h = {
        {"name", [&](const toml::node& n, const std::string& k) { a.name = Name(n, k); }},
        {"weight",
         [&](const toml::node& n, const std::string& k) {
           a.weight = Number(n, k);
           if (!(a.weight > 0.0 && a.weight <= 1.0)) Fail(n, k, "a weight above 0, at most 1");
           has_weight = true;
         }},
    };
    AddSettings(h, a.settings);
    // completeness: one table for every zone, or a table of tables by zone.
    for (auto& [k, handler] : h) {
      if (k != "completeness") continue;
      handler = [&](const toml::node& n, const std::string& name) {
        if (const toml::table* zones = n.as_table()) {
          for (auto&& [zone, steps] : *zones) {
            a.zone_completeness[std::string(zone.str())] =
                Completeness(steps, name + "." + std::string(zone.str()));
          }
        } else {
          a.settings.completeness = Completeness(n, name);
        }
      };
    }
    Keys(t, key + ".", h);
    Required(t, "name", key, Line(t));
    if (!has_weight) Fail(Line(t), "alternative " + a.name, "", "the key 'weight'");
    return a;
  }

  BatchJob Parse(std::string_view text) {
    toml::table root;
    try {
      root = toml::parse(text, source_);
    } catch (const toml::parse_error& e) {
      Fail(static_cast<long>(e.source().begin.line), "", "",
           "TOML (" + std::string(e.description()) + ")");
    }
    BatchJob job;
    job.source = source_;
    long bootstrap_line = 0;
    Handlers h;
    for (const OptionsRow<BatchJob>& row : BatchSettings()) {
      h.emplace_back(std::string(row.key),
                     [&, row = &row](const toml::node& n, const std::string& k) {
                       if (row->key == "seed") return Seed(n, k, *row, job);
                       ReadOption(n, *row, k, source_, job);
                     });
    }
    h.emplace_back("defaults", [&](const toml::node& n, const std::string& k) {
      Handlers settings;
      AddSettings(settings, job.defaults);
      Keys(Table(n, k), k + ".", settings);
    });
    h.emplace_back("openquake", [&](const toml::node& n, const std::string& k) {
      bootstrap_line = OpenQuake(Table(n, k), k, job);
    });
    h.emplace_back("zone", [&](const toml::node& n, const std::string& k) {
      for (const toml::node& z : Array(n, k, "tables ([[zone]])")) {
        job.zones.push_back(Zone(Table(z, k), k));
      }
    });
    h.emplace_back("branch_set", [&](const toml::node& n, const std::string& k) {
      for (const toml::node& set : Array(n, k, "tables ([[branch_set]])")) {
        job.branch_sets.push_back(Set(Table(set, k), k));
      }
    });
    Keys(root, "", h);
    CheckJob(job, bootstrap_line);
    return job;
  }

 private:
  // The seed as the whole number written (a double holds 53 bits of it).
  void Seed(const toml::node& node, const std::string& key, const OptionsRow<BatchJob>& row,
            BatchJob& job) const {
    const auto seed = node.value_exact<std::int64_t>();
    if (!seed || *seed < 0) RefuseNode(node, key, source_, std::string(row.expected));
    job.seed = static_cast<std::uint64_t>(*seed);
  }

  // [openquake]: the sources of every zone and bootstrap_branches; the line
  // of bootstrap_branches (0: not given).
  long OpenQuake(const toml::table& t, const std::string& key, BatchJob& job) const {
    long line = 0;
    Handlers source;
    AddSource(source, job.openquake);
    source.emplace_back("bootstrap_branches", [&](const toml::node& v, const std::string& w) {
      job.bootstrap_branches = static_cast<std::int32_t>(Whole(v, w, 0, 99));
      line = Line(v);
    });
    Keys(t, key + ".", source);
    return line;
  }

  // What the job's parts must agree on: a zone at least, bootstrap branches
  // within the replicates, unique zone and set names, the zones an
  // alternative's completeness names.
  void CheckJob(const BatchJob& job, long bootstrap_line) const {
    if (job.zones.empty()) Fail(0, "no [[zone]]", "", "at least one [[zone]] table");
    if (job.bootstrap_branches > 0 && job.replicates < job.bootstrap_branches) {
      Fail(bootstrap_line, std::to_string(job.bootstrap_branches), "openquake.bootstrap_branches",
           "at most as many bootstrap branches as replicates (" + std::to_string(job.replicates) +
               ")");
    }
    std::set<std::string> names;
    for (const BatchZone& z : job.zones) {
      if (!names.insert(z.name).second) {
        Fail(z.line, "zone " + z.name, "", "zone names unique in the job");
      }
    }
    std::set<std::string> sets;
    for (const BranchSet& s : job.branch_sets) {
      if (!sets.insert(s.name).second) Fail(0, "branch set " + s.name, "", "unique set names");
      CheckZonesNamed(s, names);
    }
  }

  void CheckZonesNamed(const BranchSet& s, const std::set<std::string>& zones) const {
    for (const Alternative& a : s.alternatives) {
      for (const auto& [zone, steps] : a.zone_completeness) {
        if (zones.count(zone) == 0) {
          Fail(0, "completeness." + zone, "",
               "a zone of the job in the completeness of " + s.name + "=" + a.name);
        }
      }
    }
  }

  std::string source_;
};

}  // namespace

std::span<const OptionsRow<BatchJob>> BatchSettings() {
  static const std::vector<OptionsRow<BatchJob>> rows = MakeBatchRows();
  return rows;
}

void Validate(const BatchJob& job) { ValidateRows(job, BatchSettings()); }

BatchJob ParseBatchJob(std::string_view text, const std::string& source,
                       const std::filesystem::path& base) {
  BatchJob job = JobReader(source).Parse(text);
  job.base = base;
  return job;
}

BatchJob ReadBatchJob(const std::filesystem::path& file) {
  const std::string text = ReadRegularFile(file, "the job file", kLargestJobFile);
  const std::filesystem::path base = file.parent_path().empty() ? "." : file.parent_path();
  BatchJob job = ParseBatchJob(text, file.string(), base);
  if (job.output.empty()) {
    job.output = base / (file.stem().string() + "-results");
  } else if (job.output.is_relative()) {
    job.output = base / job.output;
  }
  return job;
}

}  // namespace qev
