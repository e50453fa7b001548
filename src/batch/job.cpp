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
#include "qev/event_settings.h"
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
      MemberRow<&BatchJob::bootstrap_branches>(
          {.key = "openquake.bootstrap_branches",
           .member = "bootstrap_branches",
           .type = SettingType::Whole,
           .high = 99,
           .default_text = "0",
           .description = "in [openquake]: 0 writes one source model per branch, N that many "
                          "drawn from its bootstrap (at most replicates)"}),
      MemberRow<&BatchJob::strict>(
          {.key = "strict",
           .type = SettingType::Flag,
           .default_text = "false",
           .description = "a task whose input checks warn fails (status input-warning)"}),
  };
}
// A name used in outputs and seeds: printable, no separators of the branch
// names or of CSV.
constexpr std::string_view kNameExpected =
    "a name of 1 to 64 printable characters without blanks, ; = , \" / or \\";
bool GoodName(const std::string& name) {
  bool good = !name.empty() && name.size() <= 64;
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x21 || u > 0x7e || c == ';' || c == '=' || c == ',' || c == '"' || c == '/' ||
        c == '\\') {
      good = false;
    }
  }
  return good;
}
bool GoodRegion(const std::string& name) { return !name.empty() && name.size() <= 64; }

// The row of a text member that `good` must accept (the terms' `expected`
// says what it takes).
template <auto Member>
auto CheckedTextRow(const SettingTerms& terms, bool (*good)(const std::string&)) {
  auto row = MemberRow<Member>(terms);
  row.set = [key = terms.key, expected = terms.expected, good](auto& o, const SettingValue& v) {
    const std::string& text = std::get<std::string>(v);
    if (!good(text)) throw InvalidSetting(std::string(key), ShownValue(v), std::string(expected));
    o.*Member = text;
  };
  return row;
}

std::vector<OptionsRow<SettingsLayer>> MakeLayerRows() {
  static const std::string decluster_expected =
      "a declustering method: " + DeclusterMethodNames(", ") + " or none";
  OptionsRow<SettingsLayer> completeness;
  static_cast<SettingTerms&>(completeness) = CompletenessTableTerms();
  completeness.description =
      "zones read from a catalog: the completeness table, or \"auto\": estimated from the zone's "
      "events";
  completeness.set = [](SettingsLayer& l, const SettingValue& v) {
    l.completeness = CompletenessSteps(v);
  };
  completeness.get = [](const SettingsLayer& l) {
    if (!l.completeness) return SettingValue{};
    return l.completeness->empty() ? SettingValue(std::string("auto"))
                                   : CompletenessRows(*l.completeness);
  };
  OptionsRow<SettingsLayer> decluster;
  static_cast<SettingTerms&>(decluster) = {
      .key = "decluster",
      .type = SettingType::Text,
      .default_text = "the zone's prepare job's",
      .description = "zones read from a catalog: the declustering method, or \"none\"",
      .expected = decluster_expected};
  decluster.set = [](SettingsLayer& l, const SettingValue& v) {
    const std::string& name = std::get<std::string>(v);
    const std::optional<DeclusterMethod> method = FindDeclusterMethod(name);
    if (!method && name != "none") {
      throw InvalidSetting("decluster", ShownValue(v), decluster_expected);
    }
    l.decluster = method;
  };
  decluster.get = [](const SettingsLayer& l) {
    if (!l.decluster) return SettingValue{};
    return SettingValue(*l.decluster ? std::string(DeclusterMethodOf(**l.decluster).name)
                                     : std::string("none"));
  };
  return {completeness, decluster};
}

std::vector<OptionsRow<BatchZone>> MakeZoneRows() {
  return {
      CheckedTextRow<&BatchZone::name>({.key = "name",
                                        .type = SettingType::Text,
                                        .default_text = "required",
                                        .description = "the zone's name in the outputs",
                                        .expected = kNameExpected},
                                       GoodName),
      MemberRow<&BatchZone::prepare>(
          {.key = "prepare",
           .type = SettingType::Path,
           .default_text = "none: classic files ('extreme', 'complete')",
           .description = "the prepare job of a zone read from a catalog (from the job's folder)"}),
  };
}

