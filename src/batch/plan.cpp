// From the job to its cells, in stages: reading the zone's prepare job and
// catalog, caching the catalog files, splitting under each completeness table
// and declustering of the tree, overlaying the settings of every (zone,
// branch) and validating them.
#include "batch/plan.h"

#include <cmath>
#include <cstdint>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "batch/record.h"
#include "batch/task_status.h"
#include "qev/batch.h"
#include "qev/batch_settings.h"
#include "qev/classic_files.h"
#include "textio/files.h"

namespace qev {

namespace {

std::string Resolved(const std::filesystem::path& base, const std::string& path) {
  const std::filesystem::path p = path;
  return (p.is_absolute() ? p : base / p).lexically_normal().string();
}

std::string FileText(const std::string& path, const std::string& what) {
  return ReadRegularFile(path, "the " + what, kLargestJobFile);
}

// A classic catalog file as a stream: a regular file only.
std::unique_ptr<std::istream> ClassicFile(const std::string& path, const char* what) {
  const OpenedInput opened = OpenRegularInput(path);
  if (opened.descriptor < 0) {
    throw Error(path + ": cannot open the " + what + " (" + opened.reason + ")");
  }
  return std::make_unique<InputFile>(opened.descriptor);
}

// A prepare job and the analysis settings its [analysis] table gives.
struct PreparedZone {
  PrepareJob job;
  SettingsLayer analysis;
};

PreparedZone ReadPrepareJob(const std::string& path) {
  const std::string text = FileText(path, "prepare job");
  PreparedZone zone;
  zone.job = ParsePrepareToml(text, path, std::filesystem::path(path).parent_path());
  zone.job.job_file = path;
  // Only the keys written are set: the prepare job's defaults do not hide
  // the batch job's.
  static_cast<AnalysisLayer&>(zone.analysis) = zone.job.analysis;
  if (zone.job.completeness_auto) {
    zone.analysis.completeness = std::vector<CompletenessStep>{};  // estimated
  } else if (!zone.job.split.completeness.empty()) {
    zone.analysis.completeness = zone.job.split.completeness;
  }
  return zone;
}

// The classic files of a zone, whose sizes may not exceed the limit of the
// zone's units (magnitude 10, intensity 12), as in the classic program.
Catalog ReadClassicZone(const BatchZone& zone, const std::filesystem::path& base, Units units) {
  const float largest = units == Units::Intensity ? 12.0f : 10.0f;
  Catalog catalog;
  if (zone.extreme) {
    const std::string path = Resolved(base, zone.extreme->path);
    const auto in = ClassicFile(path, "extreme file");
    catalog.extreme =
        ReadExtremeFile(*in, path, static_cast<ExtremeLayout>(zone.extreme->layout), largest).part;
  }
  for (const ClassicZoneFile& file : zone.complete) {
    const std::string path = Resolved(base, file.path);
    const auto in = ClassicFile(path, "complete file");
    catalog.complete.push_back(
        ReadCompleteFile(*in, path, static_cast<CompleteLayout>(file.layout), largest).part);
  }
  return catalog;
}

// Event files read once, by file and reading options.
class EventFiles {
 public:
  const ReadResult& Read(const PrepareJob& job) {
    std::string key = job.catalog + '\n' + std::to_string(job.format ? int(*job.format) : -1) +
                      '\n' + (job.read.default_sd ? Real(*job.read.default_sd) : "-") + '\n' +
                      (job.read.skip_bad_rows ? "skip" : "stop");
    for (const auto& [role, column] : job.read.columns) key += '\n' + role + '=' + column;
    for (const auto& m : job.read.magnitude_columns) {
      key += '\n' + m.type + '=' + m.column + ':' + m.sd_column;
    }
    auto found = files_.find(key);
    if (found == files_.end()) {
      found = files_.emplace(key, ReadEventFile(job.catalog, job.read, job.format)).first;
    }
    return found->second;
  }