std::vector<OptionsRow<ClassicZoneFile>> MakeClassicFileRows() {
  return {
      MemberRow<&ClassicZoneFile::path>(
          {.key = "file",
           .member = "path",
           .type = SettingType::Path,
           .default_text = "required",
           .description = "the classic catalog file (from the job's folder)"}),
      MemberRow<&ClassicZoneFile::layout>(
          {.key = "layout",
           .type = SettingType::Whole,
           .low = 1,
           .high = 3,
           .default_text = "1",
           .description = "the layout of its lines, as the classic program numbers them"}),
  };
}

std::vector<OptionsRow<Alternative>> MakeAlternativeRows() {
  return {
      CheckedTextRow<&Alternative::name>({.key = "name",
                                          .type = SettingType::Text,
                                          .default_text = "required",
                                          .description = "the alternative's name in the outputs",
                                          .expected = kNameExpected},
                                         GoodName),
      MemberRow<&Alternative::weight>({.key = "weight",
                                       .high = 1.0,
                                       .low_open = true,
                                       .default_text = "required",
                                       .description = "the weight; those of a set sum to 1"}),
  };
}

constexpr SettingColumn kNodalPlaneColumns[] = {
    {.name = "strike", .high = 360.0, .omitted = 0.0},
    {.name = "dip", .high = 90.0, .low_open = true, .omitted = 90.0},
    {.name = "rake", .low = -180.0, .high = 180.0, .omitted = 0.0},
    {.name = "probability", .high = 1.0, .low_open = true, .omitted = 1.0}};
constexpr SettingColumn kHypoDepthColumns[] = {
    {.name = "depth", .high = 1000.0}, {.name = "probability", .high = 1.0, .low_open = true}};
constexpr SettingColumn kLocationColumns[] = {{.name = "longitude", .low = -180.0, .high = 180.0},
                                              {.name = "latitude", .low = -90.0, .high = 90.0}};

OptionsRow<SourceSettings> NodalPlanesRow() {
  OptionsRow<SourceSettings> row;
  static_cast<SettingTerms&>(row) = {
      .key = "nodal_planes",
      .type = SettingType::Rows,
      .least = 1,
      .most = 100,
      .columns = kNodalPlaneColumns,
      .sums_to_one = true,
      .default_text = "one plane: strike 0, dip 90, rake 0",
      .description =
          "the nodal planes, tables {strike, dip, rake, probability} (left out: 0, "
          "90, 0, 1)"};
  row.set = [](SourceSettings& o, const SettingValue& v) {
    std::vector<NodalPlane> planes;
    for (const std::vector<double>& r : std::get<std::vector<std::vector<double>>>(v)) {
      planes.push_back({r[0], r[1], r[2], r[3]});
    }
    o.nodal_planes = planes;
  };
  row.get = [](const SourceSettings& o) {
    if (!o.nodal_planes) return SettingValue{};
    std::vector<std::vector<double>> rows;
    for (const NodalPlane& p : *o.nodal_planes)
      rows.push_back({p.strike, p.dip, p.rake, p.probability});
    return SettingValue(rows);
  };
  return row;
}

// hypo_depths: given depths, or "catalog": the catalog's depths binned by
// hypo_depth_bin (which, given, replaces the given depths).
OptionsRow<SourceSettings> HypoDepthsRow() {
  OptionsRow<SourceSettings> row;
  static_cast<SettingTerms&>(row) = {
      .key = "hypo_depths",
      .type = SettingType::Rows,
      .names = "catalog",
      .least = 1,
      .most = 100,
      .columns = kHypoDepthColumns,
      .sums_to_one = true,
      .default_text = "one depth, the middle of the seismogenic range",
      .description =
          "hypocentre depths [depth, probability] in km, or \"catalog\": the zone's "
          "depths binned"};
  row.set = [](SourceSettings& o, const SettingValue& v) {
    std::vector<HypoDepth> depths;
    for (const std::vector<double>& r : std::get<std::vector<std::vector<double>>>(v)) {
      depths.push_back({r[0], r[1]});
    }
    if (depths.empty()) {
      o.hypo_depths.reset();
      if (!o.hypo_depth_bin) o.hypo_depth_bin = kDefaultHypoDepthBin;
    } else {
      o.hypo_depths = depths;
      o.hypo_depth_bin.reset();
    }
  };
  row.get = [](const SourceSettings& o) {
    if (!o.hypo_depths) return SettingValue{};
    std::vector<std::vector<double>> rows;
    for (const HypoDepth& d : *o.hypo_depths) rows.push_back({d.depth, d.probability});
    return SettingValue(rows);
  };
  return row;
}

std::vector<OptionsRow<SourceSettings>> MakeOpenQuakeRows() {
  using S = SourceSettings;
  const auto depth = [](std::string_view key, std::string_view text, std::string_view about) {
    return SettingTerms{.key = key, .high = 1000.0, .default_text = text, .description = about};
  };
  OptionsRow<S> bin = MemberRow<&S::hypo_depth_bin>(
      {.key = "hypo_depth_bin",
       .low = 0.1,
       .high = 1000.0,
       .default_text = "10",
       .description = "km: the bins of the catalog's depths (replaces given hypo_depths)"});
  bin.set = [](S& o, const SettingValue& v) {
    o.hypo_depth_bin = std::get<double>(v);
    o.hypo_depths.reset();
  };
  OptionsRow<S> location;
  static_cast<SettingTerms&>(location) = {
      .key = "location",
      .type = SettingType::Numbers,
      .least = 2,
      .most = 2,
      .columns = kLocationColumns,
      .default_text = "none",
      .description = "a point source's [longitude, latitude] (zones without a polygon)"};
  location.set = [](S& o, const SettingValue& v) {
    const auto& pair = std::get<std::vector<double>>(v);
    o.location = std::array<double, 2>{pair[0], pair[1]};
  };
  location.get = [](const S& o) {
    return o.location ? SettingValue(std::vector<double>{(*o.location)[0], (*o.location)[1]})
                      : SettingValue{};
  };
  return {
      CheckedTextRow<&S::tectonic_region>({.key = "tectonic_region",
                                           .type = SettingType::Text,
                                           .default_text = kDefaultTectonicRegion,
                                           .description = "the tectonic region of the source",
                                           .expected = "a region name of 1 to 64 characters"},
                                          GoodRegion),
      MemberRow<&S::upper_depth>(depth("upper_depth", "the selection's least depth, else 0",
                                       "km: the top of the seismogenic layer")),
      MemberRow<&S::lower_depth>(depth("lower_depth", "the selection's greatest depth, else 20",
                                       "km: the bottom of the seismogenic layer")),
      CheckedTextRow<&S::mag_scale_rel>({.key = "mag_scale_rel",
                                         .type = SettingType::Text,
                                         .default_text = kDefaultMagScaleRel,
                                         .description = "the magnitude-scaling relation",
                                         .expected = kNameExpected},
                                        GoodName),
      MemberRow<&S::rupt_aspect_ratio>({.key = "rupt_aspect_ratio",
                                        .low = 1e-3,
                                        .high = 1e3,
                                        .default_text = "1.5",
                                        .description = "the ruptures' length over width"}),
      NodalPlanesRow(),
      HypoDepthsRow(),
      bin,
      location,
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

  std::string Text(const toml::node& node, const std::string& key) const {
    if (auto value = node.value_exact<std::string>()) return *value;
    Fail(node, key, "a text in quotes");
  }
  // A name used in outputs and seeds (GoodName).
  std::string Name(const toml::node& node, const std::string& key) const {
    std::string name = Text(node, key);
    if (!GoodName(name)) Fail(node, key, std::string(kNameExpected));
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

  // The keys of the rows, read into `options` through the settings reader.
  template <class Options>
  void AddRows(Handlers& h, std::span<const OptionsRow<Options>> rows, Options& options) const {
    for (const OptionsRow<Options>& row : rows) {
      h.emplace_back(std::string(row.key),
                     [&, row = &row](const toml::node& n, const std::string& k) {
                       ReadOption(n, *row, k, source_, options);
                     });
    }
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
    AddRows(h, LayerSettings(), layer);
  }

  // A classic file: its name, or a table {file, layout}.
  ClassicZoneFile File(const toml::node& node, const std::string& key) const {
    ClassicZoneFile file;
    if (node.is_string()) {
      ReadOption(node, ClassicFileSettings().front(), key, source_, file);
      return file;
    }
    const toml::table& t = Table(node, key);
    Handlers h;
    AddRows(h, ClassicFileSettings(), file);
    Keys(t, key + ".", h);
    if (!t.contains("file")) Fail(node, key, "a file name or a table with 'file' and 'layout'");
    return file;
  }

  BatchZone Zone(const toml::table& t, const std::string& key) const {
    BatchZone zone;
    zone.line = Line(t);
    Handlers h = {
        {"extreme", [&](const toml::node& n, const std::string& k) { zone.extreme = File(n, k); }},
        {"complete",
         [&](const toml::node& n, const std::string& k) {
           const toml::array& files = Array(n, k, "file names");
           for (const toml::node& f : files) zone.complete.push_back(File(f, k));
         }},
        {"openquake",
         [&](const toml::node& n, const std::string& k) {
           Handlers source;
           AddRows(source, OpenQuakeSettings(), zone.openquake);
           Keys(Table(n, k), k + ".", source);
         }},
    };
    AddRows(h, ZoneSettings(), zone);
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
    Handlers h;
    AddRows(h, AlternativeSettings(), a);
    AddSettings(h, a.settings);
    // completeness: one table for every zone, or a table of tables by zone.
    for (auto& [k, handler] : h) {
      if (k != "completeness") continue;
      handler = [&, by_layer = handler](const toml::node& n, const std::string& name) {
        const toml::table* zones = n.as_table();
        if (zones == nullptr) return by_layer(n, name);
        for (auto&& [zone, steps] : *zones) {
          SettingsLayer layer;
          ReadOption(steps, LayerSettings().front(), name + "." + std::string(zone.str()), source_,
                     layer);
          a.zone_completeness[std::string(zone.str())] = *layer.completeness;
        }
      };
    }
    Keys(t, key + ".", h);
    Required(t, "name", key, Line(t));
    if (!t.contains("weight")) Fail(Line(t), "alternative " + a.name, "", "the key 'weight'");
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
      if (row.key.find('.') != std::string_view::npos) continue;  // a key of a table
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
    AddRows(source, OpenQuakeSettings(), job.openquake);
    for (const OptionsRow<BatchJob>& row : BatchSettings()) {
      const std::string_view name = row.key;
      if (name.substr(0, key.size() + 1) != key + ".") continue;
      source.emplace_back(std::string(name.substr(key.size() + 1)),
                          [&, row = &row](const toml::node& v, const std::string& w) {
                            ReadOption(v, *row, w, source_, job);
                            line = Line(v);
                          });
    }
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

std::span<const OptionsRow<SettingsLayer>> LayerSettings() {
  static const std::vector<OptionsRow<SettingsLayer>> rows = MakeLayerRows();
  return rows;
}

std::span<const OptionsRow<BatchZone>> ZoneSettings() {
  static const std::vector<OptionsRow<BatchZone>> rows = MakeZoneRows();
  return rows;
}

std::span<const OptionsRow<ClassicZoneFile>> ClassicFileSettings() {
  static const std::vector<OptionsRow<ClassicZoneFile>> rows = MakeClassicFileRows();
  return rows;
}

std::span<const OptionsRow<Alternative>> AlternativeSettings() {
  static const std::vector<OptionsRow<Alternative>> rows = MakeAlternativeRows();
  return rows;
}

std::span<const OptionsRow<SourceSettings>> OpenQuakeSettings() {
  static const std::vector<OptionsRow<SourceSettings>> rows = MakeOpenQuakeRows();
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