 private:
  std::map<std::string, ReadResult> files_;
};

// The split of a zone's catalog under a completeness table (none: no complete
// part; empty: estimated) and a declustering choice (none set: the prepare
// job's).
std::string SplitKey(const std::optional<std::vector<CompletenessStep>>& steps,
                     const std::optional<std::optional<DeclusterMethod>>& decluster) {
  std::string key;
  if (steps && steps->empty()) key = "auto,";
  for (const CompletenessStep& s : steps.value_or(std::vector<CompletenessStep>{}))
    key += std::to_string(s.year) + ":" + Real(s.threshold) + ",";
  if (decluster) {
    key += *decluster ? std::string(DeclusterMethodOf(**decluster).name) : std::string("none");
  }
  return key;
}

// The prepare job of one split: its completeness table (an empty one
// estimated, without figures) and declustering.
PrepareJob SplitJob(PrepareJob job, const std::optional<std::vector<CompletenessStep>>& steps,
                    const std::optional<std::optional<DeclusterMethod>>& decluster) {
  job.split.completeness = steps.value_or(std::vector<CompletenessStep>{});
  job.completeness_auto = steps && steps->empty();
  job.completeness_figures.clear();
  job.classic_directory.reset();
  job.analysis.mmin.reset();
  if (decluster && !*decluster) {
    job.decluster.reset();
  } else if (decluster) {
    if (!job.decluster) job.decluster = DeclusterOptions{};
    job.decluster->method = **decluster;
  }
  return job;
}

[[noreturn]] void Invalid(const BatchJob& job, const BatchZone& zone, const std::string& text,
                          const std::string& expected) {
  throw ReadingError(job.source, zone.line, text, expected);
}

// The options and hazard settings of a cell from its layers, checked by the
// settings table (Validate: the bounds of the zone's units).
void SetCellSettings(const BatchJob& job, const BatchZone& zone, const Branch& branch,
                     const SettingsLayer& s, float mmin, Cell& cell) {
  const std::string where = "zone " + zone.name + " under " + branch.name;
  AnalysisOptions& o = cell.options;
  s.ApplyTo(o);
  o.mmin = mmin;
  if (o.start == StartingPointKind::Given && (!s.start_lambda || !s.start_mmax)) {
    Invalid(job, zone, where, "'start_lambda' and 'start_mmax' with start = \"given\"");
  }
  if (o.procedure == MmaxProcedure::None && o.mmax_values.empty()) {
    Invalid(job, zone, where,
            "a list of 'mmax' values with procedure = \"none\" (no suggestion to follow)");
  }
  HazardOptions hazard;
  s.ApplyTo(hazard);
  try {
    Validate(o);
    Validate(hazard, o.units);
  } catch (const InvalidSetting& e) {
    Invalid(job, zone, where + ": " + e.key() + " " + e.value(),
            "for '" + e.key() + "' " + e.expected());
  }
  cell.hazard_spans = hazard.spans;
  cell.hazard_magnitudes = hazard.magnitudes;
}

}  // namespace

std::uint64_t CountTasks(const BatchJob& job) {
  constexpr std::uint64_t kMost = UINT64_MAX;
  const auto times = [](std::uint64_t a, std::uint64_t b) {
    return b != 0 && a > kMost / b ? kMost : a * b;
  };
  std::uint64_t tasks = times(job.zones.size(), static_cast<std::uint64_t>(job.replicates) + 1);
  for (const BranchSet& set : job.branch_sets) tasks = times(tasks, set.alternatives.size());
  return tasks;
}

void RefuseLargeTree(const BatchJob& job) {
  const std::uint64_t tasks = CountTasks(job);
  if (tasks <= kMostTasks) return;
  std::uint64_t branches = 1;
  for (const BranchSet& set : job.branch_sets) {
    branches = set.alternatives.empty() || branches <= UINT64_MAX / set.alternatives.size()
                   ? branches * set.alternatives.size()
                   : UINT64_MAX;
  }
  const std::string count =
      tasks == UINT64_MAX ? "more than 18446744073709551614" : std::to_string(tasks);
  throw InvalidOptions(
      job.source + ": the job makes " + count + " tasks (" + std::to_string(job.zones.size()) +
      " zones x " + (branches == UINT64_MAX ? std::string("too many") : std::to_string(branches)) +
      " branches of " + std::to_string(job.branch_sets.size()) + " branch sets x " +
      std::to_string(job.replicates + 1) + " replicates), more than the limit of " +
      std::to_string(kMostTasks) + "; run it with --force (Python: force=True) if it is meant");
}

namespace {

// The zone's prepare job (read) when it has one; every file the zone reads
// added to `inputs`.
std::optional<PreparedZone> ZoneInputs(const BatchJob& job, const BatchZone& zone,
                                       std::vector<std::string>& inputs) {
  std::optional<PreparedZone> prepared;
  if (!zone.prepare.empty()) {
    inputs.push_back(Resolved(job.base, zone.prepare));
    prepared = ReadPrepareJob(inputs.back());
    inputs.push_back(prepared->job.catalog);
    if (!prepared->job.zone_file.empty()) inputs.push_back(prepared->job.zone_file);
  }
  if (zone.extreme) inputs.push_back(Resolved(job.base, zone.extreme->path));
  for (const ClassicZoneFile& f : zone.complete) inputs.push_back(Resolved(job.base, f.path));
  return prepared;
}

// The settings of a zone under a branch: the defaults, the prepare job's,
// the zone's, then each alternative's (and its completeness table of the zone).
SettingsLayer BranchSettings(const BatchJob& job, const std::optional<PreparedZone>& prepared,
                             const BatchZone& zone, const Branch& branch) {
  SettingsLayer s = job.defaults;
  if (prepared) s.Overlay(prepared->analysis);
  s.Overlay(zone.settings);
  for (std::size_t k = 0; k < branch.choice.size(); ++k) {
    const Alternative& a = job.branch_sets[k].alternatives[branch.choice[k]];
    s.Overlay(a.settings);
    if (const auto found = a.zone_completeness.find(zone.name);
        found != a.zone_completeness.end()) {
      s.completeness = found->second;
    }
  }
  return s;
}

}  // namespace

namespace {

// A zone's catalog under one completeness table and declustering, with its
// Mmin and what the input checks need of the split.
struct SplitCatalog {
  std::shared_ptr<const Catalog> catalog;
  float mmin = 0.0f;
  std::vector<std::pair<std::string, std::size_t>> magnitude_types;
  std::size_t extreme_windows = 0;
  std::size_t empty_extreme_windows = 0;
  std::vector<CompletenessStep> table;  // the one given, or the one estimated
  std::vector<float> depths;            // of the events kept (known depths)
};

// Splitting: the zone's events under the layer's completeness table and
// declustering (the prepare job's where the layer sets none).
SplitCatalog SplitZone(const PreparedZone& prepared, const ReadResult& events,
                       const SettingsLayer& s) {
  SplitCatalog split;
  split.table = s.completeness.value_or(std::vector<CompletenessStep>{});
  PrepareJob job = SplitJob(prepared.job, s.completeness, s.decluster);
  job.strict = false;  // the tasks check, with their analyses
  PrepareReport report = RunPrepare(job, events);
  for (float d : report.events.depth) {
    if (std::isfinite(d)) split.depths.push_back(d);
  }
  split.mmin = report.mmin;
  split.extreme_windows = report.split.extreme_window_count;
  split.empty_extreme_windows = report.split.empty_windows;
  split.magnitude_types = MagnitudeTypesOfParts(report);
  if (report.completeness) split.table = report.completeness->table;
  split.catalog = std::make_shared<const Catalog>(std::move(report.split.catalog));
  return split;
}

// What a cell takes of its zone's split.
void TakeSplit(const SplitCatalog& split, Cell& cell) {
  cell.catalog = split.catalog;
  std::vector<std::pair<std::int32_t, float>> table;
  table.reserve(split.table.size());
  for (const CompletenessStep& step : split.table) table.emplace_back(step.year, step.threshold);
  cell.completeness = table;
  cell.magnitude_types = split.magnitude_types;
  cell.extreme_windows = split.extreme_windows;
  cell.empty_extreme_windows = split.empty_extreme_windows;
}

// Validating the keys of a zone of classic files: no completeness table or
// declustering (they split a catalog), and an Mmin.
void CheckClassicZone(const BatchJob& job, const BatchZone& zone, const Branch& branch,
                      const SettingsLayer& s) {
  if (s.completeness) {
    Invalid(job, zone, "zone " + zone.name + " under " + branch.name,
            "a completeness table only for zones read from a catalog ('prepare')");
  }
  if (s.decluster) {
    Invalid(job, zone, "zone " + zone.name + " under " + branch.name,
            "a declustering method only for zones read from a catalog ('prepare')");
  }
  if (!s.mmin) {
    Invalid(job, zone, "zone " + zone.name,
            "an Mmin ('mmin' in [defaults], the zone or a branch alternative)");
  }
}

constexpr const char* kNotRead = "the zone's catalog was not read on this process";

}  // namespace

struct ZonePlanner::State {
  BatchPlan& plan;
  EventFiles event_files;                             // caching
  std::vector<std::optional<PreparedZone>> prepared;  // by zone
  std::vector<std::vector<SettingsLayer>> layers;     // by zone and branch

  explicit State(BatchPlan& p) : plan(p) {}

  Cell& CellOf(std::size_t zone, std::size_t branch) {
    return plan.cells[zone * plan.branches.size() + branch];
  }

  // Reading: the zone's catalog (classic files, or the events of its prepare
  // job's catalog, read once per file and reading options); the error that
  // kept it from being read is the status of its cells.
  std::shared_ptr<const Catalog> ReadZone(std::size_t z, const ReadResult*& events,
                                          std::string& status, std::string& message) {
    const BatchJob& job = plan.job;
    const BatchZone& zone = job.zones[z];
    try {
      if (prepared[z]) {
        events = &event_files.Read(prepared[z]->job);
        return nullptr;
      }
      const Units units =
          zone.settings.units.value_or(job.defaults.units.value_or(Units::Magnitude));
      return std::make_shared<const Catalog>(ReadClassicZone(zone, job.base, units));
    } catch (const Error& e) {
      status = StatusOf(e);
      message = e.what();
    }
    return nullptr;
  }

  // The splits of a prepared zone's catalog, one per completeness table and
  // declustering of the tree, into its cells (a split that fails is their
  // error); then the settings of each cell, whose Mmin may come of its split.
  void SplitCells(std::size_t z, const ReadResult* events) {
    const PreparedZone& zone = *prepared[z];
    std::map<std::string, SplitCatalog> splits;
    bool depths_kept = false;
    for (std::size_t b = 0; b < plan.branches.size(); ++b) {
      const SettingsLayer& s = layers[z][b];
      Cell& cell = CellOf(z, b);
      std::optional<float> mmin = s.mmin;
      if (events != nullptr) {
        SplitCatalog& split = splits[SplitKey(s.completeness, s.decluster)];
        try {
          if (!split.catalog) split = SplitZone(zone, *events, s);
          // The depths of the events kept under the first declustering that
          // splits (the completeness table does not change them).
          if (!depths_kept) plan.zone_sources[z].depths = split.depths;
          depths_kept = true;
          if (!mmin) mmin = split.mmin;
        } catch (const Error& e) {
          cell.error_status = StatusOf(e);
          cell.error_message = e.what();
        }
        TakeSplit(split, cell);
      }
      SetCellSettings(plan.job, plan.job.zones[z], plan.branches[b], s, mmin.value_or(0.0f), cell);
    }
  }
};

ZonePlanner::ZonePlanner(BatchPlan& plan) : state_(std::make_unique<State>(plan)) {
  plan.inputs.push_back(plan.job.source);
  plan.branches = CrossBranches(plan.job.branch_sets);
  plan.zone_sources.resize(plan.job.zones.size());
  plan.cells.resize(plan.job.zones.size() * plan.branches.size());
  state_->prepared.resize(plan.job.zones.size());
  state_->layers.resize(plan.job.zones.size());
}

ZonePlanner::~ZonePlanner() = default;

void ZonePlanner::Outline(std::size_t z) {
  State& s = *state_;
  const BatchJob& job = s.plan.job;
  const BatchZone& zone = job.zones[z];
  s.prepared[z] = ZoneInputs(job, zone, s.plan.inputs);
  for (std::size_t b = 0; b < s.plan.branches.size(); ++b) {
    const Branch& branch = s.plan.branches[b];
    const SettingsLayer& layer =
        s.layers[z].emplace_back(BranchSettings(job, s.prepared[z], zone, branch));
    Cell& cell = s.CellOf(z, b);
    cell.zone = z;
    cell.branch = b;
    cell.error_status = "error";
    cell.error_message = kNotRead;
    if (s.prepared[z]) continue;  // its settings are checked with its split
    CheckClassicZone(job, zone, branch, layer);
    SetCellSettings(job, zone, branch, layer, *layer.mmin, cell);
  }
}

void ZonePlanner::Prepare(std::size_t z) {
  State& s = *state_;
  std::string status;
  std::string message;
  const ReadResult* events = nullptr;
  const std::shared_ptr<const Catalog> classic = s.ReadZone(z, events, status, message);
  if (const auto& prepared = s.prepared[z]) {
    ZoneSource& source = s.plan.zone_sources[z];
    source.polygon = prepared->job.selection.zone;
    source.min_depth = prepared->job.selection.min_depth;
    source.max_depth = prepared->job.selection.max_depth;
  }
  for (std::size_t b = 0; b < s.plan.branches.size(); ++b) {
    Cell& cell = s.CellOf(z, b);
    cell.error_status = status;
    cell.error_message = message;
    cell.catalog = classic;
  }
  if (s.prepared[z]) s.SplitCells(z, events);
}

BatchPlan PlanBatch(BatchJob job, bool force) {
  Validate(job);  // a job built in code gets the job file's checks
  if (!force) RefuseLargeTree(job);
  BatchPlan plan;
  plan.job = std::move(job);
  ZonePlanner planner(plan);
  for (std::size_t z = 0; z < plan.job.zones.size(); ++z) {
    planner.Outline(z);
    planner.Prepare(z);
  }
  return plan;
}

}  // namespace qev
